// tarnwell-scan: the same scan as the window's, without a window. It prints one Finding per
// line (caption, location, key name, description, image index, tab-separated, each field
// escaped: \\ \t \r \n \xHH) in the order they were found, and the closing status line on
// standard error. With --repair it repairs what it found through the window's repair code and
// adds each row's outcome as a sixth field; --undo imports an undo file as the window does.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/ConsoleRepair.h"
#include "cli/ConsoleView.h"
#include "platform/ComScope.h"
#include "platform/DataFolder.h"
#include "platform/MessagePump.h"
#include "platform/Text.h"
#include "scan/ScanSession.h"
#include "scanners/IgnoreList.h"
#include "version.h"

namespace {

const char kUsage[] =
    "usage: tarnwell-scan [--rows LIST] [--all] [--utf8] [--repair [--dry-run] [--backup]]\n"
    "       tarnwell-scan --undo [FILE] | --list-undo | --list-rows | --version\n"
    "  --rows LIST   scan the checklist rows in LIST (comma-separated indexes, e.g. 7,8,9);\n"
    "                default: the rows the window ticks at start\n"
    "  --all         scan every row\n"
    "  --utf8        write UTF-8 instead of the system's ANSI code page\n"
    "  --list-rows   print the checklist rows with their indexes and exit\n"
    "  --repair      repair every Finding as the window's repair-all does (undo file first);\n"
    "                each line gets its outcome as a sixth field (a product's uninstall:\n"
    "                then its exit code and what it means as seventh and eighth)\n"
    "  --dry-run     with --repair: print what would be deleted, delete nothing\n"
    "  --backup      with --repair: back up the whole registry first; no repair if that fails\n"
    "  --undo [FILE] import the newest undo file, or FILE, and check the registry\n"
    "  --list-undo   print the undo files: date, keys recorded, size, path\n"
    "exit status: 0 done (or nothing found), 1 some not repaired or restored, 2 could not run\n"
    "  --version     print the program's and the system's version and exit\n";

// The usage, and where this copy keeps the user's data (a path in the ANSI code page).
void PrintUsage() {
    fputs(kUsage, stderr);
    std::string where = "the undo files (Undo\\), the repair log, the ignore list, the backup and the settings are kept in\n  " +
                        tw::DataFolder() + "\n";
    const std::vector<std::string> folders = tw::DataFolders();
    if (folders.size() > 1) where += "  (and those an older portable use left in " + folders[1] + " are read too)\n";
    fputs(where.c_str(), stderr);
}

bool ParseRows(const std::string& list, size_t rowCount, std::vector<bool>& ticks) {
    ticks.assign(rowCount, false);
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int row = 0;
        if (!item.empty()) {
            if (!tw::TryStrToInt(item, row) || row < 0 || static_cast<size_t>(row) >= rowCount) return false;
            ticks[static_cast<size_t>(row)] = true;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

// What the command line asks for.
struct Options {
    bool utf8 = false, all = false, listRows = false, version = false;
    bool repair = false, dryRun = false, backup = false, undo = false, listUndo = false;
    std::string rows, undoFile;
    bool haveRows = false, haveUndoFile = false;
};

// Reads the command line; false (with the exit status in `status`) when the usage was printed.
bool ParseOptions(int argc, char** argv, Options& o, int& status) {
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--utf8")) o.utf8 = true;
        else if (!strcmp(argv[i], "--all")) o.all = true;
        else if (!strcmp(argv[i], "--list-rows")) o.listRows = true;
        else if (!strcmp(argv[i], "--version")) o.version = true;
        else if (!strcmp(argv[i], "--rows") && i + 1 < argc) { o.rows = argv[++i]; o.haveRows = true; }
        else if (!strncmp(argv[i], "--rows=", 7)) { o.rows = argv[i] + 7; o.haveRows = true; }
        else if (!strcmp(argv[i], "--repair")) o.repair = true;
        else if (!strcmp(argv[i], "--dry-run")) o.dryRun = true;
        else if (!strcmp(argv[i], "--backup")) o.backup = true;
        else if (!strcmp(argv[i], "--list-undo")) o.listUndo = true;
        else if (!strcmp(argv[i], "--undo")) {
            o.undo = true;
            if (i + 1 < argc && strncmp(argv[i + 1], "--", 2) != 0) { o.undoFile = argv[++i]; o.haveUndoFile = true; }
        }
        else {
            PrintUsage();
            status = strcmp(argv[i], "--help") == 0 ? 0 : 2;
            return false;
        }
    }
    // --dry-run and --backup belong to a repair; a repair, an undo and the lists exclude each
    // other.
    if (((o.dryRun || o.backup) && !o.repair) || (o.dryRun && o.backup) ||
        (o.repair + o.undo + o.listUndo + o.listRows) > 1) {
        PrintUsage();
        status = 2;
        return false;
    }
    return true;
}

// The scan of the ticked rows, then the repair when asked for: the program's exit status.
int ScanAndRepair(tw::ConsoleView& view, const tw::ScanSession& session, tw::IgnoreList& ignored,
                  const Options& o) {
    tw::FindingList found;
    if (o.repair) view.KeepFindings(&found);
    std::unique_ptr<tw::ScanDriver> driver = tw::MakeScanDriver(view, session, ignored);
    bool finished = false;
    driver->onScanFinished = [&] { finished = true; };
    driver->ScanCommand();
    // The driver's message-only window stands in for the window's UI thread: the worker
    // threads hand their Findings over to it.
    tw::RunUntil([&] { return finished; });
    view.Write(stderr, view.Status() + "\n");
    if (!o.repair) return 0;
    tw::ConsoleRepairOptions options;
    options.majorVersion = session.os.MajorVersion;
    options.ignored = &ignored;
    options.dryRun = o.dryRun;
    options.backup = o.backup;
    options.scanAfterRepair = [&driver](const std::vector<tw::Finding>& repaired) {
        return driver->ScanAfterRepair(repaired);
    };
    return tw::ConsoleRepair(view, found, options);
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    Options o;
    int status = 0;
    if (!ParseOptions(argc, argv, o, status)) return status;

    // What the user told the window to ignore is not reported here either.
    tw::IgnoreList ignored;
    const tw::ScanSession session = tw::OpenScanSession(ignored);
    const tw::OsInfo& os = session.os;
    if (o.version) {
        printf(TW_PRODUCT_NAME " " TW_VERSION_STR "\t%s\t%u.%u.%u\n", os.VersionName.c_str(), os.MajorVersion,
               os.MinorVersion, os.BuildNumber);
        return 0;
    }
    if (session.windowsDir.empty()) {
        fputs("cannot find the Windows folder\n", stderr);
        return 2;
    }
    const std::vector<tw::ChecklistItem>& items = session.checklist;
    std::vector<bool> ticks;
    for (const tw::ChecklistItem& item : items) ticks.push_back(o.all || item.ticked);
    if (o.haveRows && !ParseRows(o.rows, items.size(), ticks)) {
        fprintf(stderr, "--rows: indexes from 0 to %u, separated by commas\n", static_cast<unsigned>(items.size() - 1));
        return 2;
    }

    tw::ConsoleView view(ticks, o.utf8);
    view.SetRows(items);
    if (o.listRows) {
        for (size_t i = 0; i < items.size(); ++i)
            view.Write(stdout, tw::IntToStr(static_cast<long long>(i)) + "\t" + (items[i].ticked ? "x" : " ") + "\t" +
                                   items[i].caption + "\n");
        return 0;
    }

    if (o.listUndo) return tw::ConsoleListUndo(view);

    tw::ComScope com;
    if (o.undo) return tw::ConsoleUndo(view, o.haveUndoFile ? &o.undoFile : nullptr);
    if (!session.ignoreListRead) view.Write(stderr, "cannot read " + ignored.Path() + "\n");
    return ScanAndRepair(view, session, ignored, o);
}
