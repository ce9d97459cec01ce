#pragma once
// Copies one file's content into a folder without ever leaving a truncated
// file under the real name.

#include <string>
#include <sys/stat.h>

namespace tarvik::minicmd {

// Copies the regular file open as `sourceFd` (described by `info`) into the
// folder open as `folderFd`, under `name`. The content goes to a temporary
// name in that folder first and is renamed over `name` when complete; the
// copy keeps the source's modification time and permission bits. Returns an
// empty string on success, otherwise the reason (strerror text) and whether
// the failure was on the reading side.
struct CopyFailure
{
    std::string reason;
    bool reading = false;
    explicit operator bool() const { return !reason.empty(); }
};

CopyFailure copyFileInto(int sourceFd, const struct stat& info, int folderFd,
                         const std::string& name);

// Removes the temporary file of a copy in progress, if any. Safe to call from
// a signal handler, so that an interrupted run leaves no stray files behind.
void removeUnfinishedCopy();

} // namespace tarvik::minicmd
