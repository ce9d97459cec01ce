#pragma once
// Copies one file's content into a folder without ever leaving a truncated
// file under the real name, and without ever calling a file copied that
// changed while it was being read.

#include <cstdint>
#include <functional>
#include <string>
#include <sys/stat.h>

namespace tarvik::minicmd {

// Why a copy failed: the reason (strerror text, or the file having changed
// under the copy) and whether the failure was on the reading side.
struct CopyFailure
{
    std::string reason;
    bool reading = false;
    bool changed = false; // the source changed during both attempts
    explicit operator bool() const { return !reason.empty(); }
};

// What a finished copy holds, for the record that lets it be checked later:
// the size of the attempt that succeeded, the modification time the copy was
// given, and a hash of the content as it was written.
struct CopiedFile
{
    std::uint64_t bytes = 0;
    struct timespec modified
    {};
    std::string hash; // ContentHash::text()
};

// Told how many bytes of the current file are in place so far.
using CopyProgress = std::function<void(std::uint64_t done)>;

// Copies the regular file open as `sourceFd` (described by `info`, taken
// before it was opened) into the folder open as `folderFd`, under `name`. The
// content goes to a temporary name in that folder first and is renamed over
// `name` only when complete and when the source's size and modification time
// after the copy still match those before it (one more attempt is made when
// they do not). A source that is not the file `info` describes (its name
// swapped meanwhile) fails as changed, with no second attempt. Holes of a
// sparse source stay holes. The copy keeps the
// source's modification time, and its permission bits less those the umask
// takes away, as a new file of the user's does. Where the folder gives new
// files a group other than the source's (`filesGroup`, as a shared folder
// that passes its group on does), the copy gets the source's group, or no
// group bits when it cannot: its group's members could not read the source. With `copied`, the
// content is hashed from the bytes on their way through (the kernel does not copy on its own then),
// and `copied` describes the copy made.
CopyFailure copyFileInto(int sourceFd, const struct stat& info, int folderFd,
                         const std::string& name, const CopyProgress& progress = {},
                         CopiedFile* copied = nullptr, gid_t filesGroup = gid_t(-1));

// Removes the temporary file of a copy in progress, if any. Safe to call from
// a signal handler, so that an interrupted run leaves no stray files behind.
void removeUnfinishedCopy();

// Whether `name` is the temporary name of a copy in progress, and if so the
// process that writes it.
bool isTemporaryName(const std::string& name, long* writer = nullptr);

// Removes, from the folder open as `folderFd`, the temporary files of copies
// whose process has gone (a run killed outright cannot clean up after itself).
void removeAbandonedCopies(int folderFd);

} // namespace tarvik::minicmd
