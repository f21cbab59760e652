#include "scanners/registry/ValueTexts.h"

#include "platform/Registry.h"

namespace tw {

namespace {

// The text of one value on a fresh open of its key, exactly as stored; empty when the key or
// the value cannot be read or the value is not text. False when the code page cannot hold the
// text: its look-alike would name another file, so the value is not judged.
bool ReadGuarded(HKEY root, const std::string& path, const std::string& name, std::string& out) {
    out.clear();
    try {
        Registry reg;
        reg.SetRootKey(root);
        if (!reg.OpenKeyReadOnly(path)) return true;
        return reg.ReadStringExact(name, out);
    } catch (const RegistryError&) {
        out.clear();
        return true;
    }
}

}  // namespace

std::vector<std::string> SubKeysOf(HKEY root, const std::string& path, ScanSink& sink) {
    Registry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKeyReadOnly(path)) return {};
    return reg.GetKeyNames([&] { sink.ProcessMessages(); });
}

std::vector<GuardedText> GuardedTextsOf(HKEY root, const std::string& path, ScanSink& sink) {
    std::vector<RegValue> values;
    {
        Registry reg;
        reg.SetRootKey(root);
        if (!reg.OpenKeyReadOnly(path)) return {};
        values = reg.GetValues([&] { sink.ProcessMessages(); });
    }
    std::vector<GuardedText> out;
    out.reserve(values.size());
    for (RegValue& v : values) {
        GuardedText t;
        t.name = std::move(v.name);
        if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && v.dataExact) {
            const size_t nul = v.data.find('\0');
            t.text = nul == std::string::npos ? std::move(v.data) : v.data.substr(0, nul);
        } else if (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_NONE) {
            t.exact = ReadGuarded(root, path, t.name, t.text);
        }
        // Any other kind is no text: ReadGuarded gives it as empty.
        out.push_back(std::move(t));
    }
    return out;
}

}  // namespace tw
