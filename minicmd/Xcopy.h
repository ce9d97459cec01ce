#pragma once
// The interpreter's xcopy: copies the files of a folder that match a mask and
// changed on or after a date, optionally with every sub-folder.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarvik::minicmd {

class Console;
class ScriptFolders;

struct XcopyRequest
{
    std::string sourceFolder; // as written, "/" for the root
    std::string mask;
    std::string destination;
    bool subfolders = false;
    std::optional<std::time_t> since; // local midnight of the /D: date
};

// Local midnight at the start of a month-day-year date ("12-6-2026"), or
// nothing when the text is not such a date.
std::optional<std::time_t> parseXcopyDate(std::string_view text);

// Reads xcopy's arguments: "source[/mask] [destination] [/S] [/D:m-d-y]".
// Only /S and /D: at the end are switches, so a path that begins with "/" is
// a path. A source naming an existing folder copies all of its files. Returns
// the request, or the message that refuses the command.
std::variant<XcopyRequest, std::string> parseXcopy(const std::vector<std::string>& arguments);

// Runs the copy, reporting on `console`. Returns the number of failures;
// `matched` tells whether any file matched the mask (old ones included).
// With the script's `folders`, nothing is copied below a folder that an MD
// line refused, and a target folder an MD line made is kept no more open than
// its source folder.
int runXcopy(const XcopyRequest& request, Console& console, const ScriptFolders* folders = nullptr,
             bool* matched = nullptr);

} // namespace tarvik::minicmd
