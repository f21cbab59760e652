// How much the broken-shortcut walk costs over merely listing the same folders: generates a tree
// under C:\twbench\tree (default 100,000 files in 10,000 folders, 1,000 of the files shortcuts,
// a third of those broken), then times, taking turns (the order alternating from round to
// round, so that a machine whose speed drifts weighs on both alike):
//   (a) a bare walk: FindFirstFileA/FindNextFileA over every folder, nothing else;
//   (b) the shortcut walk as a scan runs it: status line, a message pause after every entry,
//       every shortcut resolved through the shell-link object, broken ones reported;
//   (c) the same walk with pauses that do nothing, to show what the pauses cost.
// Usage: bench_disk_walk [files [folders [shortcuts]]] [--reps N]   (scripts/bench.sh disk_walk)
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ComHandle.h"
#include "platform/ComScope.h"
#include "platform/MessagePump.h"
#include "platform/ShellLink.h"
#include "platform/Threads.h"
#include "scanners/disk/BrokenShortcuts.h"

namespace {

const char kTree[] = "C:\\twbench\\tree";
const char kGone[] = "C:\\twbench\\gone";

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

struct TreeSize {
    unsigned files = 0, folders = 0, shortcuts = 0, broken = 0;
    std::vector<std::string> links;
};

// Folders: a first level of about sqrt(n) folders, the rest spread below them; files and
// shortcuts spread evenly over all folders. Every third shortcut names a missing file.
TreeSize Generate(unsigned files, unsigned folders, unsigned shortcuts) {
    TreeSize size;
    CreateDirectoryA("C:\\twbench", nullptr);
    CreateDirectoryA(kTree, nullptr);
    unsigned top = 1;
    while (top * top < folders) ++top;
    std::vector<std::string> paths;
    for (unsigned i = 0; i < top && paths.size() < folders; ++i) paths.push_back(std::string(kTree) + "\\d" + std::to_string(i));
    for (unsigned i = 0; paths.size() < folders; ++i)
        paths.push_back(paths[i % top] + "\\s" + std::to_string(i / top));
    for (const std::string& p : paths) size.folders += CreateDirectoryA(p.c_str(), nullptr) ? 1 : 0;

    tw::UniqueCom<IShellLinkA> link;
    tw::UniqueCom<IPersistFile> persist;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(link.put()))) ||
        FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put())))) {
        fprintf(stderr, "no shell-link object\n");
        exit(1);
    }
    const unsigned every = shortcuts ? std::max(1u, files / shortcuts) : files + 1;
    std::string lastFile = "C:\\windows\\notepad.exe";
    for (unsigned i = 0; i < files; ++i) {
        const std::string& folder = paths[i % paths.size()];
        if (i % every == every - 1 && size.shortcuts < shortcuts) {
            bool broken = size.shortcuts % 3 == 0;
            std::string target = broken ? std::string(kGone) + "\\app" + std::to_string(i) + ".exe" : lastFile;
            std::string file = folder + "\\link" + std::to_string(i) + ".lnk";
            link.get()->SetPath(target.c_str());
            std::wstring wide(file.begin(), file.end());
            if (SUCCEEDED(persist.get()->Save(wide.c_str(), TRUE))) {
                ++size.shortcuts;
                size.broken += broken ? 1 : 0;
                size.links.push_back(file);
                ++size.files;
            }
            continue;
        }
        std::string file = folder + "\\file" + std::to_string(i) + ".dat";
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) continue;
        DWORD written = 0;
        WriteFile(h, "tarnwell bench\r\n", 16, &written, nullptr);
        CloseHandle(h);
        lastFile = file;
        ++size.files;
    }
    return size;
}

// (a): the least any walk over the tree must do.
void BareWalk(const std::string& folder, unsigned& entries) {
    WIN32_FIND_DATAA fd;
    tw::UniqueFind find(FindFirstFileA((folder + "\\*.*").c_str(), &fd));
    if (!find) return;
    std::vector<std::string> subfolders;
    do {
        if (fd.cFileName[0] == '.' && (!fd.cFileName[1] || (fd.cFileName[1] == '.' && !fd.cFileName[2]))) continue;
        ++entries;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) subfolders.push_back(fd.cFileName);
    } while (FindNextFileA(find.get(), &fd));
    find.reset();
    for (const std::string& name : subfolders) BareWalk(folder + "\\" + name, entries);
}

