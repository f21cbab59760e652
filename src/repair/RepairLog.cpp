#include "repair/RepairLog.h"

#include <cstdio>

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

namespace tw {

const char kLogName[] = "Repair.log";

// The log's format, which logs on users' disks already hold: the two keys of every entry and the
// names of its actions stay byte for byte what they are, in every language.
const char kActionKey[] = "行为";
const char kRecordKey[] = "记录";

const char* LogActionName(LogAction action) {
    switch (action) {
        case LogAction::Delete: return "删除";
        case LogAction::NotRepaired: return "未修复";
        case LogAction::Uninstall: return "卸载";
        case LogAction::RepairAll: return "全部修复";
        case LogAction::Backup: return "备份注册表";
        case LogAction::Restore: return "恢复注册表";
        case LogAction::Undo: return "撤销修复";
    }
    return "";
}

std::string RepairLogPath() { return DataFolder() + kLogName; }

std::vector<std::string> RepairLogPaths() {
    std::vector<std::string> paths;
    const std::string older = OlderDataFile(kLogName);
    if (!older.empty() && FileExists(older)) paths.push_back(older);
    paths.push_back(RepairLogPath());
    return paths;
}

std::string RepairLogBackupPath() { return RepairLogPath() + ".bak"; }

std::string LogSectionName(const SYSTEMTIME& when) {
    char date[16];
    snprintf(date, sizeof date, "%04u-%02u-%02u", static_cast<unsigned>(when.wYear),
             static_cast<unsigned>(when.wMonth), static_cast<unsigned>(when.wDay));
    char time[80] = {};
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &when, nullptr, time, sizeof time) == 0) {
        // Without a locale answer the entry still needs its moment.
        snprintf(time, sizeof time, "%u:%02u:%02u", static_cast<unsigned>(when.wHour),
                 static_cast<unsigned>(when.wMinute), static_cast<unsigned>(when.wSecond));
    }
    return std::string(date) + "|" + time;
}

bool WriteLog(LogAction action, const std::string& record, const SYSTEMTIME& when) {
    try {
        IniFile log(RepairLogPath());
        const std::string base = LogSectionName(when);
        // Entries of one second would otherwise share a section and the later one would
        // replace the earlier: every entry gets a section of its own.
        std::string section = base;
        for (int n = 2; log.SectionExists(section); ++n) {
            if (n > 10000) return false;
            section = base + " (" + IntToStr(n) + ")";
        }
        // A line break in a name or a value's data would start forged entries of its own:
        // every entry stays on its two lines, whatever the texts hold.
        log.WriteString(section, kActionKey, LogActionName(action));
        log.WriteString(section, kRecordKey, EscapeControlChars(record));
        log.Flush();
        return true;
    } catch (...) {
        return false;
    }
}

bool WriteLog(LogAction action, const std::string& record) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return WriteLog(action, record, now);
}

}  // namespace tw
