// What the tests of repair, backup, restore and the repair log share: a repair view without a
// window, message boxes and the registry editor answered from a script, a program folder without
// the data a test leaves, and readers of the log and the Recycle Bin.
#pragma once
#include <doctest.h>

#include <shlobj.h>
#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "app/RepairCommands.h"
#include "platform/LoadText.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/ScopeExit.h"
#include "platform/Seams.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "repair/RepairLog.h"
#include "repair/UndoFile.h"
#include "scanners/registry/Fonts.h"
#include "scanners/registry/HelpFiles.h"
#include "scanners/registry/HiveReferences.h"
#include "scanners/registry/MsiProduct.h"
#include "scanners/registry/SharedDlls.h"
#include "strings.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"
#include "support/ScriptedMessages.h"
#include "support/ScriptedRepairUi.h"
#include "support/WindowProbes.h"
#include "wording/RepairWording.h"

namespace tw::test {

using Controls = std::vector<std::pair<bool, bool>>;  // (on, popupToo) per call

struct FakeView : RepairView {
    int selected = -1;
    std::vector<std::string> statuses;
    Controls controls;
    int pumps = 0;
    int SelectedRow() override { return selected; }
    void RowChanged(int) override {}
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetRepairControls(bool on, bool popupToo) override { controls.emplace_back(on, popupToo); }
    void ProcessMessages() override { ++pumps, tw::ProcessMessages(); }
    HWND OwnerWindow() override { return nullptr; }
    std::string Status() const { return statuses.empty() ? "" : statuses.back(); }
};

// Repair.log, Backup_Tw.reg and the undo files beside the test exe are gone before and after
// each test.
struct CleanProgramFolder {
    CleanProgramFolder() { Remove(); }
    ~CleanProgramFolder() { Remove(); }
    static void Remove() {
        DeleteFileA(RepairLogPath().c_str());
        DeleteFileA(BackupFilePath().c_str());
        RemoveDirectoryA(RepairLogBackupPath().c_str());
        DeleteFileA(RepairLogBackupPath().c_str());
        // Every registry repair leaves its undo file.
        for (const std::string& f : ListUndoFiles()) DeleteFileA(f.c_str());
        RemoveDirectoryA(UndoFolder().c_str());
    }
};

struct ScopedCurrentDir {
    char saved[MAX_PATH] = {};
    explicit ScopedCurrentDir(const std::string& dir) {
        GetCurrentDirectoryA(sizeof saved, saved);
        SetCurrentDirectoryA(dir.c_str());
    }
    ~ScopedCurrentDir() { SetCurrentDirectoryA(saved); }
};

struct LogEntry {
    std::string section, action, record;
};

inline std::vector<LogEntry> ReadLog() {
    const std::string path = RepairLogPath();
    std::vector<char> buf(65536);
    DWORD n = GetPrivateProfileSectionNamesA(buf.data(), static_cast<DWORD>(buf.size()), path.c_str());
    std::vector<LogEntry> entries;
    for (const char* p = buf.data(); p < buf.data() + n && *p; p += strlen(p) + 1) {
        char action[1024] = {}, record[4096] = {};
        GetPrivateProfileStringA(p, "行为", "", action, sizeof action, path.c_str());
        GetPrivateProfileStringA(p, "记录", "", record, sizeof record, path.c_str());
        entries.push_back({p, action, record});
    }
    return entries;
}

// The tests' Recycle Bin is the desktop trash under XDG_DATA_HOME (scripts/wine-run.sh): each
// object lies in files/ under the name of its record in info/, and the record's Path line holds
// its old place. True when the bin holds a file (or folder) deleted from `original` on C:. What
// the bin holds from there is erased, so that the next run, whose scratch folders may have the
// same names (Wine reuses process ids), does not find it.
inline bool TakeFromRecycleBin(const std::string& original, bool folder) {
    const char* xdg = getenv("XDG_DATA_HOME");
    REQUIRE_MESSAGE(xdg, "run through scripts/wine-run.sh");
    std::string bin = std::string("Z:") + xdg + "\\Trash\\";
    std::replace(bin.begin(), bin.end(), '/', '\\');
    std::string place = original.substr(2) + "\n";  // the old place's path below the drive
    std::replace(place.begin(), place.end(), '\\', '/');
    bool found = false;
    ListDirectory(bin + "info\\*.trashinfo", 0, [&](const DirEntry& e) {
        const std::string record = bin + "info\\" + e.name;
        if (ReadFileBytes(record).find(place) == std::string::npos) return true;
        const std::string object = bin + "files\\" + e.name.substr(0, e.name.size() - strlen(".trashinfo"));
        found = found || (folder ? DirectoryExists(object) : FileExists(object));
        folder ? RemoveDirectoryA(object.c_str()) : DeleteFileA(object.c_str());
        DeleteFileA(record.c_str());
        return true;
    });
    return found;
}

inline std::vector<bool> Marks(const FindingList& list) {
    std::vector<bool> marks;
    for (int i = 0; i < list.Count(); ++i) marks.push_back(list.At(i).Repaired());
    return marks;
}

// An outside program that does not end until the test is over: this test program, waiting for
// an event (tests/support/TestMain.cpp).
struct EndlessProgram {
    std::string event = "TwEndless" + IntToStr(GetCurrentProcessId());
    UniqueKernelHandle handle{CreateEventA(nullptr, TRUE, FALSE, event.c_str())};
    std::string CommandLine() const { return "\"" + ProgramPath() + "\" --stand-in-until " + event; }
    ~EndlessProgram() { SetEvent(handle.get()); }
};

// Stands in for the registry editor: writes the export (or not) where the real one would, and
// notes what the progress window showed meanwhile.
struct FakeEditor {
    ScopedSeams seams;
    std::vector<std::string> commandLines, directories, currentDirs, progressCaptions;
    bool start = true, writeExport = true;
    std::string exportContent = "REGEDIT4\r\n";
    DWORD exitCode = 0;
    ProgressOnDemand* progress = nullptr;
    HWND watched = nullptr;               // a window whose state is noted while the editor runs
    std::vector<bool> watchedEnabled;
    FakeEditor() {
        seams->runAndWait = [this](const std::string& cmd, const std::string& dir, DWORD& code) {
            commandLines.push_back(cmd);
            if (watched) watchedEnabled.push_back(IsWindowEnabled(watched) != FALSE);
            directories.push_back(dir);
            char cur[MAX_PATH] = {};
            GetCurrentDirectoryA(sizeof cur, cur);
            currentDirs.push_back(std::string(cur) + "\\");
            ProgressWindow* window = progress ? progress->Window() : nullptr;
            if (window && IsWindowVisible(window->Handle()))
                progressCaptions.push_back(WindowText(window->Handle()));
            if (!start) return false;
            if (writeExport && cmd.find("/e") != std::string::npos)
                if (FILE* f = fopen((dir + "Backup_Tw.reg").c_str(), "wb"))
                    fwrite(exportContent.data(), 1, exportContent.size(), f), fclose(f);
            code = exitCode;
            return true;
        };
    }
};


}  // namespace tw::test
