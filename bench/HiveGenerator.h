// Builds a registry tree that looks like a real hive to the hive reference scanner: nested keys,
// values naming existing and missing files, quoted commands with arguments, icon references,
// environment-variable paths, integers, binary data and plain texts. Deterministic for a seed.
#pragma once
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace twbench {

struct HiveShape {
    unsigned keys = 50000;
    unsigned values = 150000;
    // The tree is split below its root into this many parts ("Part00", ...), each a hive of its
    // own to the benchmark, so that runs can take turns part by part. Parts hold no values and
    // are not counted among the keys.
    unsigned parts = 5;
    uint32_t seed = 20240601;
    // The mix of a neglected machine instead of the usual one: a tenth of the values name a
    // program removed since, each in a folder of its own that is gone, all those folders in one
    // folder that still holds the folders of 200 programs; a sixth name one of those programs,
    // a third of them quoted with arguments; the rest name libraries with an icon index,
    // "%SystemRoot%" tools, files on a drive that is not there, or are plain settings.
    bool dirty = false;
};

struct HiveCounts {
    unsigned keys = 0;
    unsigned values = 0;  // values written; a repeated name in one key overwrites
    unsigned lost = 0;    // values of the dirty mix naming a missing file of their own
};

class Rng {
public:
    explicit Rng(uint32_t seed) : x_(seed ? seed : 1) {}
    uint32_t Next() {  // xorshift32
        x_ ^= x_ << 13;
        x_ ^= x_ >> 17;
        x_ ^= x_ << 5;
        return x_;
    }
    unsigned Below(unsigned n) { return n ? Next() % n : 0; }

private:
    uint32_t x_;
};

// The real files the generated values point at, below folder (such as "C:\twbench").
struct BenchFiles {
    std::string folder;
    static constexpr unsigned kDlls = 40, kTools = 20, kIcons = 10, kDirs = 10, kPrograms = 200;

    std::string Dll(unsigned i) const { return folder + "\\bin\\file" + std::to_string(i % kDlls) + ".dll"; }
    std::string Tool(unsigned i) const { return folder + "\\bin\\tool" + std::to_string(i % kTools) + ".exe"; }
    std::string Icons(unsigned i) const { return folder + "\\bin\\res" + std::to_string(i % kIcons) + ".dll"; }
    std::string Dir(unsigned i) const { return folder + "\\data" + std::to_string(i % kDirs); }
    std::string Gone(unsigned i) const { return folder + "\\old\\gone" + std::to_string(i % 2000) + ".exe"; }
    // The folder of installed programs: each program in a folder of its own.
    std::string Programs() const { return folder + "\\Programs"; }
    std::string Program(unsigned i) const {
        const std::string n = std::to_string(i % kPrograms);
        return Programs() + "\\App" + n + "\\app" + n + ".exe";
    }
    // A distinct removed program for every i, in a folder of its own that is gone.
    std::string Lost(unsigned i) const {
        const std::string n = std::to_string(i);
        return Programs() + "\\Gone" + n + "\\gone" + n + ".exe";
    }

    void Create() const {
        CreateDirectoryA(folder.c_str(), nullptr);
        CreateDirectoryA((folder + "\\bin").c_str(), nullptr);
        for (unsigned i = 0; i < kDirs; ++i) CreateDirectoryA(Dir(i).c_str(), nullptr);
        CreateDirectoryA(Programs().c_str(), nullptr);
        std::vector<std::string> files;
        for (unsigned i = 0; i < kPrograms; ++i) {
            CreateDirectoryA(Program(i).substr(0, Program(i).rfind('\\')).c_str(), nullptr);
            files.push_back(Program(i));
        }
        for (unsigned i = 0; i < kDlls; ++i) files.push_back(Dll(i));
        for (unsigned i = 0; i < kTools; ++i) files.push_back(Tool(i));
        for (unsigned i = 0; i < kIcons; ++i) files.push_back(Icons(i));
        for (const std::string& f : files) {
            HANDLE h = CreateFileA(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }

    void Remove() const {
        for (unsigned i = 0; i < kDlls; ++i) DeleteFileA(Dll(i).c_str());
        for (unsigned i = 0; i < kTools; ++i) DeleteFileA(Tool(i).c_str());
        for (unsigned i = 0; i < kIcons; ++i) DeleteFileA(Icons(i).c_str());
        for (unsigned i = 0; i < kDirs; ++i) RemoveDirectoryA(Dir(i).c_str());
        for (unsigned i = 0; i < kPrograms; ++i) {
            DeleteFileA(Program(i).c_str());
            RemoveDirectoryA(Program(i).substr(0, Program(i).rfind('\\')).c_str());
        }
        RemoveDirectoryA(Programs().c_str());
        RemoveDirectoryA((folder + "\\bin").c_str());
        RemoveDirectoryA(folder.c_str());
    }
};

namespace detail {

inline const char* const kKeyWords[] = {
    "Software", "Settings", "Components", "Options", "Recent", "Plugins", "Shell", "Profiles",
    "Windows",  "Toolbars", "Devices",    "Parameters", "Enum", "Services", "Version", "Cache",
};

inline std::string Guid(Rng& rng) {
    char buf[48];
    snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%04X-%04X%08X}", rng.Next(), rng.Below(0x10000),
             rng.Below(0x10000), rng.Below(0x10000), rng.Below(0x10000), rng.Next());
    return buf;
}

inline void SetValue(HKEY key, const std::string& name, DWORD type, const std::string& data) {
    RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
}

inline void SetText(HKEY key, const std::string& name, const std::string& text, DWORD type = REG_SZ) {
    SetValue(key, name, type, std::string(text.c_str(), text.size() + 1));
}

// Writes one value of a kind drawn from a mix seen in real hives. About one value in a hundred
// names a file that is gone, the rate of a machine that has seen a few years of installs.
inline void WriteValue(HKEY key, unsigned index, Rng& rng, const BenchFiles& files, HiveCounts& counts,
                       bool dirty = false) {
    static const char* const kNames[] = {"", "Path", "InstallDir", "Icon", "Command", "Library",
                                         "Target", "Data", "Option", "Version"};
    std::string name = kNames[rng.Below(10)];
    if (index > 0) name += std::to_string(index);  // unique within the key
    unsigned roll = rng.Below(1000), n = rng.Next();
    ++counts.values;
    if (dirty) {
        if (roll < 100) {
            const std::string path = files.Lost(counts.lost++);
            SetText(key, name, n % 4 == 0 ? "\"" + path + "\" /x \"%1\"" : path);
        } else if (roll < 267) {
            SetText(key, name, n % 3 == 0 ? "\"" + files.Program(n) + "\" /run \"%1\"" : files.Program(n));
        } else if (roll < 417) {
            SetText(key, name, files.Icons(n) + "," + std::to_string(n % 7));
        } else if (roll < 517) {
            SetText(key, name, "%SystemRoot%\\system32\\tool" + std::to_string(n % 30) + ".exe", REG_EXPAND_SZ);
        } else if (roll < 597) {
            SetText(key, name, "Q:\\Media\\clip" + std::to_string(n % 5000) + ".avi");
        } else if (roll < 797) {
            SetText(key, name, "Setting text " + std::to_string(n % 1000));
        } else if (roll < 917) {
            DWORD v = n;
            SetValue(key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&v), sizeof v));
        } else {
            std::string blob(16 + n % 48, '\0');
            for (char& c : blob) c = static_cast<char>(rng.Next());
            SetValue(key, name, REG_BINARY, blob);
        }
    } else if (roll < 250) {
        SetText(key, name, files.Dll(n));
    } else if (roll < 255) {
        SetText(key, name, files.Gone(n));
    } else if (roll < 260) {
        SetText(key, name, "\"" + files.Gone(n) + "\" /x \"%1\"");
    } else if (roll < 340) {
        SetText(key, name, "\"" + files.Tool(n) + "\" /run \"%1\"");
    } else if (roll < 380) {
        SetText(key, name, files.Tool(n) + " -silent");
    } else if (roll < 430) {
        SetText(key, name, files.Icons(n) + "," + std::to_string(n % 7));
    } else if (roll < 490) {
        SetText(key, name, "%SystemRoot%\\system32\\shell" + std::to_string(n % 50) + ".dll", REG_EXPAND_SZ);
    } else if (roll < 540) {
        SetText(key, name, files.Dir(n));
    } else if (roll < 680) {
        DWORD v = n;
        SetValue(key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&v), sizeof v));
    } else if (roll < 780) {
        std::string blob(16 + n % 48, '\0');
        for (char& c : blob) c = static_cast<char>(rng.Next());
        SetValue(key, name, REG_BINARY, blob);
    } else if (roll < 980) {
        static const char* const kTexts[] = {"Apartment", "1", "en-US", "http://www.example.com/p",
                                             "Component description"};
        SetText(key, name, std::string(kTexts[n % 5]) + (n % 3 ? std::to_string(n % 100) : ""));
    } else {
        // A list keyed by file name, as shared-component counters are; one in ten is gone.
        DWORD one = 1;
        name = n % 10 == 0 ? files.Gone(n) : files.Dll(n);
        SetValue(key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&one), sizeof one));
    }
}

}  // namespace detail

