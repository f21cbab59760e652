// Undo records of repairs. Before a repair deletes anything in the registry it appends exactly
// what is about to go (a key with its whole subtree, one value, or the default value it empties)
// to an undo file in the folder "Undo" of the data folder (platform/DataFolder.h). The file is a plain .reg file in the
// registry editor's own format: the editor's import (or a double-click) puts everything back.
#pragma once
#include <windows.h>
#include <string>
#include <set>
#include <vector>

#include "platform/Handle.h"
#include "platform/RegFileFormat.h"

namespace tw {

// Why a key was not recorded for holding a registry link: the key, and the link met (the key
// itself, or one below it). Empty when no link was met.
struct LinkRefusal {
    std::string key;
    std::string link;
    bool Empty() const { return key.empty(); }
};

// The data folder + "Undo\".
std::string UndoFolder();
// Every "Undo" folder that may hold the user's undo files: this one, then one that an older
// portable use left beside the program when the data is kept elsewhere now.
std::vector<std::string> UndoFolders();
// The undo files in a folder, oldest first (their names start with the moment they were opened).
std::vector<std::string> ListUndoFiles(const std::string& folder);
// The undo files of several folders, oldest first (by name; a tie by folder).
std::vector<std::string> ListUndoFiles(const std::vector<std::string>& folders);
// The user's undo files: ListUndoFiles(UndoFolders()).
std::vector<std::string> ListUndoFiles();

class UndoFile {
public:
    UndoFile() = default;
    // Closes the file; a file that received no record is deleted, as there is nothing to undo.
    ~UndoFile();
    UndoFile(const UndoFile&) = delete;
    UndoFile& operator=(const UndoFile&) = delete;

    // Creates the folder when needed and a new file named after the local date and time
    // ("2026-12-07_11-40-05.reg"; "..._02.reg" and on when that name is taken) with the
    // flavour's first line. False when the folder or the file cannot be made.
    bool Open(RegFileFlavor flavor, const std::string& folder = UndoFolder());
    // Whether value names with line breaks may be written as \r and \n: only for an editor that
    // reads those escapes. Without, such a value cannot be recorded.
    void AllowLineBreakEscapes(bool on) { lineBreakEscapes_ = on; }
    const std::string& Path() const { return path_; }
    int RecordCount() const { return records_; }
    void Close();

    // Each appends one whole record and returns true once it is written; on false the file is as
    // it was before the call and the caller must not delete. What does not exist is nothing to
    // record (true, and nothing written). A key or value that cannot be read completely, or a
    // name the format cannot carry, is a failure.
    //
    // A file gives back the state before the first change of each object: an object this file
    // recorded already (the same key reached through another view, such as HKEY_CURRENT_USER and
    // HKEY_USERS\<SID>, or a key below one recorded whole) is not recorded again, since a later
    // record would hold what the repair left and, imported after the first, undo it. Objects
    // are compared by the registry's own name of their key. Keys are written under their names
    // as the registry holds them, letter case included, whatever case the caller's path has.
    //
    // A key that is a registry link, or holds one below it, is refused: the editor's format
    // cannot make a link, so its import would give back an ordinary key in its place.
    bool RecordKey(HKEY root, const std::string& path);
    // The value of the key the path leads to, following a link on the way or at its end as
    // the repair's own deletion does.
    bool RecordValue(HKEY root, const std::string& path, const std::string& name);
    // The default value as it is now; when the key has none, a record that deletes the value the
    // repair is about to create.
    bool RecordDefaultValue(HKEY root, const std::string& path);

    // The registry link that made the last record be refused; empty when it was not refused for
    // holding one.
    const LinkRefusal& Refusal() const { return refusal_; }
    // How many keys were refused for holding a registry link.
    int LinksRefused() const { return linksRefused_; }

private:
    bool Append(const std::wstring& text);

    UniqueKernelHandle file_;
    std::string path_;
    RegFileFlavor flavor_ = RegFileFlavor::Unicode5;
    int records_ = 0;
    bool lineBreakEscapes_ = false;
    unsigned long long size_ = 0;
    // What this file holds, by the registry's names in lower case: keys recorded whole, and
    // values as "key\nname".
    std::vector<std::wstring> keysDone_;
    std::set<std::wstring> valuesDone_;
    LinkRefusal refusal_;
    int linksRefused_ = 0;
};

// Reads an undo file (or any .reg file of either flavour).
bool ReadUndoFile(const std::string& path, RegFileFlavor& flavor, std::vector<RegFileKey>& keys);

struct UndoRecords {
    RegFileFlavor flavor = RegFileFlavor::Unicode5;
    std::vector<RegFileKey> keys;
};

// Why an undo file must not be imported: the first thing found in it that a repair never
// records. `key` names the key of a record; `name` the value.
struct UndoProblem {
    enum What {
        None,            // it may be imported
        Unreadable,      // the file cannot be read
        Changed,         // a record has no mark, or not its own (changed after the repair)
        DeletesKey,      // "[-key]"
        KeyNotRecorded,  // a key below no root a repair records
        DeletesValue,    // "name"=-
        DeletesDefault,  // "@=-" where the key's default value is more than a repair left
    } what = None;
    std::string key;
    std::string name;
};

// Whether the undo file at path may be imported. An undo file only puts back what a repair
// recorded: it holds additions only (no "[-key]" and no "=-" value, but the "@=-" of a
// default-value record, and only where the key's default value is now absent or the empty text
// a repair left), every key lies below one of the roots a repair records, and every record
// carries the mark the repair wrote after it, unchanged. Files written before records were
// marked have no mark at all: for them the marks are not asked for.
UndoProblem UndoFileProblem(const std::string& path, const UndoRecords& records);

// A key or value an undo should have put back and the registry does not hold as recorded.
struct NotRestored {
    std::string path;  // "HKEY_...\path" or "HKEY_...\path\name" ("@" for the default value)
    enum Why {
        Missing,       // not there (or, for a record that removes, still there)
        OtherName,     // the key is there under another letter case: `stored` is its name
        NoLongerLink,  // it was a registry link and is an ordinary key now
        OtherKind,     // the value is of another kind
        OtherData,     // the value holds other bytes
    } why = Missing;
    std::string stored;
};

// What the files, imported in the given order, should have put back and the registry does not
// hold now: each key that is missing, is not a registry link again although it was one, or has
// its name in another letter case, and each value that is missing or differs in kind or in any
// byte. Where records name the same object (through either view of a key), the file imported
// last stands, and within one file its first record of the object: a later record in the same
// file (written before undo files kept the state before the first change) is named when the
// import left it in place of the first.
std::vector<NotRestored> MissingAfterUndo(const std::vector<UndoRecords>& importOrder);

}  // namespace tw
