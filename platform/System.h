#pragma once
// The seam between the program and the operating system for everything a test
// must be able to replace: the clock, the user's short date format, the
// executable's path, the shell and the start-up show command. The program
// reaches them only through platform::current(); tests install their own
// System with ScopedSystem.

#include "platform/CivilDate.h"
#include "platform/ScopedReplacement.h"

#include <string>

namespace tarvik::platform {

// The owner window of anything the shell shows itself: an HWND on Windows,
// unused elsewhere.
using WindowHandle = void*;

// Show commands as the shell and the start-up information carry them.
enum ShowCommand : int
{
    ShowNormal = 1,
    ShowMaximized = 3,
    ShowMinNoActive = 7,
    ShowDefault = 10,
};

class System
{
  public:
    virtual ~System() = default;

    // The local date and time of day, to the millisecond.
    virtual LocalDateTime now() = 0;
    virtual CivilDate today() { return now().date; }

    // `date` written in the user's short date format, with the locale's separator.
    virtual std::string shortDateText(const CivilDate& date) = 0;

    // Full path of the running executable.
    virtual std::string modulePath() = 0;

    // Asks the shell to apply `verb` to `file`. The result is not reported:
    // nothing the program does depends on it. The exceptions raise
    // std::runtime_error, so that "Run Backup" never fails in silence: a
    // batch script that is gone or is no longer the file this process wrote
    // there; on Windows one that cannot be held against change while it runs;
    // on POSIX one whose interpreter cannot be found or started, or does not
    // confirm in time that it read the script.
    virtual void shellExecute(WindowHandle owner, const char* verb, const char* file,
                              const char* parameters, const char* directory, int showCommand) = 0;

    // The show command the program's starter asked for.
    virtual int startupShowCommand() = 0;

    // Whether the command interpreter that shellExecute last started on a
    // batch script still runs. Only Windows knows: its interpreter reads a
    // script by name, line by line, while it runs, so the script must stay
    // until it ends. Elsewhere the interpreter has read the whole script
    // before shellExecute returns, or shellExecute raised.
    virtual bool scriptRunning() { return false; }
};

// The System in force: the native one unless a ScopedSystem replaced it.
System& current();
System& native();

// Installs `replacement` as current() for its own lifetime.
using ScopedSystem = ScopedReplacement<System>;

} // namespace tarvik::platform