// Fills parent\path (created) with shape.parts part keys and, below them, breadth first, shape.keys
// keys with shape.values values spread over them. Returns what it wrote.
inline HiveCounts GenerateHive(HKEY parent, const std::string& path, const HiveShape& shape,
                               const BenchFiles& files) {
    HiveCounts counts;
    Rng rng(shape.seed);
    const size_t parts = shape.parts ? shape.parts : 1;
    // Key paths first (breadth first, 0 to 7 children each), then the value counts per key.
    std::vector<std::string> keys;
    keys.reserve(parts + shape.keys);
    std::deque<size_t> open;
    for (size_t i = 0; i < parts; ++i) {
        char name[16];
        snprintf(name, sizeof name, "Part%02u", static_cast<unsigned>(i));
        keys.push_back(name);
        open.push_back(i);
    }
    while (keys.size() < parts + shape.keys) {
        size_t parentIndex = open.front();
        open.pop_front();
        unsigned children = rng.Below(8);
        if (parentIndex < parts && children < 3) children = 3;  // no part stays empty
        for (unsigned c = 0; c < children && keys.size() < parts + shape.keys; ++c) {
            std::string name = rng.Below(4) == 0 ? detail::Guid(rng)
                                                 : std::string(detail::kKeyWords[rng.Below(16)]) + std::to_string(c);
            keys.push_back(keys[parentIndex] + "\\" + name);
            open.push_back(keys.size() - 1);
        }
        if (open.empty()) open.push_back(parentIndex);  // never run dry before the count is reached
    }
    std::vector<unsigned> perKey(keys.size(), 0);
    for (unsigned v = 0; v < shape.values && shape.keys; ++v) ++perKey[parts + rng.Below(shape.keys)];

    HKEY base = nullptr;
    if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &base, nullptr) != ERROR_SUCCESS)
        return counts;
    for (size_t i = 0; i < keys.size(); ++i) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(base, keys[i].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            continue;
        if (i >= parts) ++counts.keys;
        for (unsigned v = 0; v < perKey[i]; ++v) detail::WriteValue(key, v, rng, files, counts, shape.dirty);
        RegCloseKey(key);
    }
    RegCloseKey(base);
    return counts;
}

}  // namespace twbench
