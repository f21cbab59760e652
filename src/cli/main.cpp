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
#include "platform/Seams.h"
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

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    bool utf8 = false, all = false, listRows = false, version = false;
    bool repair = false, dryRun = false, backup = false, undo = false, listUndo = false;
    std::string rows, undoFile;
    bool haveRows = false, haveUndoFile = false;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--utf8")) utf8 = true;
        else if (!strcmp(argv[i], "--all")) all = true;
        else if (!strcmp(argv[i], "--list-rows")) listRows = true;
        else if (!strcmp(argv[i], "--version")) version = true;
        else if (!strcmp(argv[i], "--rows") && i + 1 < argc) { rows = argv[++i]; haveRows = true; }
        else if (!strncmp(argv[i], "--rows=", 7)) { rows = argv[i] + 7; haveRows = true; }
        else if (!strcmp(argv[i], "--repair")) repair = true;
        else if (!strcmp(argv[i], "--dry-run")) dryRun = true;
        else if (!strcmp(argv[i], "--backup")) backup = true;
        else if (!strcmp(argv[i], "--list-undo")) listUndo = true;
        else if (!strcmp(argv[i], "--undo")) {
            undo = true;
            if (i + 1 < argc && strncmp(argv[i + 1], "--", 2) != 0) { undoFile = argv[++i]; haveUndoFile = true; }
        }
        else {
            PrintUsage();
            return strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }

    // --dry-run and --backup belong to a repair; a repair, an undo and the lists exclude each
    // other.
    if (((dryRun || backup) && !repair) || (dryRun && backup) || (repair + undo + listUndo + listRows) > 1) {
        PrintUsage();
        return 2;
    }

    // What the user told the window to ignore is not reported here either.
    tw::IgnoreList ignored;
    const tw::ScanSession session = tw::OpenScanSession(ignored);
    const tw::TKivOSInfo& os = session.os;
    if (version) {
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
    for (const tw::ChecklistItem& item : items) ticks.push_back(all || item.ticked);
    if (haveRows && !ParseRows(rows, items.size(), ticks)) {
        fprintf(stderr, "--rows: indexes from 0 to %u, separated by commas\n", static_cast<unsigned>(items.size() - 1));
        return 2;
    }

    tw::ConsoleView view(ticks, utf8);
    view.SetRows(items);
    if (listRows) {
        for (size_t i = 0; i < items.size(); ++i)
            view.Write(stdout, tw::IntToStr(static_cast<long long>(i)) + "\t" + (items[i].ticked ? "x" : " ") + "\t" +
                                   items[i].caption + "\n");
        return 0;
    }

    // No one sits at a console scan to press a message box's button: an error that ends a
    // step goes to standard error, and a question is answered with its refusing button. The
    // one question of an undo, whether to import the file, was answered by asking for --undo.
    tw::CurrentSeams().messageBox = [&view, undo](HWND, const std::string& text, const std::string& caption,
                                                  UINT type) {
        view.Write(stderr, caption + ": " + text + "\n");
        switch (type & MB_TYPEMASK) {
            case MB_OK: return IDOK;
            case MB_OKCANCEL: return undo ? IDOK : IDCANCEL;
            case MB_YESNO: return IDNO;
            default: return IDCANCEL;
        }
    };
    if (listUndo) return tw::ConsoleListUndo(view);

    tw::ComScope com;
    if (undo) return tw::ConsoleUndo(view, haveUndoFile ? &undoFile : nullptr);
    if (!session.ignoreListRead) view.Write(stderr, "cannot read " + ignored.Path() + "\n");
    tw::FindingList found;
    if (repair) view.KeepFindings(&found);
    std::unique_ptr<tw::ScanDriver> driver = tw::MakeScanDriver(view, session, ignored);
    bool finished = false;
    driver->onScanFinished = [&] { finished = true; };
    driver->ScanCommand();
    // The driver's message-only window stands in for the window's UI thread: the worker
    // threads hand their Findings over to it.
    tw::RunUntil([&] { return finished; });
    view.Write(stderr, view.Status() + "\n");
    if (!repair) return 0;
    tw::ConsoleRepairOptions options;
    options.majorVersion = os.MajorVersion;
    options.ignored = &ignored;
    options.dryRun = dryRun;
    options.backup = backup;
    options.scanAfterRepair = [&driver](const std::vector<tw::Finding>& repaired) {
        return driver->ScanAfterRepair(repaired);
    };
    return tw::ConsoleRepair(view, found, options);
}
