#include "scanners/registry/SharedDllScan.h"

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "scanners/PathCheck.h"
#include "scanners/PathText.h"

namespace tw {

namespace {

const char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shareddlls";

// Whether the library an entry names is definitely gone: a drive path on a fixed disk that the
// file system says holds no file. Names in other forms (%VAR%, relative, other drives) and what
// cannot be judged are not gone.
bool LibraryGone(const std::string& name) {
    if (!StartsWithDriveCtoZ(name) || DriveType(name.substr(0, 3)) != DRIVE_FIXED) return false;
    return IsNoFile(JudgePath(name));
}

}  // namespace

void Scan_DLLerr(const ScanContext&, ScanSink& sink) {
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    // Opened with full access, as a repair of its entries needs: a table the user may not
    // change is not reported.
    if (!reg.OpenKey(kSharedDllsKey, false)) return;
    for (const std::string& name : reg.GetValueNames()) {
        int count = 1;
        try {
            RegDataKind kind = reg.GetDataType(name);
            if (kind == RegDataKind::Integer) {
                count = reg.ReadInteger(name);
            } else if (kind == RegDataKind::String) {
                // A text that is no integer, or an empty one, leaves the count at 1; so does a
                // text the code page cannot hold (a full-width "0" is not a zero).
                int parsed = 0;
                std::string text;
                if (reg.ReadStringExact(name, text) && TryStrToInt(text, parsed)) count = parsed;
            } else {
                continue;
            }
        } catch (const RegistryError&) {
            count = 1;
        }
        // No use counting for a library that is not there any more, whatever the count says.
        const bool gone = !name.empty() && LibraryGone(name);
        if (count != 0 && !gone) continue;
        // The table's unnamed value is no library's entry: its row never stands for the table.
        Finding f = NamedOrDefaultValueFinding("HKEY_LOCAL_MACHINE", kSharedDllsKey, name, gone ? "文件不存在" : "");
        f.image = kImageSharedDll;
        if (gone) {
            f.missingPaths.push_back(name);
            f.missingRule = Finding::Missing::NoFile;
        }
        sink.AddFinding(f);
    }
}

}  // namespace tw
