// The one judgement of "does this path exist" that every scanner and the re-check before a
// repair use. It answers what the file system says (a file, a folder, missing) or that it
// cannot tell: access denied, a name the code page cannot hold, a form the system cannot test,
// an 8.3 short name that does not resolve here. Only a definite "missing" may make a Finding:
// a cleaner that took "cannot tell" for "missing" would delete what works.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/FileSystem.h"

namespace tw {

// File, Directory, Missing, FolderMissing (a folder on the way is not there), or Unknown
// (cannot tell). "\\?\" and "\\.\" paths are paths, not patterns; a pattern in the last part
// ("C:\x\*.hlp") is answered by the first entry it matches.
PathState JudgePath(const std::string& path);
// A program as the system starts it: a bare or relative name is looked up the way the system
// finds a program (the program's and the current folder, the system and Windows folders, then
// PATH); a name without an extension is also tried with ".exe".
PathState JudgeProgram(const std::string& path);

// Drive types by letter, asked once each: a scan judges thousands of paths on a handful of
// drives, and each question is a round trip to the system's mount manager.
class DriveTypeCache {
public:
    DriveTypeCache();
    // The type of the drive of a root such as "C:\" (any other text is asked every time).
    UINT TypeOf(const std::string& root);

private:
    UINT types_[26];
};

// JudgePath for the thousands of files that one table names in a few folders (fonts, help files,
// shared libraries, the files a hive names): a folder asked about again and again is listed
// once, and its names answer for the files in it, instead of a question to the file system per
// file. So does a folder above in which many paths were found under a missing folder (the
// folder that held the folders of many programs removed since): a folder on the way that it
// lacks is not there. The listing answers only where it tells as surely as JudgePath: a plain
// ASCII name listed as a file, or missing from the whole listing of a folder none of whose names
// the system could take for it. Any other path (a short name, a name ending in a dot or blank, a
// device name, wildcards, other characters, a ".." after the folder found missing; a folder
// listed as such; a folder that could not be listed to its end, or that holds more than a table
// would ask about) is judged by JudgePath. One lives for one category of one scan: the disk may
// change between scans, and a repair judges again before it deletes.
class FolderListings {
public:
    // A scanner on the UI thread gives the pause of its walk: a listing of thousands of names
    // lets the window's messages through between them.
    explicit FolderListings(std::function<void()> pause = nullptr) : pause_(std::move(pause)) {}
    PathState Judge(const std::string& path);

private:
    struct Folder {
        int asked = 0;
        bool listed = false;  // listed whole: names answers
        bool tried = false;   // listing tried: not again
        std::unordered_map<std::string, bool> names;  // lower-case name: is a plain file
    };
    void List(const std::string& folder, Folder& f);
    std::function<void()> pause_;
    std::unordered_map<std::string, Folder> folders_;
};

inline bool IsGone(PathState s) { return s == PathState::Missing || s == PathState::FolderMissing; }
// Definitely not a file there: nothing at all, or a folder where a file was wanted.
inline bool IsNoFile(PathState s) { return IsGone(s) || s == PathState::Directory; }
// Definitely nothing there, neither file nor folder.
inline bool IsNothing(PathState s) { return IsGone(s); }

// The text with the environment's variables put in (%SystemRoot%, %ProgramFiles%), as the
// system does before it uses it; unchanged when it cannot be expanded. A variable the
// environment does not know stays as it is.
std::string ExpandVariables(const std::string& text);

// Whether " (" in a candidate path is argument text ("app.exe (debug)"), which the path rules
// refuse to judge, rather than part of a folder's name: a " (" inside a path element that exists
// on disk (up to the next backslash), or inside the system's own "Program Files (x86)" folder,
// belongs to the path. A " (" in the last element is argument text.
bool HasArgumentParenthesis(const std::string& path);

// Whether a path element has the form of an 8.3 short name ("PROGRA~1", "UNINST~2.EXE").
bool IsShortNameElement(const std::string& element);

}  // namespace tw
