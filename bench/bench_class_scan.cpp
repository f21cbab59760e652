// How much the file-type scanner costs over merely reading the class table it walks: generates
// a class table under HKEY_CURRENT_USER\Software\TarnwellBench\Machine\Software\CLASSES (classes
// with verbs and commands, extensions pointing to them; a tenth of the commands name programs
// that are missing, the others programs in C:\twbench), points HKEY_LOCAL_MACHINE (where the
// scanner reads the classes) and HKEY_CLASSES_ROOT of this process at it, then times, taking
// turns on which goes first:
//   (a) a bare enumeration: every key of the table opened once, its values read with their data
//       and its subkeys listed;
//   (b) the file-type scanner as the program runs it: its own thread, hand-overs to a UI thread.
// Usage: bench_class_scan [entries] [--reps N]   (default 20000 classes and extensions, 5 rounds)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Stopwatch.h"
#include "platform/Registry.h"
#include "platform/Threads.h"
#include "scanners/HandOverSink.h"
#include "scanners/registry/FileTypes.h"

namespace {

const char kBenchKey[] = "Software\\TarnwellBench";
const char kMachineKey[] = "Software\\TarnwellBench\\Machine";
const char kFolder[] = "C:\\twbench";
const unsigned kPrograms = 400;

std::string Program(unsigned i) { return std::string(kFolder) + "\\prog" + std::to_string(i % kPrograms) + ".exe"; }

HKEY Create(HKEY parent, const std::string& path) {
    HKEY k = nullptr;
    RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    return k;
}

void Set(HKEY key, const char* name, const std::string& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
}

struct TableCounts {
    unsigned keys = 0, values = 0, missing = 0;
};

// Half the entries are classes, half extensions. Every class has an open verb, every third a
// print verb too, every second an icon; every tenth open command names a missing program.
// Extensions point to their class; every fifth has a ShellNew key, every twentieth (none of
// those) points to a class that does not exist.
TableCounts GenerateTable(HKEY classes, unsigned entries) {
    TableCounts n;
    const unsigned classesWanted = entries / 2;
    for (unsigned i = 0; i < classesWanted; ++i) {
        const std::string cls = "twclass" + std::to_string(i);
        HKEY c = Create(classes, cls);
        Set(c, "", "Bench document " + std::to_string(i));
        ++n.keys, ++n.values;
        if (i % 2 == 0) {
            HKEY icon = Create(c, "DefaultIcon");
            Set(icon, "", Program(i) + ",1");
            RegCloseKey(icon);
            ++n.keys, ++n.values;
        }
        HKEY open = Create(c, "shell\\open");
        Set(open, "", "&Open");
        HKEY cmd = Create(open, "command");
        bool missing = i % 10 == 0;
        n.missing += missing;
        Set(cmd, "", "\"" + (missing ? std::string(kFolder) + "\\gone" + std::to_string(i) + ".exe" : Program(i)) + "\" \"%1\"");
        RegCloseKey(cmd);
        RegCloseKey(open);
        n.keys += 3, n.values += 2;
        if (i % 3 == 0) {
            HKEY print = Create(c, "shell\\print\\command");
            Set(print, "", Program(i + 7) + " /p \"%1\"");
            RegCloseKey(print);
            n.keys += 2, ++n.values;
        }
        RegCloseKey(c);
    }
    for (unsigned i = 0; i < entries - classesWanted; ++i) {
        HKEY e = Create(classes, ".tw" + std::to_string(i));
        Set(e, "", i % 20 == 1 ? "twnoclass" + std::to_string(i) : "twclass" + std::to_string(i));
        Set(e, "Content Type", "application/x-tw" + std::to_string(i));
        n.keys += 1, n.values += 2;
        if (i % 5 == 2) {
            HKEY shellNew = Create(e, "ShellNew");
            Set(shellNew, "NullFile", "");
            RegCloseKey(shellNew);
            ++n.keys, ++n.values;
        }
        RegCloseKey(e);
    }
    return n;
}

struct WalkCounts {
    unsigned keys = 0, values = 0;
};

void BareWalk(HKEY parent, const char* name, WalkCounts& counts, std::vector<char>& nameBuf, std::vector<BYTE>& dataBuf) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    ++counts.keys;
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = static_cast<DWORD>(nameBuf.size()), dataLen = static_cast<DWORD>(dataBuf.size()), type = 0;
        if (RegEnumValueA(key, i, nameBuf.data(), &nameLen, nullptr, &type, dataBuf.data(), &dataLen) != ERROR_SUCCESS)
            break;
        ++counts.values;
    }
    std::vector<std::string> subKeys;
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(nameBuf.size());
        if (RegEnumKeyExA(key, i, nameBuf.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.emplace_back(nameBuf.data(), len);
    }
    for (const std::string& sub : subKeys) BareWalk(key, sub.c_str(), counts, nameBuf, dataBuf);
    RegCloseKey(key);
}

