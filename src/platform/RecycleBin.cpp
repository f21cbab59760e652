#include "platform/RecycleBin.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/Handle.h"

namespace tw {

namespace {

bool Gone(const std::string& path) {
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
           (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
}

bool FolderIsEmpty(const std::string& path) {
    WIN32_FIND_DATAA fd;
    UniqueFind find(FindFirstFileA((path + "\\*").c_str(), &fd));
    if (!find) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::string name = fd.cFileName;
        if (name != "." && name != "..") return false;
    } while (FindNextFileA(find.get(), &fd));
    return true;
}

bool ShellDelete(const std::string& path) {
    // The operation takes a list of names, each ended by a NUL, the list by another one.
    std::string from = path;
    from.append(2, '\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    // Its result codes differ between systems; whether the object is gone is what counts.
    SHFileOperationA(&op);
    return !op.fAnyOperationsAborted && Gone(path);
}

}  // namespace

bool RecycleFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return ShellDelete(path);
}

bool RecycleEmptyFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // A folder link would take its target's content along: remove the link itself only.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveDirectoryA(path.c_str()) != 0;
    if (!FolderIsEmpty(path)) return false;
    return ShellDelete(path);
}

}  // namespace tw
