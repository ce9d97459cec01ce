#pragma once
// Ctrl+C, a closed terminal window or a kill ends a run early; the run
// finishes its record first. The first such signal only asks the run to stop
// (copies check between chunks); a second one ends the process at once.

#include <csignal>

namespace tarvik::minicmd {

// Handles SIGINT, SIGTERM and SIGHUP from now on.
void handleInterruptions();

// The signal that asked the run to stop, 0 when none did.
int interruptingSignal();

// "SIGTERM" for SIGTERM.
const char* signalName(int signal);

// While one lives, threads started by the calling thread never take the
// signals that stop a run: those go to the thread that walks and asks
// questions, whose waits they must interrupt; a helper thread sees the
// request where it checks interruptingSignal().
class QuietThreads
{
  public:
    QuietThreads();
    ~QuietThreads();
    QuietThreads(const QuietThreads&) = delete;
    QuietThreads& operator=(const QuietThreads&) = delete;

  private:
    sigset_t m_before;
};

} // namespace tarvik::minicmd