// The bare walk runs on a thread of its own, while this thread waits as it does for the scanner.
class BareWalkThread : public tw::WorkerThread {
public:
    explicit BareWalkThread(WalkCounts& counts) : counts_(counts) {}

protected:
    void Execute() override {
        std::vector<char> nameBuf(16384);
        std::vector<BYTE> dataBuf(65536);
        BareWalk(HKEY_LOCAL_MACHINE, "Software\\CLASSES", counts_, nameBuf, dataBuf);
    }

private:
    WalkCounts& counts_;
};

class CountingSink : public tw::ScanSink {
public:
    unsigned findings = 0, statuses = 0;
    void AddFinding(const tw::Finding&) override { ++findings; }
    void ShowStatus(const std::string&) override { ++statuses; }
    void ProcessMessages() override {}
};

double TimeThread(tw::WorkerThread& t) {
    Stopwatch watch;
    t.Start();
    HANDLE h = t.Handle();
    tw::WaitPumping(&h, 1);
    return watch.Seconds();
}

void DeleteBenchTree() {
    tw::Registry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    reg.DeleteKey(std::string("\\") + kBenchKey);
}

}  // namespace

int main(int argc, char** argv) {
    unsigned entries = 20000;
    int reps = 5;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--reps") && i + 1 < argc) {
            reps = atoi(argv[++i]);
            if (reps < 1) reps = 1;
        } else if (argv[i][0] != '-') {
            entries = static_cast<unsigned>(strtoul(argv[i], nullptr, 10));
        } else {
            fprintf(stderr, "usage: bench_class_scan [entries] [--reps N]\n");
            return 2;
        }
    }

    DeleteBenchTree();  // what a failed earlier run left behind
    CreateDirectoryA(kFolder, nullptr);
    for (unsigned i = 0; i < kPrograms; ++i) {
        HANDLE h = CreateFileA(Program(i).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    Stopwatch genWatch;
    HKEY machine = Create(HKEY_CURRENT_USER, kMachineKey);
    HKEY classes = Create(machine, "Software\\CLASSES");
    TableCounts table = GenerateTable(classes, entries);
    RegCloseKey(classes);
    printf("class table: %u classes and extensions, %u keys, %u values, %u commands naming missing programs; "
           "written in %.1f s\n", entries, table.keys, table.values, table.missing, genWatch.Seconds());

    RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine);
    HKEY root = nullptr;
    RegOpenKeyExA(machine, "Software\\CLASSES", 0, KEY_READ, &root);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, root);

    tw::ScanContext ctx;
    ctx.os = tw::OsFamily(5);
    tw::UiDispatcher ui;
    {
        // One untimed run of each first: the first walk of a fresh table pays for bringing it in.
        WalkCounts counts;
        BareWalkThread walk(counts);
        TimeThread(walk);
        CountingSink sink;
        tw::HandOverSink handOver(ui, sink);
        tw::FileTypeScan scanner(ctx, handOver);
        TimeThread(scanner);
    }
    double sumBare = 0, sumScan = 0;
    std::vector<double> ratios;
    WalkCounts walked;
    CountingSink scanned;
    for (int r = 0; r < reps; ++r) {
        WalkCounts counts;
        CountingSink sink;
        tw::HandOverSink handOver(ui, sink);
        double bare = 0, scan = 0;
        auto runBare = [&] {
            BareWalkThread walk(counts);
            bare = TimeThread(walk);
        };
        auto runScan = [&] {
            tw::FileTypeScan scanner(ctx, handOver);
            scan = TimeThread(scanner);
        };
        if (r % 2 == 0) {
            runBare();
            runScan();
        } else {
            runScan();
            runBare();
        }
        printf("  round %d: (a) %6.2f s  (b) %6.2f s  b/a %.2f\n", r + 1, bare, scan, scan / bare);
        sumBare += bare;
        sumScan += scan;
        ratios.push_back(scan / bare);
        walked = counts;
        scanned = sink;
    }
    printf("(a) bare enumeration: %7.2f s  (%u keys, %u values)\n", sumBare / reps, walked.keys, walked.values);
    printf("(b) file-type scanner: %6.2f s  (%u findings, %u status hand-overs)\n", sumScan / reps, scanned.findings,
           scanned.statuses);
    // On a shared machine single rounds swing with the load; the median round is the steadier
    // reading, the ratio of the sums the one that weighs long rounds most.
    std::sort(ratios.begin(), ratios.end());
    printf("b/a = %.2f over %d rounds, median round %.2f (target <= 1.30)\n", sumScan / sumBare, reps,
           ratios[ratios.size() / 2]);

    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (root) RegCloseKey(root);
    RegCloseKey(machine);
    Stopwatch cleanWatch;
    DeleteBenchTree();
    for (unsigned i = 0; i < kPrograms; ++i) DeleteFileA(Program(i).c_str());
    RemoveDirectoryA(kFolder);
    printf("scratch tree removed in %.1f s\n", cleanWatch.Seconds());
    return 0;
}
