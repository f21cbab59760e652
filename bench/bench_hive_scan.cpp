// How much the hive reference scanner costs over merely reading the hive: fills a scratch tree
// under HKEY_CURRENT_USER\Software\TarnwellBench, then times
//   (a) a bare walk: one open per key, every value with its data, every subkey;
//   (b) the hive scanner as the program runs it: its own thread, hand-overs to a UI thread;
//   (e) the bare walk plus one FindFirstFile per distinct path the values name: the least a
//       scan must do that asks the file system about each path once;
//   (d) with --split, the hive scanner with its Findings counted on its own thread, no hand-over
//       to the UI thread: what the scan costs apart from the hand-overs;
//   (c) with --reopen, the plain walk that reopens the key for every value and hands a status
//       over for every key, for comparison.
// The tree is split into parts; HKEY_CURRENT_USER is pointed at one part after the other, and on
// each part the runs follow one another in an order that turns from part to part and round to
// round, so that a machine whose speed drifts during the run weighs on all of them alike.
// Two mixes: the clean one (about 1% of values name missing files, mostly paths that repeat) and
// the dirty one (a tenth of the values name a removed program in a missing folder of its own,
// all those folders in one folder: see HiveGenerator.h).
// Usage: bench_hive_scan [keys [values]] [--mix clean|dirty|both] [--parts N] [--split] [--reopen]
//                        [--reps N]
//        (default 50000 150000, both mixes)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "HiveGenerator.h"
#include "Stopwatch.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "scanners/HandOverSink.h"
#include "scanners/registry/HiveReferences.h"

