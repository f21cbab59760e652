#include "scan/SystemFileCheck.h"

#include "platform/LoadText.h"
#include "platform/StartProgram.h"
#include "strings.h"

namespace tw {

std::string SystemFileCheckCommand(const std::string& windowsDir) {
    return windowsDir + "\\system32\\sfc.exe /SCANNOW";
}

void RunSystemFileCheck(ScanSink& sink, HWND window, const std::string& windowsDir) {
    sink.ShowStatus(LoadText(IDS_SYSTEM_FILE_CHECK_WAIT));
    sink.ProcessMessages();
    DWORD exitCode = 0;  // the checker's own result changes nothing
    RunAndWaitDisabled(window, SystemFileCheckCommand(windowsDir), std::string(), exitCode);
}

}  // namespace tw
