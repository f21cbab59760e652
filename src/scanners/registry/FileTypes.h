// The file-type and shell-verb scanner: walks the machine's file classes on a worker thread and
// reports extensions that lead nowhere and context-menu verbs whose command is empty or starts a
// program that does not exist.
#pragma once
#include <windows.h>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Threads.h"
#include "scanners/PacedStatus.h"
#include "scanners/PathCheck.h"
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// The program path of a verb's command line: quotes dropped, arguments after an extension cut
// off ("C:\Tools\app.exe" "%1" gives C:\Tools\app.exe). A pure text function; a command line no
// rule applies to comes back unchanged.
std::string ExtractCommandPath(const std::string& commandLine);

class FileTypeScan : public WorkerThread {
public:
    // The sink is called on this scanner's thread; started as a thread it is given a
    // HandOverSink, which carries its Findings to the UI thread in ordered batches.
    FileTypeScan(const ScanContext& ctx, ScanSink& sink);

    // Reads the class list once and runs the three passes over it, until a stop is requested.
    // A registry error (a command that is not text, say) ends the run: it is thrown to the
    // caller; the thread body swallows it.
    void ScanClasses();

protected:
    void Execute() override;

private:
    // What pass 1 learns about an extension key, kept for passes 2 and 3 so that no extension
    // key is opened three times.
    struct Extension {
        std::string name;
        bool opened = false;
        DWORD subKeys = 0;
        // The class the extension points to (its default value), read when pass 3 needs it.
        std::string target;
        std::string targetError;  // the read failed: pass 3 ends the run with this text
    };

    bool NextEntry(const std::string& name);
    // A whole key; missingProgram (when not empty) is the program whose absence made the row.
    void ReportFinding(const std::string& location, const std::string& description,
                       const std::string& missingProgram = std::string());
    void CheckExtension(Extension& ext);
    void CheckClassVerbs(const std::string& cls);
    void ReportVerb(const std::string& cls, const std::string& verb, const std::string& display,
                    const std::string& missingProgram);
    void CheckExtensionTarget(const Extension& ext);
    // A DefaultIcon whose default value names a file that is gone: a row for that value.
    void CheckDefaultIcon(const std::string& cls);
    // Every program under the "Applications" key: its verbs and its icon, as any class's.
    void CheckApplications(const std::string& applications);
    // Whether a verb's command is judged broken: empty, or a program with a drive path that is
    // definitely not there (missingProgram gets it).
    bool CommandBroken(const std::string& command, std::string& missingProgram);
    // Whether any verb under the shell key has a command that is not broken.
    bool HasWorkingVerb(const std::string& shellPath);
    PathState ProgramState(const std::string& path);
    bool ClassKeyExists(const std::string& target);

    OsFamily os_;
    ScanSink& sink_;
    PacedStatus status_;
    std::vector<std::string> classList_;
    std::unordered_set<std::string> classNamesUpper_;
    std::vector<Extension> extensions_;          // every extension of the class list, pass 1
    std::vector<const Extension*> extensionList_;  // those pass 3 examines, gathered in pass 2
    // Classes reported whole in pass 2, with how often (pass 3 reports a match that often).
    std::unordered_map<std::string, int> orphanCount_;
    std::unordered_map<std::string, PathState> programs_;  // judgements of programs in this run
    FolderListings iconFiles_;  // icons name the same few folders again and again
    DriveTypeCache drives_;
};

}  // namespace tw
