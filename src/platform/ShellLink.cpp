#include "platform/ShellLink.h"

#include <stdexcept>
#include <vector>

#include "platform/Text.h"

namespace tw {

ShellLinkReader::ShellLinkReader() {
    HRESULT hr = CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory_.put()));
    if (FAILED(hr) || !factory_) throw std::runtime_error("the shell-link object is not available");
}

ShellLinkReader::Result ShellLinkReader::Read(const std::string& file) {
    UniqueCom<IShellLinkW> link;
    if (FAILED(factory_.get()->CreateInstance(nullptr, IID_IShellLinkW, reinterpret_cast<void**>(link.put()))) ||
        !link)
        throw std::runtime_error("no shell-link object");
    UniqueCom<IPersistFile> persist;
    if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))) || !persist)
        throw std::runtime_error("the shell-link object cannot load files");
    Result result;
    std::wstring wide;
    if (file.empty() || !AnsiToWideExact(file, wide)) return result;
    if (FAILED(persist.get()->Load(wide.c_str(), STGM_READ))) return result;
    // Read wide, into room for the longest path the system knows: a target read through the
    // ANSI interface comes back cut at 260 characters, or with look-alikes for the characters
    // the code page lacks, and then names another file or none.
    std::vector<wchar_t> buf(32768 + 1, L'\0');
    link.get()->GetPath(buf.data(), 32768, nullptr, SLGP_UNCPRIORITY);
    buf.back() = L'\0';
    const size_t length = wcslen(buf.data());
    // A target that filled the whole buffer may have been cut: it cannot be judged.
    if (length >= 32767) {
        result.whole = false;
        return result;
    }
    result.whole = WideToAnsiExact(buf.data(), length, result.target);
    if (!result.whole) result.target = WideToAnsi(std::wstring(buf.data(), length));
    // The path text of a shortcut may be stored in the ANSI code page only (as Wine stores it),
    // with look-alikes for what the code page lacks, while its item list holds the real names.
    // When the two disagree, which file is meant cannot be told.
    if (result.whole && length > 0) {
        UniqueCoTaskMem<ITEMIDLIST> items;
        if (SUCCEEDED(link.get()->GetIDList(items.put())) && items) {
            wchar_t real[MAX_PATH + 1] = L"";
            const bool named = SHGetPathFromIDListW(items.get(), real) != FALSE;
            if (named && real[0] && wcslen(real) < MAX_PATH - 1 && _wcsicmp(real, buf.data()) != 0) result.whole = false;
        }
    }
    return result;
}

std::string ShellLinkReader::Target(const std::string& file) { return Read(file).target; }

}  // namespace tw
