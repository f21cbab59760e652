#include "scan/SystemFileCheck.h"

#include "platform/StartProgram.h"

namespace tw {

namespace {
const char kWaitText[] = "扫描所有受保护的系统文件并用正确的 Microsoft 版本替换不正确版本，请稍候...";
}  // namespace

std::string SystemFileCheckCommand(const std::string& windowsDir) {
    return windowsDir + "\\system32\\sfc.exe /SCANNOW";
}

void RunSystemFileCheck(ScanSink& sink, HWND window, const std::string& windowsDir) {
    sink.ShowStatus(kWaitText);
    sink.ProcessMessages();
    DWORD exitCode = 0;  // the checker's own result changes nothing
    RunAndWaitDisabled(window, SystemFileCheckCommand(windowsDir), std::string(), exitCode);
}

}  // namespace tw
