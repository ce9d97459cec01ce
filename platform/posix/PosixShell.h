#pragma once

#include "platform/System.h"

#include <chrono>
#include <string>
#include <vector>

namespace tarvik::platform {

// Shell execute on POSIX: "open" on a batch script (.bat or .cmd) starts the
// command interpreter that ships with the program on it; "open" on anything
// else (a web address above all) goes to the desktop's opener, xdg-open.
// Nothing is reported back, except that a script whose interpreter cannot be
// found or started, or has not confirmed within kScriptReadBound that it read
// the script, raises std::runtime_error with a message for the user:
// otherwise "Run Backup" would copy nothing and say nothing. For a batch
// script, `parameters` lists (one a line) the source folders that were not
// found and so are not in the script; the interpreter names them in its run.
void posixShellExecute(WindowHandle owner, const char* verb, const char* file,
                       const char* parameters, const char* directory, int showCommand);

// How long shell execute waits for the interpreter to confirm that it has the
// whole script in memory. Past it the program tells the user and carries on,
// so a terminal or interpreter that cannot start never freezes the window for
// long.
inline constexpr std::chrono::milliseconds kScriptReadBound{10'000};

// The pieces, for tests and for callers that need to know more.

// The interpreter beside `modulePath` (the program's executable), else the
// first on PATH; "" when there is none.
std::string findInterpreter(const std::string& modulePath);

// The command that runs a program in a terminal window of its own, with the
// program's argv to be appended: $TERMINAL, x-terminal-emulator, then common
// emulators. Empty when no display is set ($DISPLAY, $WAYLAND_DISPLAY) or no
// emulator is found.
std::vector<std::string> terminalCommand();

// Starts the interpreter on `script` (in a terminal when one is available,
// otherwise detached with its output discarded) with `directory` as its
// working folder (the current one when null or empty), and waits at most
// `bound` until it has read the whole script. Returns true when it confirmed.
// Raises std::runtime_error when there is no interpreter, or when it (or the
// terminal) cannot be executed; the script is left as it is.
// The handshake happens in a folder tarvik-shell-<pid>-* under $TMPDIR; such
// folders left by a program that was killed are removed here. `missing` are
// the source folders left out of the script because they were not found.
bool openBatchScript(const std::string& script, const char* directory,
                     std::chrono::milliseconds bound = kScriptReadBound,
                     const std::vector<std::string>& missing = {});

} // namespace tarvik::platform