namespace {

const char kBenchKey[] = "Software\\TarnwellBench";
const char kHiveKey[] = "Software\\TarnwellBench\\Hive";
const char kFolder[] = "C:\\twbench";

struct WalkCounts {
    unsigned keys = 0, values = 0, probes = 0;
};

// (e)'s share: the path a text names, roughly as a reader of command lines takes it (the quoted
// part, or up to an icon index or the first argument; variables put in), and one FindFirstFile
// the first time a path turns up.
class PathProbe {
public:
    void Text(const char* text, size_t len, WalkCounts& counts) {
        std::string path(text, len);
        if (!path.empty() && path[0] == '"') {
            const size_t end = path.find('"', 1);
            path = path.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        } else {
            path = path.substr(0, path.find(','));
            path = path.substr(0, std::min(path.find(" /"), path.find(" -")));
        }
        if (path.find('%') != std::string::npos) {
            char expanded[MAX_PATH];
            const DWORD n = ExpandEnvironmentStringsA(path.c_str(), expanded, sizeof expanded);
            if (n == 0 || n > sizeof expanded) return;
            path = expanded;
        }
        if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return;
        std::string lower = path;
        CharLowerBuffA(&lower[0], static_cast<DWORD>(lower.size()));
        if (!seen_.insert(lower).second) return;
        ++counts.probes;
        WIN32_FIND_DATAA fd;
        HANDLE find = FindFirstFileA(path.c_str(), &fd);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
    }

private:
    std::unordered_set<std::string> seen_;
};

// (a): the least any walk over the tree must do; with a probe, (e).
void BareWalk(HKEY parent, const char* name, WalkCounts& counts, std::vector<char>& nameBuf,
              std::vector<BYTE>& dataBuf, PathProbe* probe = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    ++counts.keys;
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = static_cast<DWORD>(nameBuf.size()), dataLen = static_cast<DWORD>(dataBuf.size());
        DWORD type = 0;
        LONG rc = RegEnumValueA(key, i, nameBuf.data(), &nameLen, nullptr, &type, dataBuf.data(), &dataLen);
        if (rc == ERROR_MORE_DATA && dataBuf.size() < (1u << 24)) {
            dataBuf.resize(dataBuf.size() * 4);
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        ++counts.values;
        if (probe) {
            probe->Text(nameBuf.data(), nameLen, counts);
            if ((type == REG_SZ || type == REG_EXPAND_SZ) && dataLen > 0) {
                const char* text = reinterpret_cast<const char*>(dataBuf.data());
                probe->Text(text, strnlen(text, dataLen), counts);
            }
        }
    }
    std::vector<std::string> subKeys;
    for (DWORD i = 0;; ++i) {
        char sub[256];
        DWORD len = sizeof sub;
        if (RegEnumKeyExA(key, i, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.emplace_back(sub, len);
    }
    for (const std::string& sub : subKeys) BareWalk(key, sub.c_str(), counts, nameBuf, dataBuf, probe);
    RegCloseKey(key);
}

// Counts what reaches the UI thread, with a running hash of the Findings in their order so two
// readings can be compared.
class CountingSink : public tw::ScanSink {
public:
    unsigned findings = 0, statuses = 0;
    uint32_t hash = 2166136261u;
    void AddFinding(const tw::Finding& f) override {
        ++findings;
        for (const std::string* s : {&f.caption, &f.location, &f.keyName, &f.description}) {
            for (char c : *s) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
            hash = (hash ^ 0xFFu) * 16777619u;
        }
    }
    void ShowStatus(const std::string&) override { ++statuses; }
    void ProcessMessages() override {}
};

// (c): the plain walk: a status hand-over for every key, a fresh registry object and a fresh
// open of the key for every value whose data is read, no remembered file-system answers.
class ReopeningHiveScan : public tw::WorkerThread {
public:
    ReopeningHiveScan(const std::string& windowsDir, tw::ScanSink& sink) : windowsDir_(windowsDir), sink_(sink) {}
    HKEY root = HKEY_CURRENT_USER;

protected:
    void Execute() override {
        std::vector<std::string> names;
        tw::Registry reg;
        reg.SetRootKey(root);
        if (reg.OpenKeyReadOnly("\\")) names = reg.GetKeyNames();
        reg.CloseKey();
        for (const std::string& name : names) {
            if (Terminated()) break;
            ScanKey(name);
        }
        sink_.Flush();
    }

private:
    void Add(const std::string& path, const std::string& name, const std::string& description) {
        tw::Finding f;
        f.caption = tw::HiveRootName(root);
        f.location = path;
        f.keyName = name;
        f.description = description;
        f.kind = name.empty() ? tw::FindingKind::RegistryKey : tw::FindingKind::RegistryValue;
        sink_.AddFinding(f);
    }

    void ScanKey(const std::string& path) {
        if (tw::IsExcludedKeyPath(path) || Terminated()) return;
        sink_.ShowStatus("扫描：" + tw::HiveRootName(root) + "\\" + path);
        std::vector<std::string> subKeys, names;
        try {
            {
                tw::Registry reg;
                reg.SetRootKey(root);
                if (reg.OpenKeyReadOnly(path)) {
                    subKeys = reg.GetKeyNames();
                    names = reg.GetValueNames();
                }
            }
            for (const std::string& name : names) {
                if (Terminated()) break;
                if (tw::IsMissingPath(name, windowsDir_)) Add(path, name, std::string());
                tw::Registry reg;
                reg.SetRootKey(root);
                if (!reg.OpenKeyReadOnly(path)) continue;
                tw::RegDataKind kind = reg.GetDataType(name);
                if (kind != tw::RegDataKind::String && kind != tw::RegDataKind::ExpandString) continue;
                std::string data;
                try {
                    data = tw::Trim(reg.ReadString(name));
                } catch (...) {
                    continue;
                }
                if (tw::IsMissingPath(data, windowsDir_))
                    Add(path, name.empty() ? tw::kDefaultValueMarker : name, data);
            }
        } catch (...) {
        }
        for (const std::string& sub : subKeys) {
            if (Terminated()) return;
            if (!sub.empty()) ScanKey(path + "\\" + sub);
        }
    }

    std::string windowsDir_;
    tw::ScanSink& sink_;
};

double g_threadCpu = 0;  // processor time of the last timed thread, user and kernel
double g_uiCpu = 0;  // processor time of this (the UI) thread during the last timed run
double SelfCpu() {
    FILETIME c, e, k, u;
    GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(k) + seconds(u);
}

// Runs a scanner thread against a UI thread (this one) that serves its hand-overs.
template <class Scanner>
double TimeScanThread(Scanner& scanner) {
    const double ui0 = SelfCpu();
    Stopwatch watch;
    scanner.Start();
    HANDLE h = scanner.Handle();
    tw::WaitPumping(&h, 1);
    FILETIME created, exited, kernel, user;
    g_threadCpu = 0;
    if (GetThreadTimes(h, &created, &exited, &kernel, &user)) {
        auto seconds = [](const FILETIME& t) {
            return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
        };
        g_threadCpu = seconds(kernel) + seconds(user);
    }
    double secs = watch.Seconds();
    g_uiCpu = SelfCpu() - ui0;
    return secs;
}

// The bare walk runs on a thread of its own too, while this thread waits as it does for the
// scanner: both are measured in the same arrangement of threads.
class BareWalkThread : public tw::WorkerThread {
public:
    BareWalkThread(WalkCounts& counts, bool probe) : counts_(counts), probe_(probe) {}

protected:
    void Execute() override {
        std::vector<char> nameBuf(16384);
        std::vector<BYTE> dataBuf(4096);
        PathProbe probe;
        BareWalk(HKEY_CURRENT_USER, "", counts_, nameBuf, dataBuf, probe_ ? &probe : nullptr);
    }

private:
    WalkCounts& counts_;
    bool probe_;
};

double TimeBareWalk(WalkCounts& counts, bool probe = false) {
    BareWalkThread walk(counts, probe);
    return TimeScanThread(walk);
}

void DeleteBenchTree() {
    tw::Registry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    reg.DeleteKey(std::string("\\") + kBenchKey);
}

// Points HKEY_CURRENT_USER of this process at one part of the generated tree while it lives.
class PartAsHive {
public:
    explicit PartAsHive(const std::string& part) {
        RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kHiveKey) + "\\" + part).c_str(), 0, KEY_READ, &key_);
        RegOverridePredefKey(HKEY_CURRENT_USER, key_);
    }
    ~PartAsHive() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (key_) RegCloseKey(key_);
    }
    PartAsHive(const PartAsHive&) = delete;
    PartAsHive& operator=(const PartAsHive&) = delete;

