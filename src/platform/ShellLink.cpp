#include "platform/ShellLink.h"

#include <stdexcept>

#include "platform/Text.h"

namespace tw {

ShellLinkReader::ShellLinkReader() {
    HRESULT hr = CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory_.put()));
    if (FAILED(hr) || !factory_) throw std::runtime_error("the shell-link object is not available");
}

std::string ShellLinkReader::Target(const std::string& file) {
    UniqueCom<IShellLinkA> link;
    if (FAILED(factory_.get()->CreateInstance(nullptr, IID_IShellLinkA, reinterpret_cast<void**>(link.put()))) ||
        !link)
        throw std::runtime_error("no shell-link object");
    UniqueCom<IPersistFile> persist;
    if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))) || !persist)
        throw std::runtime_error("the shell-link object cannot load files");
    // A longer path would be cut to the buffer and name another file, or none.
    if (file.empty() || file.size() >= MAX_PATH) return {};
    std::wstring wide = AnsiToWide(file);
    if (FAILED(persist.get()->Load(wide.c_str(), STGM_READ))) return {};
    char buf[MAX_PATH + 1] = {};
    link.get()->GetPath(buf, MAX_PATH, nullptr, SLGP_UNCPRIORITY);
    buf[MAX_PATH] = '\0';
    return std::string(buf);
}

}  // namespace tw