class BenchSink : public tw::ScanSink {
public:
    explicit BenchSink(bool pump) : pump_(pump) {}
    unsigned findings = 0, statuses = 0, pauses = 0;
    void AddFinding(const tw::Finding&) override { ++findings; }
    void ShowStatus(const std::string&) override { ++statuses; }
    void ProcessMessages() override {
        ++pauses;
        if (pump_) tw::PauseForMessages();  // what the main window does after every entry
    }

private:
    bool pump_;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    unsigned numbers[3] = {100000, 10000, 1000};
    int given = 0, reps = 5;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--reps") && i + 1 < argc) reps = std::max(1, atoi(argv[++i]));
        else if (given < 3) numbers[given++] = static_cast<unsigned>(strtoul(argv[i], nullptr, 10));
    }
    tw::ComScope com;
    // The walk runs on a thread with a window, as the scan does on the UI thread.
    tw::UiDispatcher window;

    double t0 = Now();
    TreeSize size = Generate(numbers[0], numbers[1], numbers[2]);
    printf("tree %s: %u files (%u shortcuts, %u broken) in %u folders, made in %.1f s\n", kTree, size.files,
           size.shortcuts, size.broken, size.folders, Now() - t0);

    tw::ScanContext ctx;
    unsigned warm = 0;
    BareWalk(kTree, warm);  // fills the host's caches for both
    std::vector<double> bare, walk, quiet;
    unsigned pauses = 0, found = 0;
    auto runBare = [&] {
        unsigned entries = 0;
        double s = Now();
        BareWalk(kTree, entries);
        bare.push_back(Now() - s);
    };
    auto runWalk = [&](bool pump) {
        BenchSink sink(pump);
        double s = Now();
        tw::ScanDriveForBrokenShortcuts(ctx, sink, std::string(kTree) + "\\");
        (pump ? walk : quiet).push_back(Now() - s);
        pauses = sink.pauses;
        found = sink.findings;
    };
    for (int r = 0; r < reps; ++r) {
        if (r % 2 == 0) {
            runBare();
            runWalk(true);
            runWalk(false);
        } else {
            runWalk(false);
            runWalk(true);
            runBare();
        }
    }
    // (d): what resolving the shortcuts alone costs.
    double s = Now();
    tw::ShellLinkReader reader;
    unsigned resolved = 0;
    for (const std::string& file : size.links) resolved += reader.Target(file).empty() ? 0 : 1;
    double resolveTime = Now() - s;
    s = Now();
    unsigned judged = 0;
    tw::DriveTypeCache drives;
    for (const std::string& file : size.links) judged += tw::IsBrokenShortcutTarget(reader.Target(file), drives) ? 1 : 0;
    double judgeTime = Now() - s - resolveTime;
    printf("resolving the %u shortcuts alone: %.3f s; judging their targets: %.3f s (%u broken)\n", resolved,
           resolveTime, judgeTime, judged);
    printf("entries %u, message pauses per walk %u, broken shortcuts found %u of %u\n", warm, pauses, found,
           size.broken);
    printf("(a) bare FindFirstFile walk : median %.3f s  min %.3f s\n", Median(bare),
           *std::min_element(bare.begin(), bare.end()));
    auto minOf = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    printf("(b) shortcut walk           : median %.3f s  min %.3f s   ratio b/a %.2f (of minima %.2f)\n",
           Median(walk), minOf(walk), Median(walk) / Median(bare), minOf(walk) / minOf(bare));
    printf("(c) walk, pauses do nothing : median %.3f s  min %.3f s   ratio c/a %.2f (of minima %.2f)\n",
           Median(quiet), minOf(quiet), Median(quiet) / Median(bare), minOf(quiet) / minOf(bare));
    return found == size.broken ? 0 : 1;
}