private:
    HKEY key_ = nullptr;
};

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Generates one mix, times it and removes it again.
void RunMix(const char* label, const twbench::HiveShape& shape, int reps, bool reopen, bool split) {
    twbench::BenchFiles files{kFolder};
    files.Create();
    DeleteBenchTree();  // what a failed earlier run left behind
    Stopwatch genWatch;
    twbench::HiveCounts written = twbench::GenerateHive(HKEY_CURRENT_USER, kHiveKey, shape, files);
    printf("%s mix: %u keys, %u values (%u naming a missing file of their own) in %u parts, written in %.1f s\n",
           label, written.keys, written.values, written.lost, shape.parts, genWatch.Seconds());
    std::vector<std::string> parts;
    {
        tw::Registry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        if (reg.OpenKeyReadOnly(std::string("\\") + kHiveKey)) parts = reg.GetKeyNames();
    }

    tw::ScanContext ctx;
    ctx.windowsDir = tw::WindowsDirectory();
    tw::UiDispatcher ui;
    // The runs of one part follow one another, in an order that turns from part to part and
    // round to round; each kind's times are summed over all parts and rounds.
    enum Kind { kBare, kHandOver, kProbed, kDirect };
    std::vector<Kind> kinds{kBare, kHandOver, kProbed};
    if (split) kinds.push_back(kDirect);
    struct Tally {
        double seconds = 0, threadCpu = 0, uiCpu = 0;
        std::vector<double> partRatios;  // against the bare walk of the same part and round
    };
    Tally tally[4];
    std::vector<double> overProbed;  // (b) against (e) of the same part and round
    WalkCounts walked;
    CountingSink scanned;
    bool differ = false;
    for (int r = 0; r < reps; ++r) {
        double round[4] = {};
        WalkCounts counts, probed;
        CountingSink handed, direct;
        tw::HandOverSink handOver(ui, handed);
        for (size_t i = 0; i < parts.size(); ++i) {
            PartAsHive part(parts[i]);
            double partTime[4] = {};
            for (size_t k = 0; k < kinds.size(); ++k) {
                const Kind kind = kinds[(r + i + k) % kinds.size()];
                if (kind == kBare) {
                    partTime[kind] = TimeBareWalk(counts);
                } else if (kind == kProbed) {
                    partTime[kind] = TimeBareWalk(probed, true);
                } else {
                    tw::HiveReferenceScan scanner(ctx, kind == kHandOver ? static_cast<tw::ScanSink&>(handOver) : direct);
                    scanner.root = HKEY_CURRENT_USER;
                    partTime[kind] = TimeScanThread(scanner);
                }
                tally[kind].threadCpu += g_threadCpu;
                tally[kind].uiCpu += g_uiCpu;
            }
            for (Kind kind : kinds) {
                round[kind] += partTime[kind];
                tally[kind].seconds += partTime[kind];
                tally[kind].partRatios.push_back(partTime[kind] / partTime[kBare]);
            }
            overProbed.push_back(partTime[kHandOver] / partTime[kProbed]);
        }
        printf("  round %d: (a) %6.2f s  (b) %6.2f s  b/a %.2f  (e) %6.2f s  b/e %.2f", r + 1, round[kBare],
               round[kHandOver], round[kHandOver] / round[kBare], round[kProbed], round[kHandOver] / round[kProbed]);
        if (split) printf("  (d) %6.2f s  d/a %.2f", round[kDirect], round[kDirect] / round[kBare]);
        printf("\n");
        if (split && (direct.findings != handed.findings || direct.hash != handed.hash)) differ = true;
        walked = counts;
        walked.probes = probed.probes;
        scanned = handed;
    }
    // The walk counts each part's root; the scanner does not scan it.
    const unsigned keys = walked.keys - static_cast<unsigned>(parts.size());
    const Tally& a = tally[kBare];
    const Tally& b = tally[kHandOver];
    printf("(a) bare enumeration: %7.2f s  %8.0f keys/s  (%u keys, %u values)\n", a.seconds / reps,
           keys * reps / a.seconds, keys, walked.values);
    printf("(b) hive scanner:     %7.2f s  %8.0f keys/s  (%u findings, hash %08x, %u status hand-overs)\n",
           b.seconds / reps, keys * reps / b.seconds, scanned.findings, static_cast<unsigned>(scanned.hash),
           scanned.statuses);
    printf("%s mix: b/a = %.2f over %d rounds, median of %u part pairs %.2f (target <= 1.30)\n", label,
           b.seconds / a.seconds, reps, static_cast<unsigned>(b.partRatios.size()), Median(b.partRatios));
    const Tally& e = tally[kProbed];
    printf("(e) bare + FindFirstFile per distinct path: %.2f s (%u paths); b/e = %.2f, median of part pairs %.2f; "
           "e/a = %.2f\n",
           e.seconds / reps, walked.probes, b.seconds / e.seconds, Median(overProbed), e.seconds / a.seconds);
    if (split) {
        const Tally& d = tally[kDirect];
        printf("(d) no hand-overs:    %7.2f s  d/a = %.2f, median of part pairs %.2f; b/d = %.2f; findings %s\n",
               d.seconds / reps, d.seconds / a.seconds, Median(d.partRatios), b.seconds / d.seconds,
               differ ? "DIFFER" : "identical");
    }
    printf("processor time per round, scanning thread / UI thread: a %.2f / %.2f, b %.2f / %.2f, e %.2f / %.2f",
           a.threadCpu / reps, a.uiCpu / reps, b.threadCpu / reps, b.uiCpu / reps, e.threadCpu / reps, e.uiCpu / reps);
    if (split) printf(", d %.2f / %.2f", tally[kDirect].threadCpu / reps, tally[kDirect].uiCpu / reps);
    printf("\n");
    if (reopen) {
        double bare = 0, lit = 0;
        WalkCounts counts;
        CountingSink sink;
        tw::HandOverSink handOver(ui, sink);
        for (size_t i = 0; i < parts.size(); ++i) {
            PartAsHive part(parts[i]);
            ReopeningHiveScan scanner(ctx.windowsDir, handOver);
            lit += TimeScanThread(scanner);
            bare += TimeBareWalk(counts);
        }
        printf("(c) reopen per value: %7.2f s  %8.0f keys/s  (%u findings, %u status hand-overs)\n", lit,
               keys / lit, sink.findings, sink.statuses);
        printf("c/a = %.2f (a in the same round: %.2f s); findings of (b) and (c) %s\n", lit / bare, bare,
               sink.findings == scanned.findings && sink.hash == scanned.hash ? "identical" : "DIFFER");
    }

    Stopwatch cleanWatch;
    DeleteBenchTree();
    files.Remove();
    printf("scratch tree removed in %.1f s\n", cleanWatch.Seconds());
}

}  // namespace

