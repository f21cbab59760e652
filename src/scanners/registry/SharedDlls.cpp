#include "scanners/registry/SharedDlls.h"

#include <cstdint>
#include <cstring>

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
bool LibraryGone(const std::string& name, DriveTypeCache& drives, FolderListings& listings) {
    if (!StartsWithDriveCtoZ(name) || drives.TypeOf(name.substr(0, 3)) != DRIVE_FIXED) return false;
    return IsNoFile(listings.Judge(name));
}

// The use count of one entry, read the value by value way: its kind, then its data. False when
// the entry is no count at all (neither an integer nor a plain text).
bool CountOf(const Registry& reg, const std::string& name, int& count) {
    count = 1;
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
            return false;
        }
    } catch (const RegistryError&) {
        count = 1;
    }
    return true;
}

// The same from the value as the one pass over the table read it; what that pass could not read
// exactly (a text with characters the code page cannot hold, data too large) is asked again.
bool CountOf(const Registry& reg, const RegValue& value, int& count) {
    count = 1;
    switch (value.type) {
        case REG_DWORD:
            // Four bytes, or it is no integer the registry object reads: the count stays 1.
            if (value.data.size() == sizeof(DWORD)) {
                DWORD v = 0;
                memcpy(&v, value.data.data(), sizeof v);
                count = static_cast<int32_t>(v);
            }
            return true;
        case REG_SZ: {
            if (!value.dataExact) return CountOf(reg, value.name, count);
            const size_t nul = value.data.find('\0');
            int parsed = 0;
            if (TryStrToInt(nul == std::string::npos ? value.data : value.data.substr(0, nul), parsed)) count = parsed;
            return true;
        }
        case REG_NONE: return CountOf(reg, value.name, count);
        default: return false;
    }
}

}  // namespace

void ScanSharedDlls(const ScanContext&, ScanSink& sink) {
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    // Opened with full access, as a repair of its entries needs: a table the user may not
    // change is not reported.
    if (!reg.OpenKey(kSharedDllsKey, false)) return;
    // One pass reads every entry with its count, instead of three questions to the registry per
    // entry.
    // The table names thousands of files on a few drives: each drive's type is asked once.
    DriveTypeCache drives;
    FolderListings listings([&] { sink.ProcessMessages(); });
    // The window gets its turn at every entry, read or judged: a table of thousands would
    // otherwise hold it for seconds.
    for (const RegValue& value : reg.GetValues([&] { sink.ProcessMessages(); })) {
        sink.ProcessMessages();
        const std::string& name = value.name;
        int count = 1;
        if (!CountOf(reg, value, count)) continue;
        // No use counting for a library that is not there any more, whatever the count says.
        const bool gone = !name.empty() && LibraryGone(name, drives, listings);
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
