// The words of the scan's question and report (scan/ScanDriver.h's ScanView), the same in the
// window and in the console.
#pragma once
#include <string>
#include <vector>

#include "scan/ScanDriver.h"

namespace tw {

// The question before a category that asks first on a system with several operating systems.
std::string MultiBootQuestion(ChecklistRow row);
// The categories that ended early, each with where and why; as an error message.
std::string EndedEarlyText(const std::vector<EndedEarly>& ended);

}  // namespace tw
