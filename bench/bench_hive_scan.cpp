// How much the hive reference scanner costs over merely reading the hive: fills a scratch tree
// under HKEY_CURRENT_USER\Software\TarnwellBench, then times
//   (a) a bare walk: one open per key, every value with its data, every subkey;
//   (b) the hive scanner as the program runs it: its own thread, hand-overs to a UI thread;
//   (d) with --split, the hive scanner with its Findings counted on its own thread, no hand-over
//       to the UI thread: what the scan costs apart from the hand-overs (with the processor
//       time of the scanning thread against the bare walk's);
//   (c) with --reopen, the plain walk that reopens the key for every value and hands a status
//       over for every key, for comparison.
// The tree is split into parts; HKEY_CURRENT_USER is pointed at one part after the other and the
// runs take turns on each part (in alternating order), so that a machine whose speed drifts
// during the run weighs on both alike.
// Two mixes: the clean one (about 1% of values name missing files, mostly paths that repeat) and
// the dirty one (besides, one value in eight names a missing file at a path of its own).
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
#include <vector>

#include "Stopwatch.h"
#include "HiveGenerator.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "scanners/HandOverSink.h"
#include "scanners/registry/KivChkRegErr.h"

namespace {

const char kBenchKey[] = "Software\\TarnwellBench";
const char kHiveKey[] = "Software\\TarnwellBench\\Hive";
const char kFolder[] = "C:\\twbench";

struct WalkCounts {
    unsigned keys = 0, values = 0;
};

// (a): the least any walk over the tree must do.
void BareWalk(HKEY parent, const char* name, WalkCounts& counts, std::vector<char>& nameBuf,
              std::vector<BYTE>& dataBuf) {
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
    }
    std::vector<std::string> subKeys;
    for (DWORD i = 0;; ++i) {
        char sub[256];
        DWORD len = sizeof sub;
        if (RegEnumKeyExA(key, i, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.emplace_back(sub, len);
    }
    for (const std::string& sub : subKeys) BareWalk(key, sub.c_str(), counts, nameBuf, dataBuf);
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

// Runs a scanner thread against a UI thread (this one) that serves its hand-overs.
template <class Scanner>
double TimeScanThread(Scanner& scanner) {
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
    return watch.Seconds();
}

// The bare walk runs on a thread of its own too, while this thread waits as it does for the
// scanner: both are measured in the same arrangement of threads.
class BareWalkThread : public tw::WorkerThread {
public:
    explicit BareWalkThread(WalkCounts& counts) : counts_(counts) {}

protected:
    void Execute() override {
        std::vector<char> nameBuf(16384);
        std::vector<BYTE> dataBuf(4096);
        BareWalk(HKEY_CURRENT_USER, "", counts_, nameBuf, dataBuf);
    }

private:
    WalkCounts& counts_;
};

double TimeBareWalk(WalkCounts& counts) {
    BareWalkThread walk(counts);
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
    WalkCounts walked;
    double bestBare = 0, bestScan = 0, bestRatio = 1e30, sumBare = 0, sumScan = 0;
    // The ratio of each part's pair of runs, taken one right after the other: on a machine whose
    // load comes in bursts, their median says more than the sums.
    std::vector<double> pairRatios;
    CountingSink scanned;
    for (int r = 0; r < reps; ++r) {
        double bare = 0, scan = 0;
        WalkCounts counts;
        CountingSink sink;
        tw::HandOverSink handOver(ui, sink);
        for (size_t i = 0; i < parts.size(); ++i) {
            PartAsHive part(parts[i]);
            double partBare = 0, partScan = 0;
            auto runScan = [&] {
                tw::TChkRegErr scanner(ctx, handOver);
                scanner.FRootKey = HKEY_CURRENT_USER;
                partScan = TimeScanThread(scanner);
            };
            if ((r + i) % 2 == 0) {
                partBare = TimeBareWalk(counts);
                runScan();
            } else {
                runScan();
                partBare = TimeBareWalk(counts);
            }
            bare += partBare;
            scan += partScan;
            pairRatios.push_back(partScan / partBare);
        }
        printf("  round %d: (a) %6.2f s  (b) %6.2f s  b/a %.2f\n", r + 1, bare, scan, scan / bare);
        sumBare += bare;
        sumScan += scan;
        if (scan / bare < bestRatio) {
            bestRatio = scan / bare;
            bestBare = bare;
            bestScan = scan;
        }
        walked = counts;
        scanned = sink;
    }
    // The walk counts each part's root; the scanner does not scan it.
    const unsigned keys = walked.keys - static_cast<unsigned>(parts.size());
    printf("(a) bare enumeration: %7.2f s  %8.0f keys/s  (%u keys, %u values)\n", sumBare / reps,
           keys * reps / sumBare, keys, walked.values);
    printf("(b) hive scanner:     %7.2f s  %8.0f keys/s  (%u findings, hash %08x, %u status hand-overs)\n",
           sumScan / reps, keys * reps / sumScan, scanned.findings, static_cast<unsigned>(scanned.hash),
           scanned.statuses);
    printf("%s mix: b/a = %.2f over %d rounds, median of %u part pairs %.2f (best round %.2f: %.2f s / %.2f s; "
           "target <= 1.30)\n",
           label, sumScan / sumBare, reps, static_cast<unsigned>(pairRatios.size()), Median(pairRatios), bestRatio,
           bestScan, bestBare);

    if (split) {
        double bare = 0, direct = 0, bareCpu = 0, directCpu = 0;
        std::vector<double> ratios;
        for (int r = 0; r < reps; ++r) {
            WalkCounts counts;
            CountingSink sink;
            for (size_t i = 0; i < parts.size(); ++i) {
                PartAsHive part(parts[i]);
                double partBare = 0, partDirect = 0;
                auto runDirect = [&] {
                    tw::TChkRegErr scanner(ctx, sink);
                    scanner.FRootKey = HKEY_CURRENT_USER;
                    partDirect = TimeScanThread(scanner);
                    directCpu += g_threadCpu;
                };
                auto runBare = [&] {
                    partBare = TimeBareWalk(counts);
                    bareCpu += g_threadCpu;
                };
                if ((r + i) % 2 == 0) {
                    runBare();
                    runDirect();
                } else {
                    runDirect();
                    runBare();
                }
                bare += partBare;
                direct += partDirect;
                ratios.push_back(partDirect / partBare);
            }
            if (sink.findings != scanned.findings || sink.hash != scanned.hash) printf("(d) findings DIFFER\n");
        }
        printf("(d) no hand-overs:    %7.2f s  (a in the same rounds: %.2f s)  d/a = %.2f, median of part pairs %.2f;"
               " thread processor time d %.2f s, a %.2f s\n",
               direct / reps, bare / reps, direct / bare, Median(ratios), directCpu / reps, bareCpu / reps);
    }

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
