// The report list saved as a text file: UTF-8 (with a byte-order mark, so that Notepad reads the
// Chinese right), a header line, then one Finding a line with the console scanner's columns:
// caption, location, key name, description, image index, separated by tabs. Inside a field the
// console scanner's escapes stand for a tab, a line break, a backslash and any other control
// character (\t, \r, \n, \\, \xHH), so that every line is one row and every row has five fields.
#pragma once
#include <string>
#include <vector>

#include "scanners/Finding.h"

namespace tw {

// The console scanner's escaping of one field (ANSI text).
std::string EscapeReportField(const std::string& text);
// Its reverse; false for a lone backslash or an unknown escape.
bool UnescapeReportField(const std::string& text, std::string& out);

// The whole file's bytes for the rows (ANSI texts in, UTF-8 out).
std::string ReportText(const std::vector<Finding>& findings);
// The rows of such a file (UTF-8 in, ANSI texts out). False when the file is not one: no header,
// a line without five fields, a bad escape or image index.
bool ParseReportText(const std::string& bytes, std::vector<Finding>& findings);
// Writes the file; false when it cannot be written completely.
bool WriteReportFile(const std::string& path, const std::vector<Finding>& findings);

}  // namespace tw
