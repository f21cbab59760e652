#include "app/RowCommands.h"

#include <string>
#include <vector>

#include "app/OpenLocation.h"
#include "app/ReportExport.h"
#include "platform/FileDialog.h"
#include "platform/LoadText.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "resource.h"
#include "strings.h"

namespace tw {

namespace {

// The longest part of a location the status line quotes.
const size_t kShownPathLimit = 120;

}  // namespace

void RowCommands::IgnoreSelected() {
    const int row = report_.SelectedRow();
    if (row < 0 || row >= findings_.Count()) return;
    const IgnoredObject object = IgnoredObject::Of(findings_.At(row));
    const bool saved = ignored_.Add(object);
    // Every row naming the object goes, not only the one clicked: the list shows no ignored
    // object and repair meets none.
    // The object as the ignore list holds it: a value row's value, not its whole key.
    const Finding& ignoredRow = findings_.At(row);
    const std::string location =
        ignoredRow.keyName.empty() ? ignoredRow.location : ignoredRow.location + "\\" + ignoredRow.keyName;
    const int removed =
        findings_.RemoveWhere([&object](const Finding& f) { return IgnoredObject::Of(f) == object; });
    report_.Reload();
    // The user sees that it happened, and the count of what is left.
    window_.SetStatus(LoadText(IDS_STATUS_IGNORED, {ShortForDisplay(location, kShownPathLimit), removed,
                                                    findings_.UnrepairedCount()}));
    const int rows = findings_.Count();
    report_.SelectRow(rows == 0 ? -1 : (row < rows ? row : rows - 1));
    if (findings_.UnrepairedCount() == 0) window_.SetRepairControls(false, true);
    if (ignoreWindow_ && ignoreWindow_->IsVisible()) ignoreWindow_->Show();
    if (!saved)
        ShowMessage(window_.OwnerWindow(),
                    "无法写入忽略列表文件“" + ignored_.Path() + "”，此项只在本次运行中被忽略。",
                    MB_OK | MB_ICONERROR);
}

void RowCommands::OpenSelected() {
    const int row = report_.SelectedRow();
    if (row < 0 || row >= findings_.Count()) return;
    const Finding f = findings_.At(row);
    if (!OpenLocation(f))
        ShowMessage(window_.OwnerWindow(),
                    "无法打开“" + f.location + "”：它所在的位置已不存在，或者无法启动" +
                        (f.OnDisk() ? "资源管理器。" : "注册表编辑器。"),
                    MB_OK | MB_ICONERROR);
}

void RowCommands::ExportReport() {
    FileDialogRequest request;
    request.save = true;
    request.title = "导出报告";
    request.fileName = "Tarnwell报告.txt";
    request.filters = {{"文本文件 (*.txt)", "*.txt"}, {"所有文件 (*.*)", "*.*"}};
    request.extension = "txt";
    std::string path;
    if (!AskForFile(window_.OwnerWindow(), request, path)) return;
    report_.CatchUp();
    std::vector<Finding> rows;
    rows.reserve(static_cast<size_t>(findings_.Count()));
    for (int i = 0; i < findings_.Count(); ++i) rows.push_back(findings_.At(i));
    if (!WriteReportFile(path, rows))
        ShowMessage(window_.OwnerWindow(), "导出失败！无法写入文件“" + path + "”。", MB_OK | MB_ICONERROR);
    else
        window_.SetStatus(LoadText(IDS_STATUS_EXPORTED, {path, rows.size()}));
}

void RowCommands::ShowIgnoreWindow() {
    if (!ignoreWindow_) ignoreWindow_.reset(new IgnoreWindow(window_.OwnerWindow(), ignored_));
    ignoreWindow_->Show();
}

void RowCommands::UpdatePopupItems(HMENU popup, bool scanIdle) {
    if (!popup) return;
    const int row = report_.SelectedRow();
    const bool has = row >= 0 && row < findings_.Count();
    std::wstring caption = AnsiToWide(has && findings_.At(row).OnDisk() ? "打开所在文件夹(&O)"
                                                                           : "在注册表编辑器中打开(&O)");
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_STRING;
    mi.dwTypeData = &caption[0];
    SetMenuItemInfoW(popup, IDM_POP_OPEN, FALSE, &mi);
    EnableMenuItem(popup, IDM_POP_OPEN, MF_BYCOMMAND | (has ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(popup, IDM_DETAILS, MF_BYCOMMAND | (has ? MF_ENABLED : MF_GRAYED));
    // What a double-click or Enter does is the popup's default item.
    SetMenuDefaultItem(popup, IDM_DETAILS, FALSE);
    EnableMenuItem(popup, IDM_POP_IGNORE, MF_BYCOMMAND | (has && scanIdle ? MF_ENABLED : MF_GRAYED));
}

}  // namespace tw
