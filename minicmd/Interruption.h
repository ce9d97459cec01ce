#pragma once
// Ctrl+C, a closed terminal window or a kill ends a run early; the run
// finishes its record first. The first such signal only asks the run to stop
// (copies check between chunks); a second one ends the process at once.

namespace tarvik::minicmd {

// Handles SIGINT, SIGTERM and SIGHUP from now on.
void handleInterruptions();

// The signal that asked the run to stop, 0 when none did.
int interruptingSignal();

// "SIGTERM" for SIGTERM.
const char* signalName(int signal);

} // namespace tarvik::minicmd
