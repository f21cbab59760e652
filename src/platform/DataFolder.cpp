#include "platform/DataFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace tw {

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnwell";
const char kPerUserFolder[] = "Tarnwell";

std::string WithBackslash(std::string folder) {
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

// A folder as the comparison sees it: its long form where the system gives one (the program may
// have been started through "C:\PROGRA~1\..."), lower case, without its trailing backslash.
std::string ComparableFolder(const std::string& folder) {
    std::string path = TrimTrailingBackslashes(folder);
    // Looked up at run time: the 98 family's first systems and NT 4 lack it.
    using LongPathName = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
    static const auto longPathName =
        reinterpret_cast<LongPathName>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetLongPathNameA"));
    if (longPathName && !path.empty()) {
        char buf[MAX_PATH * 2] = {};
        const DWORD n = longPathName(path.c_str(), buf, sizeof buf);
        if (n > 0 && n < sizeof buf) path.assign(buf, n);
    }
    return LowerAscii(TrimTrailingBackslashes(path));
}

}  // namespace

DataPlace ChooseDataPlace(bool installed, bool programFolderWritable, const std::string& programFolder,
                          const std::string& appData) {
    DataPlace place;
    place.folder = WithBackslash(programFolder);
    if ((installed || !programFolderWritable) && !appData.empty()) {
        place.home = DataHome::PerUser;
        place.folder = WithBackslash(appData) + kPerUserFolder + "\\";
        if (ComparableFolder(place.folder) != ComparableFolder(programFolder))
            place.older = WithBackslash(programFolder);
    }
    return place;
}

std::string FileToRead(const std::string& current, const std::string& older, bool (*exists)(const std::string&)) {
    if (older.empty() || exists(current)) return current;
    return exists(older) ? older : current;
}

bool IsInstalledFolder(const std::string& folder) {
    UniqueHKey key;
    if (OpenKeyPath(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return false;
    char buf[MAX_PATH * 2] = {};
    DWORD size = sizeof buf - 1, type = 0;
    if (RegQueryValueExA(key.get(), "InstallLocation", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    const std::string location(buf);  // the data may lack its NUL; the buffer holds one more
    return !location.empty() && ComparableFolder(location) == ComparableFolder(folder);
}

bool FolderWritable(const std::string& folder) {
    const std::string probe =
        WithBackslash(folder) + "~tarnwell-" + IntToStr(static_cast<long long>(GetCurrentProcessId())) + ".tmp";
    const HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    UniqueKernelHandle probeFile(h);  // the file goes with its handle
    return true;
}

const DataPlace& UserDataPlace() {
    static const DataPlace place = [] {
        const std::string program = ProgramFolder();
        const bool installed = IsInstalledFolder(program);
        // An installed copy never needs the probe, nor the Application Data folder's name when
        // its own folder takes the data.
        const bool writable = !installed && FolderWritable(program);
        const std::string appData = installed || !writable ? SpecialFolder(nullptr, CSIDL_APPDATA) : std::string();
        DataPlace p = ChooseDataPlace(installed, writable, program, appData);
        if (p.home == DataHome::PerUser) CreateDirectoryA(TrimTrailingBackslashes(p.folder).c_str(), nullptr);
        return p;
    }();
    return place;
}

std::string DataFolder() { return UserDataPlace().folder; }

std::vector<std::string> DataFolders() {
    const DataPlace& place = UserDataPlace();
    std::vector<std::string> folders{place.folder};
    if (!place.older.empty()) folders.push_back(place.older);
    return folders;
}

std::string OlderDataFile(const std::string& name) {
    const DataPlace& place = UserDataPlace();
    return place.older.empty() ? std::string() : place.older + name;
}

std::string DataFileToRead(const std::string& name) { return FileToRead(DataFolder() + name, OlderDataFile(name)); }

}  // namespace tw
