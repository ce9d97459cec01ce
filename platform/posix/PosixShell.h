#pragma once

#include "System.h"

namespace tarvik::platform {

// Shell execute on POSIX: a batch script goes to the command interpreter that
// ships with the program, a web address to the desktop's URL opener.
void posixShellExecute(WindowHandle owner, const char* verb, const char* file,
                       const char* parameters, const char* directory, int showCommand);

} // namespace tarvik::platform
