// The whole default scan of a big, neglected machine, against the bare reading of what it reads:
//   bench_machine_scan [--factor F] [--rounds N] [--no-window] [--window-only] [--only ROW,ROW]
//                      [--versus-rows ROW,ROW] [--generate-only]
// The data set (bench/MachineGenerator.h, every category at once, scaled by F, default 1) is
// written into the prefix once and reused; a prefix holding another version or factor is refused
// (exit 3: scripts/bench.sh then makes a fresh scratch prefix). Each round, in alternating order,
// times for every default row (i) the floor, a bare reader of the same keys and values (one open
// per key, values enumerated with their data, and for the tables of files - help, fonts, shared
// libraries - a FindFirstFile listing of the folders the scan lists) or a FindFirstFile walk of
// the same folders, and
// (ii) the console scanner with that row alone; then the console scanner with the default rows,
// and the real main window scanning the default rows until "扫描完毕"; the floor of the whole scan
// runs as the scan does (hives and file types on threads of their own, the rest meanwhile, one
// after another) and takes turns with the console scan. Reports the best of N
// rounds (default 5) per measure, each category's scanner against its floor, the window's time
// to its first row, its longest input wait, the process's peak memory, and FNV-1a hashes of the
// console output (per category in the order found; the whole scan's lines sorted, since its
// threads interleave), which optimisations must leave unchanged. --only times those checklist
// rows alone, without the whole scan and the window; --window-only times the window's scan alone,
// with its worst input wait put down to the UI-thread categories that ran meanwhile. --versus-rows
// has the window scan those rows alone too, taking turns with its scan of the default rows, and
// reports its input waits beside them: with the worker-thread rows (2,7,8,9) it shows what the
// window's messages wait for while the UI thread scans nothing itself.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "InputProbe.h"
#include "MachineGenerator.h"
#include "Stopwatch.h"
#include "app/MainWindow.h"
#include "cli/ConsoleView.h"
#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/MessagePump.h"
#include "scan/Checklist.h"
#include "scan/osinfo/OsInfo.h"
#include "scanners/registry/HiveReferences.h"

namespace {

using twbench::kMachineFolder;

// ---- the floor: reading, nothing else ----

struct Reader {
    std::vector<char> name, data;
    unsigned long long keys = 0, values = 0;
    // When set, every value's name is kept with its text (empty when not text): the files a table names.
    std::vector<std::pair<std::string, std::string>>* texts = nullptr;

