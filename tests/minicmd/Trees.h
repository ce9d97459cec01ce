#pragma once
// Folder trees of real files for the interpreter's tests.

#include <ctime>
#include <string>
#include <vector>

namespace testfiles {

// Local time of a calendar date and time of day.
std::time_t localTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Writes `content` to `path` (making its folders) and stamps it with `modified`.
void makeFile(const std::string& path, const std::string& content, std::time_t modified);

// Every file and folder below `root`, relative to it, sorted; folders end in
// "/", links in "@".
std::vector<std::string> listTree(const std::string& root);

// The modification time of `path` in whole seconds, -1 when missing.
std::time_t modifiedAt(const std::string& path);

// Text of a list for failure messages: one entry per line.
std::string listed(const std::vector<std::string>& entries);

} // namespace testfiles
