// Reading the values and subkeys of one key the way the machine-wide scanners judge them: the
// window gets its turns while a long list is read, and a text the code page cannot hold exactly
// is marked, so that its look-alike never stands for another file.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "scanners/ScanSink.h"

namespace tw {

// The subkey names of root\path; the window gets its turns while a long list is read.
std::vector<std::string> SubKeysOf(HKEY root, const std::string& path, ScanSink& sink);

// A value and its text as a fresh read of that one value gives it; exact is false where the code
// page cannot hold the text.
struct GuardedText {
    std::string name;
    std::string text;
    bool exact = true;
};

// Every value of a key with its text as a fresh read of it would give it (empty when not text),
// read in one pass over the key instead of a fresh open per value (a round trip to the registry
// each). Only a text that the pass cannot give exactly (unconvertible characters after its end,
// data too large for the pass) is read again the old way.
std::vector<GuardedText> GuardedTextsOf(HKEY root, const std::string& path, ScanSink& sink);

}  // namespace tw
