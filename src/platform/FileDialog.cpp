#include "platform/FileDialog.h"

#include <commdlg.h>
#include <vector>

#include "platform/Seams.h"

namespace tw {

bool SystemFileDialog(HWND owner, const FileDialogRequest& r, std::string& path) {
    std::vector<char> buf(32768, '\0');
    r.fileName.copy(buf.data(), buf.size() - 1);
    // The list the dialog wants: each text ended by a NUL, the list by another one.
    std::string filter;
    for (const auto& f : r.filters) filter += f.first + '\0' + f.second + '\0';
    filter += '\0';
    OPENFILENAMEA ofn{};
    // The size of the structure Windows 98 and 2000 know: the longer one is refused there.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = r.filters.empty() ? nullptr : filter.c_str();
    ofn.lpstrFile = buf.data();
    ofn.nMaxFile = static_cast<DWORD>(buf.size());
    ofn.lpstrInitialDir = r.folder.empty() ? nullptr : r.folder.c_str();
    ofn.lpstrTitle = r.title.empty() ? nullptr : r.title.c_str();
    ofn.lpstrDefExt = r.extension.empty() ? nullptr : r.extension.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                (r.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL ok = r.save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!ok) return false;
    path = buf.data();
    return true;
}

bool AskForFile(HWND owner, const FileDialogRequest& request, std::string& path) {
    return CurrentSeams().fileDialog(owner, request, path);
}

}  // namespace tw
