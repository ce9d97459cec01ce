#pragma once
// The interpreter's xcopy: copies the files of a folder that match a mask and
// changed on or after a date, optionally with every sub-folder.

#include <cstddef>
#include <ctime>
#include <functional>
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

// Whether two copies can be served by one walk: they differ in their mask at
// most.
bool sharesWalk(const XcopyRequest& a, const XcopyRequest& b);

// The moments at which copies that share a walk take their turn to speak.
struct XcopyTurns
{
    // Before copy `index` says anything; the first's comes before the walk.
    std::function<void(std::size_t index)> start;
    // Once it said everything, with its failures and whether any file matched.
    std::function<void(std::size_t index, int failures, bool matched)> end;
};

// Runs `requests` (each sharing a walk with the first) over one walk of their
// source. Each does and says what it would if run after the one before it: a
// file that two masks match is copied for each, and what the later copies say
// is kept until the earlier ones said everything.
void runXcopies(const std::vector<XcopyRequest>& requests, Console& console,
                const ScriptFolders* folders, const XcopyTurns& turns);

} // namespace tarvik::minicmd
