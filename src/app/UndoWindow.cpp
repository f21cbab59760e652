#include "app/UndoWindow.h"

#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/FileDialog.h"
#include "platform/ListColumns.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/UiFont.h"
#include "repair/UndoFile.h"

namespace tw {

namespace {

const wchar_t kClass[] = L"TarnwellUndoWindow";
const int kWidth = 460, kHeight = 360, kMargin = 8, kButtonWidth = 90, kButtonHeight = 25;
const int kUndoId = IDOK, kCloseId = IDCANCEL, kBrowseId = 101, kRemoveId = 102, kDaysId = 103;

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

std::string TimeText(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME t;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return "?";
    char buf[48];
    snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return buf;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "“A”" or "“A”和“B”".
std::string QuotedFolders(const std::vector<std::string>& folders) {
    std::string text;
    for (const std::string& folder : folders) text += (text.empty() ? "“" : "和“") + folder + "”";
    return text;
}

HWND Child(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int id = 0, DWORD ex = 0) {
    return CreateWindowExW(ex, cls, AnsiToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
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
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterClassOnce({kClass});
    font_.reset(CreateUiFont());
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    if (CreateFor(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClass, AnsiToWide("撤销以前的修复").c_str(),
                  WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, x, y, kWidth, kHeight, owner)) {
        CreateChildren();
        Fill();
    }
}

UndoWindow::~UndoWindow() = default;

void UndoWindow::CreateChildren() {
    summary_ = Child(hwnd_, L"STATIC", "", SS_LEFT | SS_NOPREFIX);
    list_ = Child(hwnd_, WC_LISTVIEWW, "", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0,
                  WS_EX_CLIENTEDGE);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddListColumns(list_, {{"修复时间", 150}, {"撤销文件", 180}, {"大小", 80}});
    hint_ = Child(hwnd_, L"STATIC", "“撤销”恢复所选的修复和它以后的所有修复删除的内容，从最新的开始。",
                  SS_LEFT | SS_NOPREFIX);
    daysLabel_ = Child(hwnd_, L"STATIC", "删除", SS_LEFT);
    days_ = Child(hwnd_, L"EDIT", "", WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, kDaysId, WS_EX_CLIENTEDGE);
    SendMessageW(days_, EM_SETLIMITTEXT, 5, 0);
    daysUnit_ = Child(hwnd_, L"STATIC", "天以前的撤销文件", SS_LEFT);
    remove_ = Child(hwnd_, L"BUTTON", "删除", WS_TABSTOP | BS_PUSHBUTTON, kRemoveId);
    undo_ = Child(hwnd_, L"BUTTON", "撤销", WS_TABSTOP | BS_DEFPUSHBUTTON, kUndoId);
    browse_ = Child(hwnd_, L"BUTTON", "其他文件...", WS_TABSTOP | BS_PUSHBUTTON, kBrowseId);
    close_ = Child(hwnd_, L"BUTTON", "关闭", WS_TABSTOP | BS_PUSHBUTTON, kCloseId);
    const WPARAM font = reinterpret_cast<WPARAM>(font_.get());
    for (HWND w : {summary_, list_, hint_, daysLabel_, days_, daysUnit_, remove_, undo_, browse_, close_})
        SendMessageW(w, WM_SETFONT, font, FALSE);

    RECT rc;
    GetClientRect(hwnd_, &rc);
    const int w = rc.right, h = rc.bottom, m = kMargin;
    const int buttonsTop = h - m - kButtonHeight;
    const int daysTop = buttonsTop - m - kButtonHeight;
    const int hintTop = daysTop - m - 18;
    // Two lines: the summary names two folders when an older portable use left files too.
    const int listTop = m + 36;
    MoveWindow(summary_, m, m, w - 2 * m, 32, FALSE);
    MoveWindow(list_, m, listTop, w - 2 * m, hintTop - m - listTop, FALSE);
    MoveWindow(hint_, m, hintTop, w - 2 * m, 18, FALSE);
    MoveWindow(daysLabel_, m, daysTop + 5, 30, 18, FALSE);
    MoveWindow(days_, m + 32, daysTop + 1, 50, 22, FALSE);
    MoveWindow(daysUnit_, m + 88, daysTop + 5, 120, 18, FALSE);
    MoveWindow(remove_, m + 212, daysTop, kButtonWidth, kButtonHeight, FALSE);
    MoveWindow(close_, w - m - kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight, FALSE);
    MoveWindow(browse_, w - 2 * (m + kButtonWidth), buttonsTop, kButtonWidth, kButtonHeight, FALSE);
    MoveWindow(undo_, w - 3 * (m + kButtonWidth), buttonsTop, kButtonWidth, kButtonHeight, FALSE);
}

std::string UndoWindow::Summary() const {
    unsigned long long total = 0;
    for (const UndoFileInfo& f : files_) total += f.size;
    return "文件夹" + QuotedFolders(folders_) + "中有 " + IntToStr(static_cast<long long>(files_.size())) + " 个撤销文件，共 " +
           SizeText(total) + "。";
}

void UndoWindow::Fill() {
    files_ = UndoFilesOf(folders_);
    SetWindowTextW(summary_, AnsiToWide(Summary()).c_str());
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < files_.size(); ++i) {
        // A file of another folder than the first says where it lies, after its name.
        const std::string& path = files_[i].path;
        const std::string name = FileName(path);
        const bool inFirst = path.compare(0, folders_[0].size(), folders_[0]) == 0;
        const std::wstring texts[] = {AnsiToWide(TimeText(files_[i].written)),
                                      AnsiToWide(inFirst ? name : name + "（" + path.substr(0, path.size() - name.size()) + "）"),
                                      AnsiToWide(SizeText(files_[i].size))};
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(texts[0].c_str());
        const int at = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int sub = 1; sub < 3; ++sub) {
            LVITEMW s{};
            s.iSubItem = sub;
            s.pszText = const_cast<wchar_t*>(texts[sub].c_str());
            SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&s));
        }
    }
    Select(0);
    EnableWindow(undo_, !files_.empty());
}

