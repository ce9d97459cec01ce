#pragma once
// Runs a batch script held in memory, line by line, echoing each command
// before it runs it.

#include <functional>
#include <string>
#include <string_view>

namespace tarvik::minicmd {

class Console;
struct XcopyRequest;

// Told of each xcopy before it runs, and after it with its failures and
// whether any file matched its mask.
struct XcopyWatch
{
    std::function<void(const XcopyRequest&)> before;
    std::function<void(const XcopyRequest&, int failures, bool matched)> after;
};

// Runs every line of `script` (lines end in CR LF or LF). A line that is
// refused or fails is reported and the run goes on with the next one; a
// signal asking the run to stop ends it after the current line. Returns the
// number of failures.
int runScript(std::string_view script, Console& console, const XcopyWatch& watch = {});

// Runs one line; returns the number of failures.
int runLine(std::string_view line, Console& console, const XcopyWatch& watch = {});

} // namespace tarvik::minicmd
