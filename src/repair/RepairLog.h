// The repair log "Repair.log" in the data folder (platform/DataFolder.h): one INI section per
// repair, backup or restore, named after the moment it happened. The program only appends to it
// and deletes it.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace tw {

// Full path of the log: the data folder + "Repair.log" (never the current directory).
std::string RepairLogPath();
// Every log the history shows, oldest first: one that an older portable use left beside the
// program, when the data is kept elsewhere now and it is there, then this one.
std::vector<std::string> RepairLogPaths();

// Where clearing the history keeps the log it cleared: "Repair.log.bak" beside it.
std::string RepairLogBackupPath();

// What an entry records, its "行为". The action names are part of the log's format: they are the
// same whatever language the program speaks, so that every log stays readable to whatever reads
// it (the history window shows the file as stored).
enum class LogAction { Delete, NotRepaired, Uninstall, RepairAll, Backup, Restore, Undo };
// The name an action is stored under ("Delete", "未修复", ...).
const char* LogActionName(LogAction action);
// Every action, for those who read the names back.
constexpr LogAction kLogActions[] = {LogAction::Delete,    LogAction::NotRepaired, LogAction::Uninstall, LogAction::RepairAll,
                                     LogAction::Backup,    LogAction::Restore,     LogAction::Undo};
// The two keys of every entry as stored: the action's and the record's.
const char* LogActionKey();
const char* LogRecordKey();

// Appends one entry with the keys "行为" (action) and "记录" (record) and flushes the file.
// The section is "yyyy-mm-dd|<long time>"; when an entry of the same second is already there,
// " (2)", " (3)" ... is added so that no entry overwrites another. Control characters in either
// text are written as escapes (EscapeControlChars), so an entry never spans more than its own
// lines. False when any write failed.
bool WriteLog(LogAction action, const std::string& record);
// The same for a given local time (the entry's moment).
bool WriteLog(LogAction action, const std::string& record, const SYSTEMTIME& when);

// "yyyy-mm-dd|" + the time in the user's long time format, without the uniqueness suffix.
std::string LogSectionName(const SYSTEMTIME& when);

}  // namespace tw
