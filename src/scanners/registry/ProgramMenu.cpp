#include "scanners/registry/ProgramMenu.h"

#include <shlobj.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "scanners/registry/ValueTexts.h"

namespace tw {

namespace {

const char kCurrentUser[] = "HKEY_CURRENT_USER";
const char kMachine[] = "HKEY_LOCAL_MACHINE";
const char* const kOrderKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs",
};
// The record of the Programs folder itself.
const char kOwnRecord[] = "Menu";

// The group folders' names, exact (the shell writes a record under the folder's own name): a
// record is looked up by name, not compared with every folder.
using GroupNames = std::unordered_set<std::string>;

bool Holds(const GroupNames& names, const std::string& name) { return names.count(name) != 0; }

// Appends the first-level group folders of a Programs folder that the list does not hold yet.
// Hidden folders count; system folders are not listed. Messages run after every entry: a folder
// of thousands of shortcuts would otherwise hold the window while it is read.
void GatherGroups(const ScanContext& ctx, ScanSink& sink, int csidl, GroupNames& groups) {
    const std::string folder = SpecialFolder(ctx.desktop, csidl);
    // Without the Programs folder no record can be judged: every one would look stale.
    if (folder.empty())
        EndScanAt(csidl == CSIDL_PROGRAMS ? "CSIDL_PROGRAMS" : "CSIDL_COMMON_PROGRAMS", "系统无法给出开始菜单程序文件夹的位置");
    ListDirectory(folder + "\\*.*", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY, [&](const DirEntry& e) {
        sink.ProcessMessages();
        if (!(e.attributes & FILE_ATTRIBUTE_DIRECTORY) || e.name == "." || e.name == "..") return true;
        // A name the code page cannot hold: its look-alike is another folder's name, and the
        // records (read the same way) never hold it.
        if (e.nameExact) groups.insert(e.name);
        return true;
    });
}

}  // namespace

void AddWholeKeyRow(ScanSink& sink, const std::string& item, const std::string& location,
                const std::string& description) {
    AddAndPause(sink, RegistryKeyFinding(item, location, description));
}

void ScanStartMenuOrder(const ScanContext& ctx, ScanSink& sink) {
    // The 98 family keeps groups per user; 2000 and XP show the all-users groups beside them;
    // any other system is judged by the all-users groups alone.
    GroupNames groups;
    if (ctx.os.IsNineX()) {
        GatherGroups(ctx, sink, CSIDL_PROGRAMS, groups);
    } else {
        GatherGroups(ctx, sink, CSIDL_COMMON_PROGRAMS, groups);
        if (ctx.os.IsNt()) GatherGroups(ctx, sink, CSIDL_PROGRAMS, groups);
    }

    for (const char* key : kOrderKeys) {
        for (const std::string& record : SubKeysOf(HKEY_CURRENT_USER, key, sink)) {
            sink.ProcessMessages();
            if (record == kOwnRecord) continue;
            // Exact letter case: the shell writes the record under the folder's own name.
            if (!Holds(groups, record)) AddWholeKeyRow(sink, kCurrentUser, std::string(key) + "\\" + record, record);
        }
    }
}

void ScanContextMenuHandlers(const ScanContext&, ScanSink& sink, const std::string& className) {
    const std::string listKey = "Software\\CLASSES\\" + className + "\\shellex\\ContextMenuHandlers";
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    std::vector<std::string> handlers;
    if (reg.OpenKeyReadOnly(listKey)) handlers = reg.GetKeyNames([&] { sink.ProcessMessages(); });
    reg.CloseKey();

    for (const std::string& handler : handlers) {
        sink.ProcessMessages();
        const std::string handlerKey = listKey + "\\" + handler;
        std::string classId;
        if (reg.OpenKeyReadOnly(handlerKey)) {
            // A default value that is not text ends this category; the closing report names the
            // handler. An identifier the code page cannot hold names no key by its look-alike.
            try {
                if (!reg.ReadStringExact("", classId)) classId.clear();
            } catch (const RegistryError& e) {
                EndScanAt(std::string(kMachine) + "\\" + handlerKey, e.what());
            }
            reg.CloseKey();
        }
        // A handler without a class identifier is not judged.
        if (classId.empty()) continue;
        if (!reg.OpenKeyReadOnly("Software\\CLASSES\\CLSID")) continue;
        // A handler may be registered under its own class identifier as its name.
        bool registered = reg.KeyExists(classId) || reg.KeyExists(handler);
        reg.CloseKey();
        if (!registered) AddWholeKeyRow(sink, kMachine, handlerKey, "错误右键菜单: " + handler);
    }
}

}  // namespace tw
