// What a repair of Wine's leftovers on the desktop costs as their number grows: each repaired
// row is judged again on its own evidence only, so the repair of N rows must grow with N, not
// with N times the category. Plants, in scratch XDG folders of its own below C:\twbench\xdg,
// groups of four launchers of a deleted prefix with their menu files, icons, the group's folder
// and folder entry, and one association with its MIME type (16 rows a group), scans the
// category, and times the repair of every row as "全部修复" runs it (into the scratch trash).
// Two sizes in one run, the smaller first; the time per row of both shows whether it is linear.
// Usage: bench_wine_repair [rows] [--small N]   (default 5000 and 1000; scripts/bench.sh wine_repair)
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/support/QuietRepairView.h"
#include "../tests/support/ScriptedRepairUi.h"
#include "Stopwatch.h"
#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "repair/Repair.h"
#include "repair/RepairLog.h"
#include "scanners/disk/WineDesktopEntries.h"

namespace {

const char kRoot[] = "C:\\twbench\\xdg";

void Write(const std::string& unixPath, const std::string& text) {
    const std::string dos = tw::DosPathOfUnix(unixPath);
    SHCreateDirectoryExA(nullptr, dos.substr(0, dos.rfind('\\')).c_str(), nullptr);
    HANDLE h = CreateFileA(dos.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot write %s\n", unixPath.c_str());
        exit(1);
    }
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}

// The data set of `groups` groups below the Unix folder `base` (data/ and config/).
void Plant(const std::string& base, int groups) {
    const std::string data = base + "/data", menus = base + "/config/menus/applications-merged";
    const std::string gone = base + "/gone-prefix";
    const std::string exec = "Exec=env WINEPREFIX=\"" + gone + "\" wine C:\\\\\\\\x\\\\\\\\";
    for (int g = 0; g < groups; ++g) {
        const std::string group = "G" + tw::IntToStr(g);
        for (int a = 0; a < 4; ++a) {
            const std::string app = "A" + tw::IntToStr(a), id = "wine-Programs-" + group + "-" + app;
            char icon[32];
            snprintf(icon, sizeof icon, "%04X_app%d.0", (g * 4 + a) & 0xFFFF, g * 4 + a);
            Write(data + "/applications/wine/Programs/" + group + "/" + app + ".desktop",
                  "[Desktop Entry]\nName=" + app + "\n" + exec + app + ".lnk\nType=Application\nIcon=" + icon + "\n");
            Write(menus + "/" + id + ".menu",
                  "<Menu><Name>Applications</Name><Menu><Name>wine-wine</Name><Directory>wine-wine.directory</Directory>"
                  "<Menu><Name>wine-Programs</Name><Directory>wine-Programs.directory</Directory><Menu><Name>wine-Programs-" +
                      group + "</Name><Directory>wine-Programs-" + group + ".directory</Directory><Include><Filename>" + id +
                      ".desktop</Filename></Include></Menu></Menu></Menu></Menu>\n");
            Write(data + "/icons/hicolor/32x32/apps/" + icon + ".png", "png");
        }
        Write(data + "/desktop-directories/wine-Programs-" + group + ".directory", "[Desktop Entry]\nType=Directory\n");
        const std::string ext = "e" + tw::IntToStr(g);
        Write(data + "/applications/wine-extension-" + ext + ".desktop",
              "[Desktop Entry]\nMimeType=application/x-wine-extension-" + ext + ";\nExec=env WINEPREFIX=\"" + gone +
                  "\" wine start /ProgIDOpen Doc" + ext + " %f\n");
        Write(data + "/mime/packages/x-wine-extension-" + ext + ".xml",
              "<mime-info><mime-type type=\"application/x-wine-extension-" + ext + "\"/></mime-info>\n");
    }
    for (const char* d : {"wine-wine", "wine-Programs"})
        Write(data + "/desktop-directories/" + d + ".directory", "[Desktop Entry]\nType=Directory\n");
}

struct Sink : tw::ScanSink {
    void AddFinding(const tw::Finding& f) override { list.Add(f); }
    void ShowStatus(const std::string&) override {}
    void ProcessMessages() override {}
    tw::FindingList list;
};

struct Result {
    int rows = 0, repaired = 0;
    double scan = 0, judge = 0, repair = 0;
};

Result Run(const std::string& base, int groups) {
    Plant(base, groups);
    SetEnvironmentVariableA("XDG_DATA_HOME", (base + "/data").c_str());
    SetEnvironmentVariableA("XDG_CONFIG_HOME", (base + "/config").c_str());
    Result r;
    Sink sink;
    Stopwatch scan;
    tw::ScanWineDesktopEntries(tw::ScanContext{}, sink);
    r.scan = scan.Seconds();
    r.rows = sink.list.Count();
    // The judgement alone, as the dry run asks it of every row: nothing moves.
    {
        tw::RepairPlanner planner;
        Stopwatch judge;
        for (int i = 0; i < r.rows; ++i) planner.Plan(sink.list.At(i), tw::RepairPlanner::WhatGoes);
        r.judge = judge.Seconds();
    }
    tw::test::QuietRepairView view;
    tw::test::ScriptedRepairUi ui;
    tw::Repairer repairer(sink.list, view, ui, tw::RepairContext(5), nullptr);
    tw::RepairCounts counts;
    Stopwatch repair;
    repairer.RepairAllQuietly(nullptr, &counts);
    r.repair = repair.Seconds();
    r.repaired = counts.repaired;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    int rows = 5000, small = 1000;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--small") && i + 1 < argc) small = atoi(argv[++i]);
        else rows = atoi(argv[i]);
    }
    if (tw::WineVersion().empty()) {
        fprintf(stderr, "the category exists under Wine only\n");
        return 1;
    }
    tw::ScopedSeams seams;
    seams->startProgram = [](const std::string&) { return true; };  // no cache tools of the host
    // The repair writes its entry into the log beside the program: it is put back afterwards.
    std::string log;
    const bool hadLog = tw::ReadWholeFile(tw::RepairLogPath(), log);
    SHCreateDirectoryExA(nullptr, kRoot, nullptr);
    const std::string root = tw::UnixPathOfDos(kRoot);
    printf("%8s %8s %8s %10s %14s %10s %14s\n", "rows", "repaired", "scan s", "judge s", "judge ms/row", "repair s",
           "repair ms/row");
    std::vector<double> perRow, judgePerRow;
    int failed = 0;
    for (int size : {small, rows}) {
        const int groups = (size + 15) / 16;
        const Result r = Run(root + "/n" + tw::IntToStr(size), groups);
        const double n = r.rows ? r.rows : 1;
        perRow.push_back(r.repair * 1000.0 / n);
        judgePerRow.push_back(r.judge * 1000.0 / n);
        printf("%8d %8d %8.2f %10.2f %14.3f %10.2f %14.3f\n", r.rows, r.repaired, r.scan, r.judge, judgePerRow.back(),
               r.repair, perRow.back());
        if (r.repaired != r.rows) ++failed;
    }
    // The judgement of a row reads that row's evidence only; the move into the trash costs, under
    // Wine, a look through the trash folder for each new name, which grows with the trash.
    printf("per row, %d rows against %d: judgement %.2fx, repair %.2fx (linear: about 1)\n", rows, small,
           judgePerRow[1] / judgePerRow[0], perRow[1] / perRow[0]);
    if (hadLog) {
        FILE* f = fopen(tw::RepairLogPath().c_str(), "wb");
        if (f) {
            fwrite(log.data(), 1, log.size(), f);
            fclose(f);
        }
    } else {
        DeleteFileA(tw::RepairLogPath().c_str());
    }
    return failed ? 2 : 0;
}
