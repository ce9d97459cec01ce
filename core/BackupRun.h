#pragma once
// One backup run after the other, as the main window carries them out: each
// writes the backup script for the window's current values into the backup
// directory and has the shell open it. The object remembers the script it
// wrote last (ScriptFileName) so that the next run and the window's end can
// delete it. The main window owns one BackupRun for the life of the process.

#include "BackupScript.h"
#include "System.h"

#include <string>

namespace tarvik {

class BackupRun
{
  public:
    // The full path of the last script this object began to write; empty until
    // the first run that gets past the guard.
    const std::string& ScriptFileName() const { return m_scriptFileName; }

    // Deletes the previous script; stops silently when the backup directory
    // already holds "BK-" + today's date in the user's short date format
    // (slashes and backslashes removed); otherwise writes the script for `job`
    // (appending when a file of its name exists) and asks the shell to open it
    // with `owner` as the owner window. Raises UnsafeScriptText before any file
    // is created for a text that cannot go into a batch line, and FileError
    // when the script cannot be written; nothing is launched then.
    void RunBackup(const BackupJob& job, platform::WindowHandle owner);

    // Deletes the file named by ScriptFileName if there is one, once the
    // interpreter that runs it has ended; whether the deletion works is not
    // looked at. The window's end calls this.
    void deleteScript();

  private:
    std::string m_scriptFileName;
};

} // namespace tarvik
