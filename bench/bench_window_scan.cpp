// The window's listing speed against the console front end's, side by side in one run:
//   bench_window_scan [keys] [--values-per-key N] [--reps N]
// Generates a tree of `keys` keys (default 30,000, four values each, one value in eight naming a
// file that is missing at a path of its own) under HKCU\Software\TarnwellBench, with the files
// the other values name under C:\twbench. Each round scans the current user's hive, pointed at
// that tree, (w) in the real main window, shown, with its message loop, and (c) in the console
// front end writing its lines to a file; the two take turns. During both, a probe thread posts a
// message to a window of the UI thread every 20 ms; the time until it is handled during (w) is
// the window's answer time. Prints both times, w/c, the answer times, and how often the list grew.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "InputProbe.h"
#include "Stopwatch.h"
#include "app/MainWindow.h"
#include "cli/ConsoleView.h"
#include "platform/FileSystem.h"
#include "platform/MessagePump.h"
#include "platform/Registry.h"
#include "scan/Checklist.h"

namespace {

const char kTreeKey[] = "Software\\TarnwellBench";
const char kFolder[] = "C:\\twbench";
const int kScanRow = 7;  // the current user's hive

void SetText(HKEY key, const std::string& name, const std::string& text) {
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

std::string ExistingFile(unsigned i) { return std::string(kFolder) + "\\bin\\file" + std::to_string(i % 40) + ".dll"; }

// Returns the number of values that name a missing file.
unsigned Generate(unsigned keys, unsigned valuesPerKey) {
    CreateDirectoryA(kFolder, nullptr);
    CreateDirectoryA((std::string(kFolder) + "\\bin").c_str(), nullptr);
    for (unsigned i = 0; i < 40; ++i) {
        HANDLE h = CreateFileA(ExistingFile(i).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    HKEY root = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kTreeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);
    unsigned value = 0, missing = 0;
    const unsigned perGroup = 100;
    HKEY group = nullptr;
    for (unsigned k = 0; k < keys; ++k) {
        if (k % perGroup == 0) {
            if (group) RegCloseKey(group);
            RegCreateKeyExA(root, ("Group" + std::to_string(k / perGroup)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &group, nullptr);
        }
        HKEY key = nullptr;
        RegCreateKeyExA(group, ("Key" + std::to_string(k)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        for (unsigned v = 0; v < valuesPerKey; ++v, ++value) {
            if (value % 8 == 0) {
                SetText(key, "Path" + std::to_string(v), std::string(kFolder) + "\\gone\\app" + std::to_string(value) + ".exe");
                ++missing;
            } else {
                SetText(key, "Path" + std::to_string(v), ExistingFile(value));
            }
        }
        RegCloseKey(key);
    }
    if (group) RegCloseKey(group);
    RegCloseKey(root);
    return missing;
}

void RemoveTree() {
    tw::Registry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    reg.DeleteKey(std::string("\\") + kTreeKey);
}

double ThreadCpu();

struct WindowRun {
    double seconds;
    double uiCpu;
    int findings;
    int listSteps;  // how many different row counts the list showed during the scan
    double worstAnswer;  // the probe's longest wait, ms
    int lateAnswers, answers;
};

// Samples the list's row count while the window scans: how often the user sees it grow.
struct GrowthSampler {
    HWND list = nullptr;
    int lastCount = -1, steps = 0;
    static GrowthSampler* current;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (!current) return;
        int shown = ListView_GetItemCount(current->list);
        if (shown != current->lastCount) {
            current->lastCount = shown;
            ++current->steps;
        }
    }
};
GrowthSampler* GrowthSampler::current = nullptr;

// The window runs as the user has it: its message loop waits for messages and nothing polls it.
// The list's row count is sampled on a timer, slower than the list's own pace is not needed:
// every sample that sees a new count is a step the user saw.
WindowRun ScanInWindow(tw::MainWindow& form, InputProbe& probe) {
    GrowthSampler sampler;
    sampler.list = form.ReportList();
    GrowthSampler::current = &sampler;
    bool finished = false;
    form.Driver().onScanFinished = [&] { finished = true; };
    probe.Start();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &GrowthSampler::Tick);
    Stopwatch watch;
    double cpu0 = ThreadCpu();
    form.Command(IDM_SCAN);
    MSG msg;
    while (!finished && GetMessageW(&msg, nullptr, 0, 0) > 0) tw::DispatchOne(msg);
    WindowRun r{watch.Seconds(), ThreadCpu() - cpu0, form.Findings().Count(), 0, 0, 0, 0};
    KillTimer(nullptr, timer);
    GrowthSampler::Tick(nullptr, 0, 0, 0);
    r.listSteps = sampler.steps;
    GrowthSampler::current = nullptr;
    form.Driver().onScanFinished = nullptr;
    probe.Stop();
    r.worstAnswer = probe.worst_;
    r.lateAnswers = probe.late_;
    r.answers = probe.answers_;
    return r;
}

struct ConsoleRun {
    double seconds;
    double uiCpu;
    int findings;
};

// The probe runs here too, answered by the same thread: both runs carry its cost alike.
ConsoleRun ScanInConsole(const tw::ScanContext& ctx, int rows, InputProbe& probe) {
    std::vector<bool> ticks(static_cast<size_t>(rows), false);
    ticks[kScanRow] = true;
    FILE* out = fopen((std::string(kFolder) + "\\console.txt").c_str(), "wb");
    ConsoleRun r{0, 0, 0};
    {
        tw::ConsoleView view(ticks, false, out ? out : stdout);
        tw::ScanDriver driver(view, ctx, tw::DefaultScanCategories());
        bool finished = false;
        driver.onScanFinished = [&] { finished = true; };
        probe.Start();
        Stopwatch watch;
        double cpu0 = ThreadCpu();
        driver.ScanCommand();
        MSG msg;
        while (!finished && GetMessageW(&msg, nullptr, 0, 0) > 0) tw::DispatchOne(msg);
        r = {watch.Seconds(), ThreadCpu() - cpu0, view.FindingCount()};
        probe.Stop();
    }
    if (out) fclose(out);
    DeleteFileA((std::string(kFolder) + "\\console.txt").c_str());
    return r;
}

// CPU time the calling thread has used, in seconds.
double ThreadCpu() {
    FILETIME c, e, k, u;
    GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
    auto n = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(n(k) + n(u)) / 1e7;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    unsigned keys = 30000, perKey = 4;
    int reps = 3;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--reps") && i + 1 < argc) reps = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--values-per-key") && i + 1 < argc) perKey = static_cast<unsigned>(atoi(argv[++i]));
        else keys = static_cast<unsigned>(atoi(argv[i]));
    }
    if (reps < 1) reps = 1;
    CoInitialize(nullptr);
    RemoveTree();
    Stopwatch gen;
    unsigned missing = Generate(keys, perKey);
    printf("tree: %u keys, %u values, %u naming a missing file; written in %.1f s\n", keys, keys * perKey, missing,
           gen.Seconds());

    // The scans see the tree as the whole of the current user's hive.
    HKEY tree = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, kTreeKey, 0, KEY_READ, &tree);
    const std::string settings = tw::ProgramFolder() + "Set.ini";
    const bool hadSettings = tw::FileExists(settings);
    {
        tw::MainWindow form;
        if (!form.Create(GetModuleHandleA(nullptr))) {
            fputs("the main window could not be made\n", stderr);
            return 1;
        }
        form.Show();
        HWND chk = form.Checklist();
        const int rows = ListView_GetItemCount(chk);
        for (int i = 0; i < rows; ++i) ListView_SetCheckState(chk, i, i == kScanRow);
        RegOverridePredefKey(HKEY_CURRENT_USER, tree);
        InputProbe probe;

        tw::ScanContext ctx;
        ctx.os = form.OSInfo().Family();
        ctx.windowsDir = tw::WindowsDirectory();
        ctx.bakPath = "Backup";
        ctx.desktop = GetDesktopWindow();

        std::vector<double> w, c, ratios;
        double worst = 0;
        int late = 0, answers = 0;
        for (int r = 0; r < reps; ++r) {
            WindowRun wr{};
            ConsoleRun cr{};
            if (r % 2 == 0) {
                wr = ScanInWindow(form, probe);
                cr = ScanInConsole(ctx, rows, probe);
            } else {
                cr = ScanInConsole(ctx, rows, probe);
                wr = ScanInWindow(form, probe);
            }
            worst = std::max(worst, wr.worstAnswer);
            late += wr.lateAnswers;
            answers += wr.answers;
            printf("  round %d: (w) window %6.2f s (UI thread %.2f s busy), %d findings, list grew in %d steps\n"
                   "           (c) console %6.2f s (UI thread %.2f s busy), %d findings;  w/c %.2f  answer worst %.0f ms\n",
                   r + 1, wr.seconds, wr.uiCpu, wr.findings, wr.listSteps, cr.seconds, cr.uiCpu, cr.findings,
                   wr.seconds / cr.seconds, wr.worstAnswer);
            if (wr.findings != cr.findings || wr.findings != static_cast<int>(missing))
                printf("  FINDINGS DIFFER: window %d, console %d, missing files %u\n", wr.findings, cr.findings,
                       missing);
            w.push_back(wr.seconds);
            c.push_back(cr.seconds);
            ratios.push_back(wr.seconds / cr.seconds);
        }
        printf("(w) window:  median %6.2f s  (%.0f findings/s)\n", Median(w), missing / Median(w));
        printf("(c) console: median %6.2f s  (%.0f findings/s)\n", Median(c), missing / Median(c));
        printf("w/c = %.2f (median of %d rounds; target <= 1.30)\n", Median(ratios), reps);
        printf("window answers: %d probes, worst %.0f ms, %d over 100 ms\n", answers, worst, late);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        // Closed without saving its placement: the benchmark leaves no settings behind.
        DestroyWindow(form.Handle());
        tw::ProcessMessages();
    }
    if (!hadSettings) DeleteFileA(settings.c_str());
    RegCloseKey(tree);
    RemoveTree();
    for (unsigned i = 0; i < 40; ++i) DeleteFileA(ExistingFile(i).c_str());
    RemoveDirectoryA((std::string(kFolder) + "\\bin").c_str());
    RemoveDirectoryA(kFolder);
    CoUninitialize();
    return 0;
}
