// Products of the system's installer (MSI) as their uninstall entries and the installer's own
// records show them: which product an entry removes, and whether the product's files are gone.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <vector>

namespace tw {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hex digits, as the installer writes a code.
bool IsGuidText(const std::string& text);
// The installer's packed form of a code: the hex digits of the first three groups each in
// reverse order, those of the last two swapped pairwise, no braces or dashes, upper case.
// Empty when the text is not a code.
std::string PackedGuid(const std::string& guid);
// The product code an uninstall command hands to the installer ("MsiExec.exe /X{code}", also
// "/I", "-x", a blank or quote before the code); empty when the command is no such call.
std::string ProductCodeOfCommand(const std::string& command);

enum class EntryProduct { NoEntry, NotProduct, Product };
// What the uninstall entry at root\location is: gone, an entry of another uninstaller, or a
// product of the installer with its code (from its command, else its key name when the entry
// says WindowsInstaller=1). Entries the installer marks as parts of another product
// (SystemComponent=1) are not products here: that product's uninstaller removes them.
EntryProduct ProductOfEntry(HKEY root, const std::string& location, std::string& code);

// The key paths of the installer's component records (UserData\<user>\Components), by packed
// product code, read once when first asked for.
class ComponentPaths {
public:
    // The key paths of the product's components. False when the records could not be read
    // whole (a key or value unreadable): what is missing may be the one that is still there.
    bool Of(const std::string& packedProduct, std::vector<std::string>& paths);

private:
    void Load();
    bool loaded_ = false;
    bool whole_ = true;
    std::map<std::string, std::vector<std::string>> paths_;
};

// Whether the files of the uninstall entry's product are definitely gone: the folder its
// InstallLocation names, or (without one) every folder of its components' file key paths, is
// not there. Components whose key path is a shortcut or lies in the Start menu or on the
// desktop are not the product's files: a group of shortcuts stays when the program is deleted. `gone` gets the folders judged. False when any of them is there or cannot be
// judged (access denied, a text the code page cannot hold, a drive that is not fixed, records
// not read whole), or when nothing names the product's files.
bool ProductFilesGone(HKEY root, const std::string& location, const std::string& code,
                      ComponentPaths& components, std::vector<std::string>& gone);

// Whether the installer still keeps a record of the product (UserData\<user>\Products\<packed
// code>) for any user. True also when that cannot be told (records unreadable, not a code).
bool ProductRegistered(const std::string& code);

// What the installer's exit code means to the user, in a few words.
std::string InstallerExitText(DWORD code);
// Whether the code says the product was removed (also when a restart finishes the job).
bool InstallerRemoved(DWORD code);

}  // namespace tw