void UndoWindow::Select(int row) {
    if (row < 0 || row >= static_cast<int>(files_.size())) return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void UndoWindow::SetDays(const std::string& text) { SetWindowTextW(days_, AnsiToWide(text).c_str()); }

void UndoWindow::Finish(const std::string& path) {
    picked_ = path;
    done_ = true;
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void UndoWindow::UndoClick() {
    const int row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row >= 0 && row < static_cast<int>(files_.size())) Finish(files_[static_cast<size_t>(row)].path);
}

void UndoWindow::BrowseClick() {
    FileDialogRequest request;
    request.title = "选择要撤销的修复";
    request.folder = folders_[0];
    request.filters = {{"撤销文件 (*.reg)", "*.reg"}};
    request.extension = "reg";
    std::string path;
    if (AskForFile(hwnd_, request, path)) Finish(path);
}

void UndoWindow::RemoveOldClick() {
    wchar_t text[16] = L"";
    GetWindowTextW(days_, text, 16);
    const long days = wcstol(text, nullptr, 10);
    if (days < 1) {
        ShowMessage(hwnd_, "请输入天数（至少 1 天）：早于这么多天以前的撤销文件将被删除。", MB_OK | MB_ICONINFORMATION);
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
    const std::string when = IntToStr(days) + " 天以前的撤销文件";
    if (old.empty()) {
        ShowMessage(hwnd_, "没有" + when + "。", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (ShowMessage(hwnd_, "将要删除 " + IntToStr(static_cast<long long>(old.size())) + " 个" + when + "（共 " +
                               SizeText(bytes) + "），那些修复以后就不能撤销了，确定吗？",
                    MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    int failed = 0;
    for (const UndoFileInfo* f : old)
        if (!DeleteFileA(f->path.c_str())) ++failed;
    Fill();
    if (failed > 0)
        ShowMessage(hwnd_, IntToStr(failed) + " 个撤销文件无法删除，它们仍在文件夹" + QuotedFolders(folders_) + "中。",
                    MB_OK | MB_ICONERROR);
}

bool UndoWindow::RunModal(std::string& path) {
    if (!hwnd_) return false;
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(list_);
    MSG msg;
    while (!done_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // the program's own loop ends too
            break;
        }
        if (got < 0) break;
        if (IsDialogMessageW(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    path = picked_;
    return !picked_.empty();
}

LRESULT UndoWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case kUndoId: UndoClick(); return 0;
                case kBrowseId: BrowseClick(); return 0;
                case kRemoveId: RemoveOldClick(); return 0;
                case kCloseId: Finish(std::string()); return 0;
            }
            return 0;
        case WM_NOTIFY: {
            const NMHDR* n = reinterpret_cast<const NMHDR*>(lp);
            if (n && n->hwndFrom == list_ && n->code == NM_DBLCLK) UndoClick();
            return 0;
        }
        case WM_CLOSE:
            Finish(std::string());
            return 0;
        case WM_NCDESTROY:
            summary_ = list_ = hint_ = undo_ = browse_ = close_ = daysLabel_ = days_ = daysUnit_ = remove_ = nullptr;
            break;
    }
    return WindowBase::OnMessage(msg, wp, lp);
}

bool ChooseUndoFile(HWND owner, const std::vector<std::string>& folders, std::string& path) {
    UndoWindow window(owner, folders);
    return window.RunModal(path);
}

}  // namespace tw
