#pragma once
// One backup run after the other, as the main window carries them out: each
// writes the backup script for the window's current values into the backup
// directory and has the shell open it. The object remembers the script it
// wrote last (ScriptFileName) so that the next run and the window's end can
// delete it. The main window owns one BackupRun for the life of the process.

#include "core/BackupScript.h"
#include "platform/System.h"

#include <stdexcept>
#include <string>

namespace tarvik {

// Raised when a run cannot go ahead for a reason the user can mend; nothing
// is written or launched then.
class RunRefused : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// What a "Run Backup" says while the previous script still runs.
inline constexpr const char* kStillRunning =
    "The previous backup is still running. Run Backup again once it has finished";

class BackupRun
{
  public:
    // The full path of the last script this object began to write; empty until
    // the first run that gets past the guard.
    const std::string& ScriptFileName() const { return m_scriptFileName; }

    // Raises RunRefused while the interpreter of the previous script still
    // runs (kStillRunning), so that a second click never waits for a backup.
    // Deletes the previous script; raises RunRefused when the backup
    // directory is empty; stops silently when the backup directory already
    // holds "BK-" + today's date in the user's short date format (slashes and
    // backslashes removed); otherwise writes the script for `job` and asks the
    // shell to open it with `owner` as the owner window. The script is always
    // a new file: whatever has its name is removed first, and when it cannot
    // be, RunRefused names it. Raises UnsafeScriptText before any file is
    // created for a text that cannot go into a batch line, and FileError when
    // the script cannot be written; nothing is launched then.
    void RunBackup(const BackupJob& job, platform::WindowHandle owner);

    // Deletes the file named by ScriptFileName if there is one and its
    // interpreter has ended; one still running keeps it (removeLeftoverScripts
    // of the next start takes it then). Never waits; whether the deletion
    // works is not looked at. The window's end calls this.
    void deleteScript();

    // Deletes the scripts an earlier run left in `backupDirectory`
    // ("backup", eight digits, ".bat") because the program ended while their
    // interpreter still ran. On Windows the running interpreter holds its
    // script against deletion, so a backup still going on keeps it. The
    // window's first show calls this.
    static void removeLeftoverScripts(const std::string& backupDirectory);

  private:
    std::string m_scriptFileName;
};

} // namespace tarvik
