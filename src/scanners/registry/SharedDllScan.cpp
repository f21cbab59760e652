#include "scanners/registry/SharedDllScan.h"

#include "platform/Registry.h"
#include "platform/Text.h"

namespace tw {

namespace {
const char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shareddlls";
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
        if (count != 0) continue;
        // The table's unnamed value is no library's entry: its row never stands for the table.
        Finding f = NamedOrDefaultValueFinding("HKEY_LOCAL_MACHINE", kSharedDllsKey, name, "");
        f.image = kImageSharedDll;
        sink.AddFinding(f);
    }
}

}  // namespace tw
