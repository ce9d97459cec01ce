#pragma once
// The whole backup script as the file holds it, for tests that compare or
// run it without a BackupRun around it.

#include "core/BackupScript.h"

#include <string>
#include <string_view>

namespace tarvik {

// The script for the sources that `isDirectory` accepts: every line followed
// by CR LF.
inline std::string BackupScript(const BackupJob& job, const DirectoryTest& isDirectory,
                                char separator = platform::kNativeSeparator)
{
    std::string script;
    writeBackupScript(
        job, isDirectory,
        [&](std::string_view line) {
            script += line;
            script += "\r\n";
        },
        separator);
    return script;
}

} // namespace tarvik
