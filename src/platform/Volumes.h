// What a drive letter stands for, beyond its drive type.
#pragma once
#include <string>

namespace tw {

// True when the drive of a root such as "Z:\" is the host's own root folder: under Wine a drive
// letter may map the Unix root "/", and walking it would crawl the host's files rather than a
// disk of the Windows system. Always false on Windows and for letters that map anything else.
bool IsHostRootDrive(const std::string& root);

}  // namespace tw