int main(int argc, char** argv) {
    twbench::HiveShape shape;
    bool reopen = false, split = false, clean = true, dirty = true;
    int reps = 3;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--reopen")) {
            reopen = true;
        } else if (!strcmp(argv[i], "--split")) {
            split = true;
        } else if (!strcmp(argv[i], "--parts") && i + 1 < argc) {
            shape.parts = static_cast<unsigned>(strtoul(argv[++i], nullptr, 10));
            if (shape.parts < 1) shape.parts = 1;
        } else if (!strcmp(argv[i], "--reps") && i + 1 < argc) {
            reps = atoi(argv[++i]);
            if (reps < 1) reps = 1;
        } else if (!strcmp(argv[i], "--mix") && i + 1 < argc) {
            ++i;
            clean = !strcmp(argv[i], "clean") || !strcmp(argv[i], "both");
            dirty = !strcmp(argv[i], "dirty") || !strcmp(argv[i], "both");
        } else if (positional == 0) {
            shape.keys = static_cast<unsigned>(strtoul(argv[i], nullptr, 10));
            ++positional;
        } else if (positional == 1) {
            shape.values = static_cast<unsigned>(strtoul(argv[i], nullptr, 10));
            ++positional;
        } else {
            fprintf(stderr, "usage: bench_hive_scan [keys [values]] [--mix clean|dirty|both] [--parts N] [--split] [--reopen] [--reps N]\n");
            return 2;
        }
    }
    if (clean) RunMix("clean", shape, reps, reopen, split);
    if (dirty) {
        shape.dirty = true;
        RunMix("dirty", shape, reps, reopen, split);
    }
    return 0;
}
