// Repair's questions answered from a script (yes once it runs out), and every question and
// report heard by name, with what it carried: tests look at what the user would be asked and
// told, not at its words.
#pragma once
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "repair/RepairUi.h"

namespace tw::test {

struct ScriptedRepairUi : RepairUi {
    explicit ScriptedRepairUi(std::initializer_list<bool> script = {}) : answers(script) {}

    std::deque<bool> answers;
    std::vector<std::string> heard;  // each question and report by its name, in order
    // What the last of each carried.
    Finding row;
    std::string text;  // the path, folder, error or reason it named
    LinkRefusal refusal;
    ProductAnswer product;
    bool productRepaired = false;
    RepairCounts counts;
    EditorEnd end = EditorEnd::Done;
    unsigned long exitCode = 0;
    UndoProblem problem;
    std::vector<std::string> undoFiles;
    UndoResult undo;

    bool Heard(const std::string& name) const {
        for (const std::string& h : heard)
            if (h == name) return true;
        return false;
    }

    bool ConfirmRow(const Finding& f) override { return Ask("ConfirmRow", f); }
    void RowNotRecorded(const std::string& undoPath, const LinkRefusal& r) override {
        Tell("RowNotRecorded", undoPath);
        refusal = r;
    }
    void RowProtected(const Finding& f) override { Tell("RowProtected", f.location); }
    void RowNowPresent(const std::string& present) override { Tell("RowNowPresent", present); }
    void RowFailed(const std::string& error) override { Tell("RowFailed", error); }
    void HostRowNotRepaired(const Finding& f, const std::string& why) override {
        Tell("HostRowNotRepaired", why);
        row = f;
    }
    void ProductUninstalled(const ProductAnswer& answer, bool repaired) override {
        Tell("ProductUninstalled", answer.said);
        product = answer;
        productRepaired = repaired;
    }
    bool OfferBackup() override { return Ask("OfferBackup"); }
    bool ConfirmRepairAll() override { return Ask("ConfirmRepairAll"); }
    bool ConfirmRows(int) override { return Ask("ConfirmRows"); }
    void RepairAllDone(const RepairCounts& c, const std::string& undoPath) override {
        Tell("RepairAllDone", undoPath);
        counts = c;
    }
    void UndoFileNotMade(const std::string& folder) override { Tell("UndoFileNotMade", folder); }
    void BackupDone(EditorEnd e, const std::string& path) override {
        Tell("BackupDone", path);
        end = e;
    }
    void NoBackupToRestore(const std::string& path) override { Tell("NoBackupToRestore", path); }
    bool ConfirmRestore(const std::string&) override { return Ask("ConfirmRestore"); }
    void RestoreDone(EditorEnd e, unsigned long code) override {
        Tell("RestoreDone", std::string());
        end = e;
        exitCode = code;
    }
    void NoUndoFiles(const std::string& folder) override { Tell("NoUndoFiles", folder); }
    void UndoUnreadable(const std::string& path) override { Tell("UndoUnreadable", path); }
    void UndoRefused(const std::string& path, const UndoProblem& p) override {
        Tell("UndoRefused", path);
        problem = p;
    }
    bool ConfirmUndo(const std::vector<std::string>& newestFirst) override {
        undoFiles = newestFirst;
        return Ask("ConfirmUndo");
    }
    void UndoDone(const UndoResult& result) override {
        Tell("UndoDone", std::string());
        undo = result;
    }

private:
    bool Ask(const char* name, const Finding& f = Finding()) {
        heard.push_back(name);
        row = f;
        const bool yes = answers.empty() || answers.front();
        if (!answers.empty()) answers.pop_front();
        return yes;
    }
    void Tell(const char* name, const std::string& what) {
        heard.push_back(name);
        text = what;
    }
};

}  // namespace tw::test
