#include "app/Checklist.h"

#include "platform/FileSystem.h"
#include "platform/WineHost.h"

namespace tw {

namespace {

const ChecklistItem kRows[] = {
    {"扫描：错误的应用软件信息", "推荐", 17},
    {"扫描：错误的主程序菜单项", "推荐", 16},
    {"扫描：无效的鼠标右键菜单和无效的文件类型", "推荐", 11},
    {"扫描：错误的帮助文件", "推荐", 18},
    {"扫描：错误的动态连接库", "推荐", 11},
    {"扫描：错误的反安装信息", "推荐", 14},
    {"扫描：错误的字体信息", "推荐", 15},
    {"扫描：当前用户的错误信息", "推荐", 12},
    {"扫描：所有用户的错误信息", "推荐", 13},
    {"扫描：计算机的错误信息", "推荐", 10},
    {"扫描：磁盘文件错误", "多操作系统用户不推荐", 20},
    {"扫描：磁盘目录错误", "多操作系统用户不推荐", 19},
    {"扫描：所有受保护的系统文件并用正确的 Microsoft 版本替换不正确版本", "可选", 21},
    {"扫描：Wine 遗留的 Linux 桌面菜单和文件关联", "推荐", 20},
};

}  // namespace

std::string ChecklistCaption(int row) {
    return row >= 0 && row <= kRowWineDesktop ? kRows[row].caption : std::string();
}

std::vector<ChecklistItem> BuildChecklist(uint32_t majorVersion, const std::string& windowsDir) {
    std::vector<ChecklistItem> rows(kRows, kRows + kRowSystemFiles);
    if (majorVersion == 5 && FileExists(windowsDir + "\\system32\\sfc.exe")) rows.push_back(kRows[kRowSystemFiles]);
    for (size_t i = 0; i + 1 < rows.size(); ++i) rows[i].ticked = true;
    for (size_t i = 0; i < rows.size(); ++i) rows[i].row = i < kRowSystemFiles ? static_cast<int>(i) : kRowSystemFiles;
    if (!WineVersion().empty()) {
        ChecklistItem wine = kRows[kRowWineDesktop];
        wine.ticked = true;
        wine.row = kRowWineDesktop;
        rows.insert(rows.begin() + kRowSystemFiles, wine);
    }
    return rows;
}

int ChecklistIndexOf(const std::vector<ChecklistItem>& rows, ChecklistRow row) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].row == row) return static_cast<int>(i);
    return -1;
}

}  // namespace tw
