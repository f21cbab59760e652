#include "app/UndoWindow.h"

#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/FileDialog.h"
#include "platform/ListColumns.h"
#include "platform/LoadText.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/UndoFile.h"
#include "resource.h"
#include "strings.h"

namespace tw {

namespace {

unsigned long long Ticks(const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

std::string SizeText(unsigned long long bytes) {
    char buf[48];
    if (bytes < 1024 * 1024)
        snprintf(buf, sizeof buf, "%llu KB", (bytes + 1023) / 1024);
    else
        snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return buf;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "A" or "A" and "B" with the quotes, in the words of the language.
std::string QuotedFolders(const std::vector<std::string>& folders) {
    std::string text;
    for (const std::string& folder : folders)
        text = text.empty() ? LoadText(IDS_QUOTED, {folder}) : LoadText(IDS_QUOTED_AND, {text, folder});
    return text;
}

}  // namespace

std::vector<UndoFileInfo> UndoFilesOf(const std::vector<std::string>& folders) {
    std::vector<UndoFileInfo> out;
    const std::vector<std::string> paths = ListUndoFiles(folders);
    for (size_t i = paths.size(); i-- > 0;) {
        UndoFileInfo info;
        info.path = paths[i];
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(paths[i].c_str(), GetFileExInfoStandard, &data)) {
            info.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            info.written = data.ftLastWriteTime;
        }
        out.push_back(info);
    }
    return out;
}

UndoWindow::UndoWindow(HWND owner, std::vector<std::string> folders) : folders_(std::move(folders)) {
    if (Create(IDD_UNDO, owner)) Fill();
}

void UndoWindow::OnInit() {
    // The list and the lines about it take what the window gains; the buttons keep to the corner.
    SetAnchors({{IDC_UNDO_SUMMARY, kLeft | kTop | kRight},
                {IDC_UNDO_LIST, kAll},
                {IDC_UNDO_HINT, kLeft | kRight | kBottom},
                {IDC_UNDO_DAYS_LABEL, kLeft | kBottom},
                {IDC_UNDO_DAYS, kLeft | kBottom},
                {IDC_UNDO_DAYS_UNIT, kLeft | kBottom},
                {IDC_UNDO_REMOVE, kLeft | kBottom},
                {IDOK, kRight | kBottom},
                {IDC_UNDO_BROWSE, kRight | kBottom},
                {IDCANCEL, kRight | kBottom}});
    // As narrow as the template: the hint under the list stays on its one line.
    SetMinimumSize(0, 130);
    HWND list = Item(IDC_UNDO_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddListColumns(list, {{LoadText(IDS_UNDO_COLUMN_TIME), 150},
                          {LoadText(IDS_UNDO_COLUMN_FILE), 180},
                          {LoadText(IDS_UNDO_COLUMN_SIZE), 80}});
    SendMessageW(Item(IDC_UNDO_DAYS), EM_SETLIMITTEXT, 5, 0);
}

std::string UndoWindow::Summary() const {
    unsigned long long total = 0;
    for (const UndoFileInfo& f : files_) total += f.size;
    return LoadText(IDS_UNDO_SUMMARY, {QuotedFolders(folders_), files_.size(), SizeText(total)});
}

void UndoWindow::Fill() {
    files_ = UndoFilesOf(folders_);
    SetItemText(IDC_UNDO_SUMMARY, Summary());
    HWND list = Item(IDC_UNDO_LIST);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (const UndoFileInfo& file : files_) {
        // A file of another folder than the first says where it lies, after its name.
        const std::string name = FileName(file.path);
        const bool inFirst = file.path.compare(0, folders_[0].size(), folders_[0]) == 0;
        AddListRow(list, {LocalTimeText(file.written),
                          inFirst ? name : LoadText(IDS_UNDO_FILE_IN, {name, file.path.substr(0, file.path.size() - name.size())}),
                          SizeText(file.size)});
    }
    Select(0);
    EnableWindow(Item(IDOK), !files_.empty());
}

void UndoWindow::Select(int row) {
    if (row < 0 || row >= static_cast<int>(files_.size())) return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Item(IDC_UNDO_LIST), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void UndoWindow::SetDays(const std::string& text) { SetItemText(IDC_UNDO_DAYS, text); }

void UndoWindow::Finish(const std::string& path) {
    picked_ = path;
    done_ = true;
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void UndoWindow::UndoClick() {
    const int row = static_cast<int>(SendMessageW(Item(IDC_UNDO_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row >= 0 && row < static_cast<int>(files_.size())) Finish(files_[static_cast<size_t>(row)].path);
}

void UndoWindow::BrowseClick() {
    FileDialogRequest request;
    request.title = LoadText(IDS_UNDO_BROWSE_TITLE);
    request.folder = folders_[0];
    request.filters = {{LoadText(IDS_FILTER_UNDO), "*.reg"}};
    request.extension = "reg";
    std::string path;
    if (AskForFile(hwnd_, request, path)) Finish(path);
}

void UndoWindow::RemoveOldClick() {
    wchar_t text[16] = L"";
    GetDlgItemTextW(hwnd_, IDC_UNDO_DAYS, text, 16);
    const long days = wcstol(text, nullptr, 10);
    if (days < 1) {
        ShowMessage(hwnd_, LoadText(IDS_UNDO_ASK_DAYS), MB_OK | MB_ICONINFORMATION);
        return;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long age = static_cast<unsigned long long>(days) * 24ULL * 3600ULL * 10000000ULL;
    const unsigned long long cut = Ticks(now) > age ? Ticks(now) - age : 0;
    std::vector<const UndoFileInfo*> old;
    unsigned long long bytes = 0;
    for (const UndoFileInfo& f : files_)
        if (Ticks(f.written) != 0 && Ticks(f.written) < cut) old.push_back(&f), bytes += f.size;
    if (old.empty()) {
        ShowMessage(hwnd_, LoadText(IDS_UNDO_NONE_OLDER, {days}), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (ShowMessage(hwnd_, LoadText(IDS_UNDO_ASK_REMOVE, {old.size(), days, SizeText(bytes)}),
                    MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    int failed = 0;
    for (const UndoFileInfo* f : old)
        if (!DeleteFileA(f->path.c_str())) ++failed;
    Fill();
    if (failed > 0)
        ShowMessage(hwnd_, LoadText(IDS_UNDO_NOT_REMOVED, {failed, QuotedFolders(folders_)}),
                    MB_OK | MB_ICONERROR);
}

bool UndoWindow::RunModal(std::string& path) {
    if (!hwnd_) return false;
    RunModalLoop(Item(IDC_UNDO_LIST), done_);
    path = picked_;
    return !picked_.empty();
}

void UndoWindow::OnCommand(int id, int) {
    switch (id) {
        case IDOK: UndoClick(); break;
        case IDC_UNDO_BROWSE: BrowseClick(); break;
        case IDC_UNDO_REMOVE: RemoveOldClick(); break;
        case IDCANCEL: Finish(std::string()); break;
    }
}

void UndoWindow::OnNotify(const NMHDR& n) {
    if (n.idFrom == IDC_UNDO_LIST && n.code == NM_DBLCLK) UndoClick();
}

bool ChooseUndoFile(HWND owner, const std::vector<std::string>& folders, std::string& path) {
    UndoWindow window(owner, folders);
    return window.RunModal(path);
}

}  // namespace tw