    // Opens root\path once, reads every value with its data; with `depth`, the subkeys too.
    void Key(HKEY root, const std::string& path, int depth) {
        tw::UniqueHKey key;
        if (RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
        Open(key.get(), depth);
    }
    void Open(HKEY key, int depth) {
        std::vector<std::string> children;
        if (!Read(key, depth > 0 ? &children : nullptr)) return;
        for (const std::string& c : children) {
            tw::UniqueHKey child;
            if (RegOpenKeyExA(key, c.c_str(), 0, KEY_READ, child.put()) == ERROR_SUCCESS) Open(child.get(), depth - 1);
        }
    }
    // A whole hive as its scan walks it: the subtrees the scan leaves to other categories are
    // not read (under HKEY_USERS every path starts with a user's key, and none is left out).
    void Hive(HKEY key, const std::string& path) {
        if (!path.empty() && tw::IsExcludedKeyPath(path)) return;
        std::vector<std::string> children;
        if (!Read(key, &children)) return;
        for (const std::string& c : children) {
            tw::UniqueHKey child;
            if (RegOpenKeyExA(key, c.c_str(), 0, KEY_READ, child.put()) == ERROR_SUCCESS)
                Hive(child.get(), path.empty() ? c : path + "\\" + c);
        }
    }
    // Counts the key, reads every value with its data and, when asked, lists the subkeys.
    bool Read(HKEY key, std::vector<std::string>* children) {
        ++keys;
        DWORD subKeys = 0, maxSub = 0, nValues = 0, maxName = 0, maxData = 0;
        if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &nValues, &maxName, &maxData,
                             nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        name.resize(std::max<DWORD>(maxName, maxSub) + 2);
        data.resize(maxData + 2);
        for (DWORD i = 0; i < nValues; ++i) {
            DWORD n = static_cast<DWORD>(name.size()), d = static_cast<DWORD>(data.size()), type = 0;
            if (RegEnumValueA(key, i, name.data(), &n, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &d) ==
                ERROR_SUCCESS) {
                ++values;
                if (texts) {
                    const bool text = type == REG_SZ || type == REG_EXPAND_SZ;
                    texts->emplace_back(std::string(name.data(), n), text ? std::string(data.data(), strnlen(data.data(), d)) : "");
                }
            }
        }
        for (DWORD i = 0; children && i < subKeys; ++i) {
            DWORD n = static_cast<DWORD>(name.size());
            if (RegEnumKeyExA(key, i, name.data(), &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                children->emplace_back(name.data(), n);
        }
        return true;
    }
    std::vector<std::string> SubKeys(HKEY root, const std::string& path) {
        std::vector<std::string> out;
        tw::UniqueHKey key;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
        char buf[512];
        for (DWORD i = 0;; ++i) {
            DWORD n = sizeof buf;
            if (RegEnumKeyExA(key.get(), i, buf, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            out.emplace_back(buf, n);
        }
        return out;
    }
};

unsigned long long g_files = 0;

void Walk(const std::string& dir, bool recursive) {
    WIN32_FIND_DATAA fd;
    tw::UniqueFind find(FindFirstFileA((dir + "\\*").c_str(), &fd));
    if (!find) return;
    std::vector<std::string> subs;
    do {
        ++g_files;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        subs.push_back(fd.cFileName);
    } while (FindNextFileA(find.get(), &fd));
    find.reset();
    if (recursive)
        for (const std::string& s : subs) Walk(dir + "\\" + s, true);
}

std::string Folder(int csidl) { return twbench::machine::Folder(csidl); }

// The folders a table's files lie in, listed as the scan lists them: a folder named three times
// or more is read once with FindFirstFile instead of a question per file (a folder named fewer
// times is asked per file, which the floor does not do).
void ListNamedFolders(const std::vector<std::string>& paths) {
    std::map<std::string, int> named;
    for (const std::string& p : paths) {
        const size_t sep = p.rfind('\\');
        if (sep != std::string::npos && sep >= 2 && p[1] == ':') ++named[p.substr(0, sep)];
    }
    for (const auto& folder : named)
        if (folder.second >= 3) Walk(folder.first, false);
}

// Reads a table's values and lists the folders of the files they name.
void TableAndFolders(Reader& r, const char* path, bool fileInName, const std::string& folder = "") {
    std::vector<std::pair<std::string, std::string>> texts;
    r.texts = &texts;
    r.Key(HKEY_LOCAL_MACHINE, path, 0);
    r.texts = nullptr;
    std::vector<std::string> files;
    for (const auto& t : texts) {
        if (fileInName) files.push_back(t.first);
        else if (!folder.empty()) files.push_back(folder + "\\" + t.second);
        else files.push_back(t.second + (t.second.empty() || t.second.back() != '\\' ? "\\" : "") + t.first);
    }
    ListNamedFolders(files);
}

const char* const kOrderKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs",
};

struct FloorCount {
    unsigned long long keys = 0, values = 0, entries = 0;
};

bool FloorRead(int row, unsigned major, Reader& r);

// What each category reads, read bare. False: no floor for this category.
bool Floor(int row, unsigned major, FloorCount& count) {
    Reader r;
    g_files = 0;
    const bool has = FloorRead(row, major, r);
    count.keys = r.keys;
    count.values = r.values;
    count.entries = g_files;
    return has;
}

bool FloorRead(int row, unsigned major, Reader& r) {
    switch (row) {
        case tw::kRowSoftware:
            for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
                for (const std::string& k : r.SubKeys(root, "Software")) r.Key(root, "Software\\" + k, 0);
            return true;
        case tw::kRowProgramMenu:
            for (const char* type : {"*", "Directory", "Drive", "Folder"})
                r.Key(HKEY_LOCAL_MACHINE, std::string("Software\\CLASSES\\") + type + "\\shellex\\ContextMenuHandlers", 1);
            Walk(Folder(major == 4 ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS), false);
            if (major == 5) Walk(Folder(CSIDL_PROGRAMS), false);
            for (const char* k : kOrderKeys) r.SubKeys(HKEY_CURRENT_USER, k);
            return true;
        case tw::kRowFileTypes:
            for (const std::string& c : r.SubKeys(HKEY_LOCAL_MACHINE, "Software\\Classes")) {
                const std::string path = "Software\\Classes\\" + c;
                r.Key(HKEY_LOCAL_MACHINE, path, 0);
                r.Key(HKEY_LOCAL_MACHINE, path + "\\shell", 2);
                r.Key(HKEY_LOCAL_MACHINE, path + "\\DefaultIcon", 0);
                if (c == "Applications")
                    for (const std::string& a : r.SubKeys(HKEY_LOCAL_MACHINE, path)) {
                        r.Key(HKEY_LOCAL_MACHINE, path + "\\" + a + "\\shell", 2);
                        r.Key(HKEY_LOCAL_MACHINE, path + "\\" + a + "\\DefaultIcon", 0);
                    }
            }
            return true;
        case tw::kRowHelpFiles:
            TableAndFolders(r, "Software\\Microsoft\\Windows\\Help", false);
            TableAndFolders(r, "Software\\Microsoft\\Windows\\HTML Help", false);
            return true;
        case tw::kRowSharedDlls:
            TableAndFolders(r, "Software\\Microsoft\\Windows\\CurrentVersion\\Shareddlls", true);
            return true;
        case tw::kRowUninstall:
            r.Key(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 1);
            return true;
        case tw::kRowFonts:
            TableAndFolders(r, "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts", false, Folder(CSIDL_FONTS));
            return true;
        case tw::kRowCurrentUser: r.Hive(HKEY_CURRENT_USER, ""); return true;
        case tw::kRowAllUsers: r.Hive(HKEY_USERS, ""); return true;
        case tw::kRowMachine: r.Hive(HKEY_LOCAL_MACHINE, ""); return true;
        case tw::kRowDiskFiles: {
            // The fixed drives the scan walks: C: in a scratch prefix (the host's root is passed over).
            Walk("C:", true);
            return true;
        }
        case tw::kRowDiskDirs:
            Walk(Folder(CSIDL_PROGRAMS), true);
            Walk(Folder(CSIDL_COMMON_PROGRAMS), true);
            return true;
        default: return false;
    }
}

// The floor of the whole scan, run as the scan runs: the hives and the file types each on a
// thread of their own, started first, the other categories one after another meanwhile.
struct FloorThread {
    int row;
    unsigned major;
    static DWORD WINAPI Run(void* p) {
        auto* self = static_cast<FloorThread*>(p);
        Reader r;
        FloorRead(self->row, self->major, r);
        return 0;
    }
};

bool RunsOnThread(int row) { return row == tw::kRowFileTypes || (row >= tw::kRowCurrentUser && row <= tw::kRowMachine); }

double WholeFloor(const std::vector<int>& rows, unsigned major) {
    Stopwatch s;
    std::vector<FloorThread> jobs;
    for (int row : rows)
        if (RunsOnThread(row)) jobs.push_back({row, major});
    std::vector<tw::UniqueKernelHandle> threads;
    for (FloorThread& j : jobs) threads.emplace_back(CreateThread(nullptr, 0, &FloorThread::Run, &j, 0, nullptr));
    FloorCount ignored;
    for (int row : rows)
        if (!RunsOnThread(row)) Floor(row, major, ignored);
    for (tw::UniqueKernelHandle& t : threads) WaitForSingleObject(t.get(), INFINITE);
    return s.Seconds();
}

// ---- the console scanner ----

uint64_t Fnv(const std::string& text, uint64_t h = 1469598103934665603ULL) {
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

std::string ReadAll(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

struct ScanResult {
    double seconds = 0;
    int findings = 0;
    uint64_t hash = 0;        // the output as found
    uint64_t sortedHash = 0;  // its lines sorted
};

ScanResult HashOf(const std::string& out, double seconds, int findings) {
    ScanResult r;
    r.seconds = seconds;
    r.findings = findings;
    r.hash = Fnv(out);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        lines.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    uint64_t h = 1469598103934665603ULL;
    for (const std::string& l : lines) h = Fnv(l + "\n", h);
    r.sortedHash = h;
    return r;
}

ScanResult ScanInConsole(const tw::ScanContext& ctx, const std::vector<tw::ChecklistItem>& items,
                         const std::vector<bool>& ticks) {
    const std::string path = std::string(kMachineFolder) + "\\console.txt";
    FILE* out = fopen(path.c_str(), "wb");
    double seconds = 0;
    int count = 0;
    {
        tw::ConsoleView view(ticks, false, out ? out : stdout);
        view.SetRows(items);
        tw::ScanDriver driver(view, ctx, tw::DefaultScanCategories());
        bool finished = false;
        driver.onScanFinished = [&] { finished = true; };
        Stopwatch watch;
        driver.ScanCommand();
        MSG msg;
        while (!finished && GetMessageW(&msg, nullptr, 0, 0) > 0) tw::DispatchOne(msg);
        seconds = watch.Seconds();
        count = view.FindingCount();
    }
    if (out) fclose(out);
    ScanResult r = HashOf(ReadAll(path), seconds, count);
    DeleteFileA(path.c_str());
    return r;
}

// ---- the window ----

struct WindowResult {
    double seconds = 0, firstRow = -1, worstWait = 0;
    double worstBusyWait = 0;  // the worst of the waits the UI thread spent running itself, mostly
    // The worst wait less the time the UI thread and the Wine server were ready to run but had no
    // processor (other programs of the machine held them), where the host tells it.
    double worstOwnWait = 0;
    int findings = 0, late = 0;
    std::string worstWhere;
};

// When each UI-thread category of the window's scan started (NowMs, name; "-" when none ran),
// and the worst input wait met while each ran.
std::vector<std::pair<double, const char*>> g_uiCategories;
struct CategoryWaits {
    double worst = 0, busy = 0;  // all waits; those the UI thread spent mostly running
    double own = 0;              // waits less the processor waits of the UI thread and the server
};
std::map<std::string, CategoryWaits> g_worstByCategory;

void EnterUiCategory(const char* name) { g_uiCategories.emplace_back(NowMs(), name); }

// The categories that ran from `from` to now, each once.
std::vector<std::string> UiCategoriesSince(double from) {
    std::vector<std::string> names;
    for (size_t i = 0; i < g_uiCategories.size(); ++i) {
        const double end = i + 1 < g_uiCategories.size() ? g_uiCategories[i + 1].first : 1e300;
        if (end < from) continue;
        if (std::find(names.begin(), names.end(), g_uiCategories[i].second) == names.end())
            names.push_back(g_uiCategories[i].second);
    }
    return names;
}

const char* ShortName(int row);

// The host's process number of this prefix's Wine server (TW_BENCH_SERVER_PID, given by
// scripts/bench.sh): its waits for a processor are waits of every call the UI thread makes.
std::string g_serverPid;
// This process's own (HostProcessNumber): its first thread is the UI thread.
std::string g_hostPid;

// Processor time of the calling thread, user and kernel, in milliseconds.
double ThreadCpuMs() {
    FILETIME c, e, k, u;
    if (!GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u)) return 0;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(k) + ms(u);
}

// Has every UI-thread category of the window's scan say when it runs, so that a wait is put down
// to the category that kept the window from its messages.
void NameUiCategories(tw::ScanCategories& categories) {
    for (const tw::ScanCategory& c : categories.Rows()) {
        tw::ScanCategory& row = categories.Row(c.row);
        const char* name = ShortName(c.row);
        // The drive walk runs on a thread of its own, beside the UI thread's categories.
        if (row.runs == tw::RunsOn::EachFixedDrive) continue;
        if (row.step) {
            tw::UiStep inner = row.step;
            row.step = [inner, name](const tw::ScanContext& ctx, tw::ScanSink& sink) {
                EnterUiCategory(name);
                inner(ctx, sink);
                EnterUiCategory("-");
            };
        }
    }
}

WindowResult ScanInWindow(tw::MainWindow& form, InputProbe& probe) {
    WindowResult r;
    bool finished = false;
    form.Driver().onScanFinished = [&] { finished = true; };
    HWND list = form.ReportList();
    Stopwatch watch;
    // The list is looked at whenever the probe gets its answer (every 20 ms): the UI-thread
    // categories run inside the Scan command, with their own message pumps.
    // How much of the time since the last answer the UI thread ran itself: a wait it spent busy
    // is work between two looks at the queue; one it spent idle is a wait for the system.
    double lastAnswer = NowMs(), lastCpu = ThreadCpuMs();
    // The host's own account of the UI thread and of the Wine server: how long each ran and how
    // long each waited for a processor since the last answer.
    SchedStat uiSched(g_hostPid.empty() ? std::string() : g_hostPid + "\\task\\" + g_hostPid), serverSched(g_serverPid);
    double uiRun0 = 0, uiQueued0 = 0, serverRun0 = 0, serverQueued0 = 0;
    uiSched.Read(uiRun0, uiQueued0);
    serverSched.Read(serverRun0, serverQueued0);
    // The two processor waits at each answer: a message's share is what they grew by since the
    // last answer before it was posted (the messages queued behind a long wait share that wait).
    struct Sample {
        double at, uiQueued, serverQueued;
    };
    std::vector<Sample> samples{{NowMs(), uiQueued0, serverQueued0}};
    probe.onAnswer = [&](double waited) {
        if (r.firstRow < 0 && ListView_GetItemCount(list) > 0) r.firstRow = watch.Seconds();
        const double now = NowMs(), cpu = ThreadCpuMs();
        double uiRun = 0, uiQueued = 0, serverRun = 0, serverQueued = 0;
        uiSched.Read(uiRun, uiQueued);
        serverSched.Read(serverRun, serverQueued);
        const double interval = now - lastAnswer;
        const double posted = now - waited;
        size_t before = samples.size() - 1;
        while (before > 0 && samples[before].at > posted) --before;
        const double load = std::min(waited, (uiQueued - samples[before].uiQueued) +
                                                 (serverQueued - samples[before].serverQueued));
        const double own = waited - load;
        samples.push_back({now, uiQueued, serverQueued});
        char ran[192];
        snprintf(ran, sizeof ran, " (the UI thread ran %.0f of the last %.0f ms", cpu - lastCpu, interval);
        if (uiSched.Valid())
            snprintf(ran + strlen(ran), sizeof ran - strlen(ran),
                     "; the host says: ran %.0f and waited for a processor %.0f, the Wine server ran %.0f and waited %.0f",
                     uiRun - uiRun0, uiQueued - uiQueued0, serverRun - serverRun0, serverQueued - serverQueued0);
        strncat(ran, ")", sizeof ran - strlen(ran) - 1);
        // Mostly running: the program's own work held the messages, not a wait for the system.
        const bool busy = cpu - lastCpu >= interval / 2;
        if (busy) r.worstBusyWait = std::max(r.worstBusyWait, waited);
        r.worstOwnWait = std::max(r.worstOwnWait, own);
        lastAnswer = now;
        lastCpu = cpu;
        uiRun0 = uiRun;
        uiQueued0 = uiQueued;
        serverRun0 = serverRun;
        serverQueued0 = serverQueued;
        std::string in;
        for (const std::string& name : UiCategoriesSince(NowMs() - waited)) {
            CategoryWaits& w = g_worstByCategory[name];
            w.worst = std::max(w.worst, waited);
            if (busy) w.busy = std::max(w.busy, waited);
            w.own = std::max(w.own, own);
            in += (in.empty() ? "" : "+") + name;
        }
        char at[32];
        snprintf(at, sizeof at, "at %.2f s in ", watch.Seconds());
        // The status line may be a worker's; the last row says which category added last.
        const int n = form.Findings().Count();
        return at + in + ran + ", " + form.StatusText() +
               (n ? " | last row: " + form.Findings().At(n - 1).caption : std::string());
    };
    g_uiCategories.clear();
    EnterUiCategory("-");
    probe.Start();
    form.Command(IDM_SCAN);
    MSG msg;
    while (!finished && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        tw::DispatchOne(msg);
        if (r.firstRow < 0 && ListView_GetItemCount(list) > 0) r.firstRow = watch.Seconds();
    }
    r.seconds = watch.Seconds();
    if (r.firstRow < 0 && ListView_GetItemCount(list) > 0) r.firstRow = r.seconds;
    r.findings = form.Findings().Count();
    form.Driver().onScanFinished = nullptr;
    probe.Stop();
    r.worstWait = probe.worst_;
    r.late = probe.late_;
    r.worstWhere = probe.worstWhere_;
    probe.onAnswer = nullptr;
    return r;
}

// Peak working set and peak commit of this process, in MB (psapi looked up at run time).
bool PeakMemory(double& workingSet, double& commit) {
    static tw::UniqueModule psapi(LoadLibraryA("psapi.dll"));
    if (!psapi) return false;
    using Fn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(psapi.get(), "GetProcessMemoryInfo")));
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (!fn || !fn(GetCurrentProcess(), &pmc, sizeof pmc)) return false;
    workingSet = pmc.PeakWorkingSetSize / 1048576.0;
    commit = pmc.PeakPagefileUsage / 1048576.0;
    return true;
}

struct Category {
    int index = 0;  // in the checklist
    int row = 0;
    std::string name;
    double floorBest = 1e30, scanBest = 1e30;
    bool hasFloor = false;
    FloorCount count;
    ScanResult first;
    bool changed = false;
    int findings = 0;
};

const char* ShortName(int row) {
    switch (row) {
        case tw::kRowSoftware: return "software keys";
        case tw::kRowProgramMenu: return "program menu";
        case tw::kRowFileTypes: return "file types";
        case tw::kRowHelpFiles: return "help files";
        case tw::kRowSharedDlls: return "shared DLLs";
        case tw::kRowUninstall: return "uninstall";
        case tw::kRowFonts: return "fonts";
        case tw::kRowCurrentUser: return "hive HKCU";
        case tw::kRowAllUsers: return "hive HKU";
        case tw::kRowMachine: return "hive HKLM";
        case tw::kRowDiskFiles: return "disk files";
        case tw::kRowDiskDirs: return "directories";
        case tw::kRowWineDesktop: return "wine desktop";
        default: return "other";
    }
}

}  // namespace

int main(int argc, char** argv) {
    double factor = 1.0;
    int rounds = 5;
    bool window = true, generateOnly = false, windowOnly = false;
    std::string only;  // ",7,9,": the categories (checklist row numbers) to time alone
    std::string versus;  // the rows the window scans alone besides the default rows
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--factor") && i + 1 < argc) factor = atof(argv[++i]);
        else if (!strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--no-window")) window = false;
        else if (!strcmp(argv[i], "--window-only")) windowOnly = true;
        else if (!strcmp(argv[i], "--versus-rows") && i + 1 < argc) versus = std::string(",") + argv[++i] + ",";
        else if (!strcmp(argv[i], "--only") && i + 1 < argc) only = std::string(",") + argv[++i] + ",";
        else if (!strcmp(argv[i], "--generate-only")) generateOnly = true;
        else {
            fprintf(stderr, "usage: bench_machine_scan [--factor F] [--rounds N] [--no-window] [--window-only] [--only ROW,ROW] "
                            "[--versus-rows ROW,ROW] [--generate-only]\n");
            return 2;
        }
    }
    if (rounds < 1) rounds = 1;
    if (factor <= 0) factor = 1;
    if (const char* pid = getenv("TW_BENCH_SERVER_PID")) g_serverPid = pid;
    g_hostPid = HostProcessNumber();
    if (!only.empty()) window = false;  // categories alone: no whole scan
    CoInitialize(nullptr);

    const double have = twbench::MachineDataFactor();
    if (have == 0) {
        twbench::MachineShape shape;
        shape.factor = factor;
        Stopwatch gen;
        twbench::GenerateMachine(shape);
        printf("data set (factor %g) written in %.1f s\n", factor, gen.Seconds());
    } else if (have < 0 || std::abs(have - factor) > 1e-9) {
        fprintf(stderr, "this prefix holds another data set (factor %g); a fresh scratch prefix is needed\n", have);
        CoUninitialize();
        return 3;
    } else {
        printf("data set (factor %g) already in the prefix\n", factor);
    }
    if (generateOnly) {
        CoUninitialize();
        return 0;
    }

    tw::OsInfo os;
    tw::ScanContext ctx;
    ctx.os = os.Family();
    ctx.windowsDir = tw::WindowsDirectory();
    ctx.bakPath = "Backup";
    ctx.desktop = GetDesktopWindow();
    const std::vector<tw::ChecklistItem> items = tw::BuildChecklist(os.Family(), ctx.windowsDir);
    std::vector<bool> defaults;
    std::vector<Category> cats;
    for (size_t i = 0; i < items.size(); ++i) {
        defaults.push_back(items[i].ticked);
        if (!items[i].ticked || windowOnly) continue;
        if (!only.empty() && only.find("," + std::to_string(items[i].row) + ",") == std::string::npos) continue;
        Category c;
        c.index = static_cast<int>(i);
        c.row = items[i].row;
        c.name = ShortName(items[i].row);
        cats.push_back(c);
    }
    printf("system major version %u; %u default rows; %d rounds\n", os.MajorVersion, static_cast<unsigned>(cats.size()),
           rounds);

    // The window scans the default rows: with some categories alone it has nothing to compare.
    if (!only.empty()) window = false;
    const std::string settings = tw::ProgramFolder() + "Set.ini";
    const bool hadSettings = tw::FileExists(settings);
    std::unique_ptr<tw::MainWindow> form;
    std::unique_ptr<InputProbe> probe;
    if (window) {
        form.reset(new tw::MainWindow);
        if (!form->Create(GetModuleHandleA(nullptr))) {
            fputs("the main window could not be made\n", stderr);
            return 1;
        }
        form->Show();
        NameUiCategories(form->Driver().Categories());
        HWND chk = form->Checklist();
        for (size_t i = 0; i < items.size(); ++i) ListView_SetCheckState(chk, static_cast<int>(i), items[i].ticked);
        probe.reset(new InputProbe);
    }

    // What a console scan costs with nothing ticked (the driver, its window, the output file):
    // part of every category's time alone.
    double emptyBest = 1e30;
    double parallelFloorBest = 1e30;
    double floorSumBest = 1e30, consoleBest = 1e30, windowBest = 1e30, firstRowBest = 1e30, worstWait = 0;
    double worstBusyWait = 0, worstOwnWait = 0;
    int late = 0, windowFindings = -1;
    // The window's scans of the --versus-rows alone.
    double versusBest = 1e30, versusWorst = 0, versusBusy = 0, versusOwn = 0;
    int versusLate = 0;
    std::string versusWhere;
    std::string worstWhere;
    ScanResult wholeFirst;
    bool wholeChanged = false;
    for (int round = 0; round < rounds; ++round) {
        const bool forward = round % 2 == 0;
        std::vector<int> order;
        for (size_t i = 0; i < cats.size(); ++i) order.push_back(static_cast<int>(forward ? i : cats.size() - 1 - i));
        double floorSum = 0, catSum = 0;
        ScanResult whole;
        WindowResult w;
        auto runCategories = [&] {
            for (int i : order) {
                Category& c = cats[static_cast<size_t>(i)];
                // Floor and scanner take turns within the category too.
                auto floorRun = [&] {
                    Stopwatch s;
                    c.hasFloor = Floor(c.row, os.MajorVersion, c.count);
                    const double t = s.Seconds();
                    floorSum += t;
                    c.floorBest = std::min(c.floorBest, t);
                };
                auto scanRun = [&] {
                    std::vector<bool> ticks(items.size(), false);
                    ticks[static_cast<size_t>(c.index)] = true;
                    ScanResult r = ScanInConsole(ctx, items, ticks);
                    catSum += r.seconds;
                    c.scanBest = std::min(c.scanBest, r.seconds);
                    if (round == 0) c.first = r;
                    else if (r.hash != c.first.hash) c.changed = true;
                    c.findings = r.findings;
                };
                if (forward) {
                    floorRun();
                    scanRun();
                } else {
                    scanRun();
                    floorRun();
                }
            }
        };
        emptyBest = std::min(emptyBest, ScanInConsole(ctx, items, std::vector<bool>(items.size(), false)).seconds);
        auto runWhole = [&] {
            if (!only.empty() || windowOnly) return;
            std::vector<int> rows;
            for (const tw::ChecklistItem& item : items)
                if (item.ticked) rows.push_back(item.row);
            // Floor and scan take turns here too.
            if (forward) {
                parallelFloorBest = std::min(parallelFloorBest, WholeFloor(rows, os.MajorVersion));
                whole = ScanInConsole(ctx, items, defaults);
            } else {
                whole = ScanInConsole(ctx, items, defaults);
                parallelFloorBest = std::min(parallelFloorBest, WholeFloor(rows, os.MajorVersion));
            }
        };
        auto runWindow = [&] {
            if (!form) return;
            auto tick = [&](bool versusRows) {
                for (size_t i = 0; i < items.size(); ++i)
                    ListView_SetCheckState(form->Checklist(), static_cast<int>(i),
                                           versusRows ? versus.find("," + std::to_string(items[i].row) + ",") != std::string::npos
                                                      : static_cast<bool>(items[i].ticked));
            };
            auto runVersus = [&] {
                if (versus.empty()) return;
                tick(true);
                std::map<std::string, CategoryWaits> kept;
                kept.swap(g_worstByCategory);
                const WindowResult v = ScanInWindow(*form, *probe);
                kept.swap(g_worstByCategory);
                tick(false);
                versusBest = std::min(versusBest, v.seconds);
                versusBusy = std::max(versusBusy, v.worstBusyWait);
                versusOwn = std::max(versusOwn, v.worstOwnWait);
                versusLate += v.late;
                if (v.worstWait > versusWorst) {
                    versusWorst = v.worstWait;
                    versusWhere = v.worstWhere;
                }
                printf("  window, rows %s alone: %.2f s (%d rows, worst wait %.0f ms; less waits for a processor %.0f ms)\n",
                       versus.substr(1, versus.size() - 2).c_str(), v.seconds, v.findings, v.worstWait, v.worstOwnWait);
            };
            if (forward) runVersus();
            w = ScanInWindow(*form, *probe);
            if (!forward) runVersus();
        };
        if (forward) {
            runCategories();
            runWhole();
            runWindow();
        } else {
            runWindow();
            runWhole();
            runCategories();
        }
        floorSumBest = std::min(floorSumBest, floorSum);
        consoleBest = std::min(consoleBest, whole.seconds);
        if (round == 0) wholeFirst = whole;
        else if (whole.sortedHash != wholeFirst.sortedHash) wholeChanged = true;
        if (form) {
            windowBest = std::min(windowBest, w.seconds);
            firstRowBest = std::min(firstRowBest, w.firstRow);
            worstBusyWait = std::max(worstBusyWait, w.worstBusyWait);
            worstOwnWait = std::max(worstOwnWait, w.worstOwnWait);
            if (w.worstWait > worstWait) {
                worstWait = w.worstWait;
                worstWhere = w.worstWhere;
            }
            late += w.late;
            windowFindings = w.findings;
        }
        printf("round %d: floor %.2f s, categories alone %.2f s, console default rows %.2f s (%d findings)", round + 1,
               floorSum, catSum, whole.seconds, whole.findings);
        if (form)
            printf(", window %.2f s (%d rows, first row %.2f s, worst wait %.0f ms %s; less waits for a processor %.0f ms)",
                   w.seconds, w.findings, w.firstRow, w.worstWait, w.worstWhere.c_str(), w.worstOwnWait);
        printf("\n");
        fflush(stdout);
    }

    auto printInput = [&] {
        printf("window input: worst wait %.0f ms (%s), %d waits over 100 ms; worst wait the UI thread spent mostly "
               "running itself %.0f ms\n",
               worstWait, worstWhere.c_str(), late, worstBusyWait);
        printf("  worst wait less the time the UI thread and the Wine server waited for a processor: %.0f ms%s\n",
               worstOwnWait, g_hostPid.empty() || g_serverPid.empty() ? " (the host did not tell all of it)" : "");
        printf("  worst wait while each UI-thread category ran, (of those it spent running) [less waits for a processor] "
               "(\"-\": none):");
        for (const auto& w : g_worstByCategory)
            printf(" %s %.0f (%.0f) [%.0f] ms;", w.first.c_str(), w.second.worst, w.second.busy, w.second.own);
        printf("\n");
        if (!versus.empty())
            printf("  the window scanning rows %s alone, in the same rounds: %.2f s; worst wait %.0f ms (%s), %d waits over "
                   "100 ms; spent mostly running %.0f ms; less waits for a processor %.0f ms\n",
                   versus.substr(1, versus.size() - 2).c_str(), versusBest, versusWorst, versusWhere.c_str(), versusLate,
                   versusBusy, versusOwn);
    };
    // Closes the window and leaves the program's folder as it found it.
    auto finish = [&] {
        if (form) {
            DestroyWindow(form->Handle());
            tw::ProcessMessages();
            form.reset();
        }
        if (!hadSettings) DeleteFileA(settings.c_str());
        CoUninitialize();
        return 0;
    };
    if (windowOnly && form) {
        printf("window scan: %.2f s, %d rows; first row after %.2f s\n", windowBest, windowFindings, firstRowBest);
        printInput();
        return finish();
    }
    printf("\nbest of %d rounds, per category (console scanner, that row alone, against its floor):\n", rounds);
    printf("  %-14s %9s %9s %7s %9s  %-16s  %s\n", "category", "floor s", "scan s", "ratio", "findings", "output hash",
           "floor read keys/values/folder entries");
    for (const Category& c : cats) {
        if (c.hasFloor)
            printf("  %-14s %9.3f %9.3f %7.2f %9d  %016llx  %llu/%llu/%llu%s\n", c.name.c_str(), c.floorBest, c.scanBest,
                   c.scanBest / c.floorBest, c.findings, static_cast<unsigned long long>(c.first.hash), c.count.keys,
                   c.count.values, c.count.entries, c.changed ? "  CHANGED BETWEEN ROUNDS" : "");
        else
            printf("  %-14s %9s %9.3f %7s %9d  %016llx%s\n", c.name.c_str(), "-", c.scanBest, "-", c.findings,
                   static_cast<unsigned long long>(c.first.hash), c.changed ? "  CHANGED BETWEEN ROUNDS" : "");
    }
    printf("  (a console scan with nothing ticked takes %.3f s: included in every time above)\n", emptyBest);
    // Some categories alone: there is no whole scan to report.
    if (!only.empty()) return finish();
    printf("whole default scan, console: %.2f s against the floor's %.2f s run as the scan runs (hives and file "
           "types on threads of their own): %.2fx\n",
           consoleBest, parallelFloorBest, consoleBest / parallelFloorBest);
    printf("  (the categories' floors one after another take %.2f s: %.2fx)\n", floorSumBest, consoleBest / floorSumBest);
    printf("console output: %d findings, sorted-lines hash %016llx%s\n", wholeFirst.findings,
           static_cast<unsigned long long>(wholeFirst.sortedHash), wholeChanged ? "  CHANGED BETWEEN ROUNDS" : "");
    if (form) {
        printf("window scan: %.2f s, %.2fx the console; %d rows%s; first row after %.2f s\n", windowBest,
               windowBest / consoleBest, windowFindings,
               windowFindings == wholeFirst.findings ? "" : "  (DIFFERS FROM THE CONSOLE)", firstRowBest);
        printInput();
        double ws = 0, commit = 0;
        if (PeakMemory(ws, commit))
            printf("peak memory of the process (window and console scans): working set %.1f MB, commit %.1f MB\n", ws,
                   commit);
    }
    return finish();
}
