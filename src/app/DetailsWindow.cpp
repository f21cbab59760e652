#include "app/DetailsWindow.h"

#include <cstdio>
#include <vector>

#include "platform/LoadText.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "repair/RepairPlan.h"
#include "wording/RepairWording.h"
#include "strings.h"

namespace tw {

namespace {

// The most bytes of binary data the window shows.
const size_t kShownDataBytes = 256;

std::string KindText(FindingKind kind) {
    switch (kind) {
        case FindingKind::RegistryKey: return LoadText(IDS_DETAILS_KIND_KEY);
        case FindingKind::RegistryValue: return LoadText(IDS_DETAILS_KIND_VALUE);
        case FindingKind::RegistryDefaultValue: return LoadText(IDS_DETAILS_KIND_DEFAULT);
        case FindingKind::File:
        case FindingKind::HostFile: return LoadText(IDS_DETAILS_KIND_FILE);
        case FindingKind::Folder:
        case FindingKind::HostFolder: return LoadText(IDS_DETAILS_KIND_FOLDER);
        case FindingKind::ProductUninstall: return LoadText(IDS_DETAILS_KIND_PRODUCT);
        case FindingKind::Unspecified: break;
    }
    return LoadText(IDS_DETAILS_KIND_OTHER);
}

// The data a value row's value holds now, as text: strings as they are, numbers in decimal
// and hexadecimal, other data as bytes.
std::string ValueData(const Finding& f) {
    if (f.kind != FindingKind::RegistryValue && f.kind != FindingKind::RegistryDefaultValue) return {};
    Registry reg;
    reg.SetRootKey(RootFromCaption(f.caption));
    if (!reg.OpenKeyReadOnly(f.location)) return {};
    const std::string name = f.kind == FindingKind::RegistryValue ? f.keyName : std::string();
    for (const RegValue& v : reg.GetValues()) {
        if (v.name != name) continue;
        if (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ) {
            std::string text = v.data;
            for (char& c : text)
                if (c == '\0') c = ' ';
            while (!text.empty() && text.back() == ' ') text.pop_back();
            return text;
        }
        if (v.type == REG_DWORD && v.data.size() == 4) {
            unsigned long n = 0;
            for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<size_t>(i)]);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%lu (0x%08lx)", n, n);
            return buf;
        }
        std::string hex;
        for (size_t i = 0; i < v.data.size() && i < kShownDataBytes; ++i) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%02x ", static_cast<unsigned char>(v.data[i]));
            hex += buf;
        }
        if (v.data.size() > kShownDataBytes) hex += "...";
        return hex;
    }
    return {};
}

std::string WhyReported(const Finding& f) {
    if (f.missingPaths.empty()) return LoadText(IDS_DETAILS_NO_PATH);
    std::string text;
    switch (f.missingRule) {
        case Finding::Missing::NoFile: text = LoadText(IDS_DETAILS_RULE_NO_FILE); break;
        case Finding::Missing::NoProgram: text = LoadText(IDS_DETAILS_RULE_NO_PROGRAM); break;
        case Finding::Missing::Nothing: text = LoadText(IDS_DETAILS_RULE_NOTHING); break;
    }
    for (const std::string& path : f.missingPaths) text += "\r\n    " + path;
    return text;
}

// A line of what would go on one line of the box: its own line breaks written as \r and \n.
std::string EscapeLineBreaks(const std::string& line) {
    std::string out;
    for (char c : line) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// Line breaks as the edit box shows them.
std::string WithCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

}  // namespace

std::string DetailsText(const Finding& f, const std::string& mark, const std::string& plan) {
    std::string data = ValueData(f);
    if (data.empty()) data = LoadText(IDS_DETAILS_DATA_NONE);
    const std::string outcome = mark.empty() ? std::string() : LoadText(IDS_DETAILS_OUTCOME, {mark});
    return WithCrLf(LoadText(IDS_DETAILS_TEXT, {f.caption, f.location, f.keyName, f.description, KindText(f.kind),
                                                data, outcome, WhyReported(f), plan}));
}

std::string RepairPlanText(const Finding& f, const IgnoreList* ignored, OsFamily os) {
    RepairPlanner planner(ignored, os);
    const RepairPlan plan = planner.Plan(f, RepairPlanner::WhatGoes);
    std::string text = PlannedOutcomeText(plan.outcome);
    if (!plan.why.empty()) text += "\r\n" + plan.why;
    // The lines as the dry run lists them, without the console's escapes of its own format
    // (a line break inside a name still shows as \n).
    if (plan.outcome == RepairOutcome::Repaired)
        for (const std::string& line : plan.goes) text += "\r\n    " + EscapeLineBreaks(line);
    return text;
}

DetailsWindow::DetailsWindow(HWND owner, const std::string& text, bool canRepair, bool canIgnore)
    : owner_(owner), text_(text), canRepair_(canRepair), canIgnore_(canIgnore) {
    Create(IDD_DETAILS, owner);
}

void DetailsWindow::OnInit() {
    SetIcons(IDI_APP);
    SetAnchors({{IDC_DETAILS_TEXT, kAll},
                {IDC_DETAILS_REPAIR, kLeft | kBottom},
                {IDC_DETAILS_IGNORE, kLeft | kBottom},
                {IDC_DETAILS_OPEN, kLeft | kBottom},
                {IDCANCEL, kRight | kBottom}});
    SetMinimumSize(250, 120);
    SetItemText(IDC_DETAILS_TEXT, text_);
    EnableWindow(Item(IDC_DETAILS_REPAIR), canRepair_);
    EnableWindow(Item(IDC_DETAILS_IGNORE), canIgnore_);
}

DetailsChoice DetailsWindow::Run() {
    if (!hwnd_) return DetailsChoice::Close;
    const bool ownerWasEnabled = owner_ && IsWindowEnabled(owner_);
    if (ownerWasEnabled) EnableWindow(owner_, FALSE);
    RunModalLoop(Item(IDCANCEL), done_);
    // The owner takes the keyboard back before this window goes, so that it stays in front.
    if (ownerWasEnabled) EnableWindow(owner_, TRUE);
    ShowWindow(hwnd_, SW_HIDE);
    return choice_;
}

void DetailsWindow::OnCommand(int id, int code) {
    if (code != BN_CLICKED && id != IDCANCEL) return;
    switch (id) {
        case IDC_DETAILS_REPAIR: choice_ = DetailsChoice::Repair; break;
        case IDC_DETAILS_IGNORE: choice_ = DetailsChoice::Ignore; break;
        case IDC_DETAILS_OPEN: choice_ = DetailsChoice::Open; break;
        case IDCANCEL: choice_ = DetailsChoice::Close; break;
        default: return;
    }
    done_ = true;
}

}  // namespace tw
