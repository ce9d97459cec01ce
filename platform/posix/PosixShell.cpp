#include "PosixShell.h"

namespace tarvik::platform {

// Placeholder until the command interpreter lands: launching does nothing yet.
void posixShellExecute(WindowHandle, const char*, const char*, const char*, const char*, int) {}

} // namespace tarvik::platform
