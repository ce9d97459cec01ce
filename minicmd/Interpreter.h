#pragma once
// Runs a batch script held in memory, line by line, echoing each command
// before it runs it.

#include <string>
#include <string_view>

namespace tarvik::minicmd {

class Console;

// Runs every line of `script` (lines end in CR LF or LF). A line that is
// refused or fails is reported and the run goes on with the next one.
// Returns the number of failures.
int runScript(std::string_view script, Console& console);

// Runs one line; returns the number of failures.
int runLine(std::string_view line, Console& console);

} // namespace tarvik::minicmd
