#include "scanners/registry/EmptySoftwareKeys.h"

#include <unordered_set>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "scanners/registry/ValueTexts.h"

namespace tw {

namespace {

const char kMachine[] = "HKEY_LOCAL_MACHINE";
const char kCurrentUser[] = "HKEY_CURRENT_USER";

// First-level keys under "Software" that the system itself makes and keeps even while they are
// empty: no program's leftovers. "Policies" is where policies are written, "Registered
// Applications" the list programs enter themselves in; under the 32-bit view of a 64-bit system
// both are links the system keeps to the 64-bit keys.
bool IsSystemSoftwareKey(const std::string& name) {
    for (const char* own : {"Secure", "Policies", "Registered Applications"})
        if (LowerAscii(name) == LowerAscii(own)) return true;
    return false;
}

// No subkeys, no values and no default text: a key nothing uses.
bool IsEmptyKey(const Registry& reg) {
    RegKeyInfo info;
    if (!reg.GetKeyInfo(info)) info = RegKeyInfo();
    if (info.subKeys > 0 || info.values > 0) return false;
    try {
        return reg.ReadString("").empty();
    } catch (const RegistryError&) {
        return false;
    }
}

}  // namespace

void ScanEmptySoftwareKeys(const ScanContext&, ScanSink& sink) {
    // The machine's program keys that stay, looked up by exact name for every empty user key.
    std::unordered_set<std::string> kept;
    for (const std::string& name : SubKeysOf(HKEY_LOCAL_MACHINE, "Software", sink)) {
        // A turn for the window at every key: tens of thousands may pass without a Finding.
        sink.ProcessMessages();
        Registry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("Software\\" + name)) continue;
        if (IsEmptyKey(reg) && !IsSystemSoftwareKey(name))
            AddAndPause(sink, RegistryKeyFinding(kMachine, "Software\\" + name, "无效软件"));
        else
            kept.insert(name);
    }
    for (const std::string& name : SubKeysOf(HKEY_CURRENT_USER, "Software", sink)) {
        sink.ProcessMessages();
        Registry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        if (!reg.OpenKeyReadOnly("Software\\" + name)) continue;
        if (!IsEmptyKey(reg)) continue;
        if (!kept.count(name)) AddAndPause(sink, RegistryKeyFinding(kCurrentUser, "Software\\" + name, "无效软件"));
    }
}

}  // namespace tw
