// The hive reference scanner: walks one registry hive on a worker thread and reports every value
// whose name or string data names a file or directory on a fixed drive that no longer exists.
#pragma once
#include <windows.h>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Registry.h"
#include "platform/Threads.h"
#include "scanners/PacedStatus.h"
#include "scanners/PathCheck.h"
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// The file-system questions of the missing-path test. A scan keeps one instance that remembers
// the answers: a hive names the same files thousands of times (every class of a library, every
// verb of a program), and each question is a round trip to the file system. An instance made
// with remember = false asks the system every time.
class PathFacts {
public:
    explicit PathFacts(bool remember);
    // Whether the drive of a root such as "C:\" is a fixed disk.
    bool FixedDrive(const std::string& root);
    // File exists or directory exists. A path the system cannot test counts as existing: it is
    // never judged missing.
    bool Exists(const std::string& path);

private:
    bool Ask(const std::string& path);
    bool UnderMissingFolder(const std::string& path);

    bool remember_;
    UINT driveTypes_[26];
    bool driveKnown_[26];
    std::unordered_map<std::string, bool> exists_;
    // Folders found missing: a hive names many files in the folder of a program removed since,
    // and every one of them is missing without asking again.
    std::unordered_set<std::string> missingFolders_;
    std::string folder_;  // the folder being looked up, kept from question to question
    // The folders the hive names again and again, listed once: a folder that held the folders
    // of thousands of programs removed since answers for all of them.
    FolderListings listings_;
};

// The missing-path test: true when the text (a value's name or its trimmed string data), cut down
// to the path it names, is a path on a fixed drive C: to Z: that exists neither as a file nor as a
// directory. Commands with arguments, quoted paths and icon references are reduced first; icon
// references into windowsDir (no trailing backslash) are never reported. Never throws.
bool IsMissingPath(const std::string& text, const std::string& windowsDir);
// `candidate` (when given) gets the path found missing: the text cut down to what it names.
bool IsMissingPath(const std::string& text, const std::string& windowsDir, PathFacts& facts,
                   std::string* candidate = nullptr);

// Whether a key path (below the hive root, no leading backslash) lies in a subtree that the hive
// scan never enters: areas other scanners own, or that name files in ways this test misreads.
bool IsExcludedKeyPath(const std::string& keyPath);

// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE" or "HKEY_USERS"; empty for any other root.
std::string HiveRootName(HKEY root);

class HiveReferenceScan : public WorkerThread {
public:
    // The sink is called on this scanner's thread; a scanner started as a thread is given a
    // HandOverSink, which carries its Findings to the UI thread in ordered batches.
    HiveReferenceScan(const ScanContext& ctx, ScanSink& sink);

    // The hive to scan; set before Start, never changed afterwards.
    HKEY root = nullptr;

    // Scans every top-level key of the hive, in enumeration order, until a stop is requested.
    void ScanHive();
    // Scans one key (path below the hive root) and, depth first, its subtree.
    void ScanKey(const std::string& keyPath);
    bool IsMissingPath(const std::string& text) const;

protected:
    void Execute() override;

private:
    void ShowStatus(const std::string& keyPath);
    void ReportHit(const std::string& keyPath, const std::string& keyName, const std::string& description,
                   bool isDefault, const std::string& missingPath);
    // The path a text names when it is missing (the verdict remembered per text); null when the
    // text names nothing missing.
    const std::string* MissingCandidate(const std::string& text) const;
    // Scans the subkey name of the open key parent, known as keyPath below the hive root; the
    // first parentLength bytes of keyPath are the path of a key already found not excluded.
    void ScanKey(HKEY parent, const std::string& name, const std::string& keyPath, size_t parentLength);
    void ScanValues(const std::string& keyPath, const std::vector<RegValue>& values);

    std::string windowsDir_;
    ScanSink& sink_;
    mutable PathFacts facts_{true};
    struct Verdict {
        bool missing;
        std::string candidate;  // the path found missing
    };
    mutable std::unordered_map<std::string, Verdict> verdicts_;  // text -> verdict
    PacedStatus status_;
    // The enumeration buffers, reused from key to key, and the keys the walk stands in.
    RegKeyReader reader_;
    RegWalkPath walkPath_;
    // Texts of the value and key rules, kept from value to value.
    std::string data_, lowerPath_;

    // The status text being handed over; only this scanner's thread writes it.
    std::string statusText_;
    std::string rootName_;  // the hive's name in Findings and status texts, set as a scan starts
};

}  // namespace tw
