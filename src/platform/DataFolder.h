// Where the user's data lives: the undo files ("Undo\"), the repair log ("Repair.log"), the
// ignore list ("Ignore.ini"), the registry backup ("Backup_Tw.reg") and the settings
// ("Set.ini"). A portable copy in a folder it can write keeps them beside itself, so that a copy
// on a USB stick carries its history along. An installed copy, and a copy whose folder it
// cannot write (Program Files for a limited user), keeps them per user in the Application Data
// folder, "Tarnwell". Data that an older portable use left beside such a copy is still read:
// nothing the user kept is lost on the way.
//
// A copy is installed when the setup's uninstall entry (HKEY_LOCAL_MACHINE
// "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwell") gives the program's folder as
// its "InstallLocation": a copy taken from there to another folder is portable again.
#pragma once
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tw {

enum class DataHome { BesideProgram, PerUser };

struct DataPlace {
    DataHome home = DataHome::BesideProgram;
    // Where the data is written, with its trailing backslash.
    std::string folder;
    // Read as well, after the data folder: the program's folder when the data is kept per user
    // (what an older portable use left there); empty otherwise.
    std::string older;
};

// The rule. programFolder ends with a backslash; appData is the user's Application Data folder,
// empty when the system cannot name it (the data then stays beside the program).
DataPlace ChooseDataPlace(bool installed, bool programFolderWritable, const std::string& programFolder,
                          const std::string& appData);

// Of a datum's file in the data folder and in the older folder (empty when there is none), the
// one to read: the data folder's when it is there, else the older one when that is there, else
// the data folder's (which does not exist yet). Once written, the data folder's copy wins.
std::string FileToRead(const std::string& current, const std::string& older,
                       bool (*exists)(const std::string& path) = &FileExists);

// This run's place, decided at the first call from the facts of the system; a per-user folder
// is made then. The same for the rest of the run.
const DataPlace& UserDataPlace();
// UserDataPlace().folder.
std::string DataFolder();
// The folders that may hold the user's data: the data folder, then the older one if any.
std::vector<std::string> DataFolders();
// The file `name` in the older folder; empty when there is none.
std::string OlderDataFile(const std::string& name);
// The file `name` to read (FileToRead of the data folder's and the older folder's).
std::string DataFileToRead(const std::string& name);

// Whether the setup's uninstall entry names this folder as its install location.
bool IsInstalledFolder(const std::string& folder);
// Whether a file can be made in the folder (made and removed at once).
bool FolderWritable(const std::string& folder);

}  // namespace tw
