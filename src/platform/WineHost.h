// What a program running under Wine can learn of the Linux host it runs on: whether it is Wine
// at all, and the mapping between the host's Unix paths and the Windows paths the file calls
// accept. Wine's calls are looked up at run time: on Windows they do not exist, and the program
// must still load there.
#pragma once
#include <string>

namespace tw {

// Wine's version ("8.0") from ntdll's wine_get_version, through the seam; empty when the
// program does not run under Wine.
std::string WineVersion();

// A host path ("/home/u/.local/share", in the ANSI code page) as a Windows path through Wine's
// drive mapping ("Z:\home\u\.local\share"); empty when not under Wine, when the text is no
// absolute Unix path, or when the code page cannot hold the answer exactly.
std::string DosPathOfUnix(const std::string& unixPath);
// A Windows path as the host's Unix path; empty when it cannot be told exactly.
std::string UnixPathOfDos(const std::string& dosPath);

// An environment variable's value, exact in the ANSI code page; empty when unset or when the
// code page cannot hold it.
std::string EnvironmentText(const char* name);

}  // namespace tw
