#include "minicmd/FileCopy.h"

#include "minicmd/ContentHash.h"
#include "minicmd/CopyNames.h"
#include "minicmd/CopyRange.h"
#include "minicmd/Interruption.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

// Only the data regions of a file with holes; the holes are left unwritten
// and the size is set at the end. Nothing when the file system cannot tell
// data from holes, so the caller copies everything.
std::optional<CopyFailure> copySparse(int from, int to, off_t size, const CopyProgress& progress,
                                      ContentHash* hash)
{
    off_t offset = 0;
    while (offset < size) {
        const off_t data = ::lseek(from, offset, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break; // only a hole is left
            if (offset == 0)
                return std::nullopt;
            return CopyFailure{std::strerror(errno), true};
        }
        if (data >= size)
            break;
        off_t hole = ::lseek(from, data, SEEK_HOLE);
        if (hole < 0)
            return CopyFailure{std::strerror(errno), true};
        hole = std::min(hole, size);
        if (hash)
            hash->addZeros(data - offset);
        if (CopyFailure failure = copyRange(from, to, data, hole, progress, hash))
            return failure;
        offset = hole;
    }
    if (hash)
        hash->addZeros(size - offset);
    if (::ftruncate(to, size) != 0)
        return CopyFailure{std::strerror(errno), false};
    return CopyFailure{};
}

// `copiedSize` is told the size of the copy: the source's as `info` gives
// it, unless the kernel reports no size for what the source holds.
CopyFailure copyContent(int from, int to, const struct stat& info, const CopyProgress& progress,
                        ContentHash* hash, off_t& copiedSize)
{
    if (hash)
        hash->reset();
    const off_t size = copiedSize = info.st_size;
    // Files whose size the kernel reports as 0 may still hold something.
    if (size == 0)
        return copyByReading(from, to, 0, -1, progress, hash, &copiedSize);
    // Fewer blocks than the size needs: there are holes worth keeping.
    if (info.st_blocks * 512 < size) {
        if (std::optional<CopyFailure> sparse = copySparse(from, to, size, progress, hash))
            return *sparse;
    }
    return copyRange(from, to, 0, size, progress, hash);
}

// Read while the process is still one thread: reading the umask sets it.
const mode_t kUmask = [] {
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}();

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameState(const struct stat& a, const struct stat& b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Where a copy is written until it is complete: an unnamed file where the
// folder's file system makes one (no rename, no stray file after a kill),
// else a temporary name.
struct CopyTarget
{
    int fd = -1;
    std::string temporary; // "" while unnamed
    UnfinishedCopy unfinished;
};

// Naming an unnamed file goes through /proc, which a chroot may lack.
bool canNameUnnamedFiles()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Makes a file under a fresh temporary name, by `make` (false with errno
// set), trying another name while one is taken. The name is tracked before
// the file exists: a kill in between must not leave it behind.
template <class Make> CopyFailure underTemporaryName(int folderFd, CopyTarget& target, Make&& make)
{
    int code = EEXIST;
    for (int attempt = 0; attempt < 100 && code == EEXIST; ++attempt) {
        target.temporary = temporaryName();
        target.unfinished.track(folderFd, target.temporary);
        if (make())
            return {};
        code = errno;
        target.unfinished.release();
    }
    target.temporary.clear();
    return {std::strerror(code), false};
}

CopyFailure createTemporary(int folderFd, mode_t mode, CopyTarget& target)
{
    return underTemporaryName(folderFd, target, [&] {
        target.fd = ::openat(folderFd, target.temporary.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        return target.fd >= 0;
    });
}

// An unnamed file linked in when complete costs the kernel more than a create
// under the final name (on ext4 about a sixth more for a small file, as much
// as a temporary name and a rename): the price of a copy that never has its
// name before it is whole and leaves nothing behind when the run is killed.
CopyFailure createTarget(int folderFd, mode_t mode, CopyTarget& target)
{
    if (canNameUnnamedFiles()) {
        target.fd = ::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (target.fd >= 0)
            return {};
        // Only a file system (or kernel) without unnamed files is worked around.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return {std::strerror(errno), false};
    }
    return createTemporary(folderFd, mode, target);
}

// Links the unnamed file `fd` into the folder as `name`: by the descriptor
// itself where the kernel allows it (recent kernels, for a file the process
// made; older ones only to a process that may search any folder), else
// through /proc, whose lookup costs about as much as the link. The first
// refusal is remembered.
bool linkUnnamed(int fd, int folderFd, const char* name)
{
    static std::atomic<bool> direct{true};
    if (direct.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", folderFd, name, AT_EMPTY_PATH) == 0)
            return true;
        if (errno != ENOENT && errno != EPERM)
            return false;
        direct.store(false, std::memory_order_relaxed);
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), folderFd, name, AT_SYMLINK_FOLLOW) == 0;
}

// Gives the complete unnamed copy a name: `name` itself when it is free, else
// a temporary name that is then renamed over the older file. Sets `linked`
// when the copy carries `name` already.
CopyFailure nameCopy(int folderFd, const std::string& name, CopyTarget& target, bool& linked)
{
    if (linkUnnamed(target.fd, folderFd, name.c_str())) {
        linked = true;
        return {};
    }
    if (errno != EEXIST)
        return {std::strerror(errno), false};
    return underTemporaryName(folderFd, target, [&] {
        return linkUnnamed(target.fd, folderFd, target.temporary.c_str());
    });
}

} // namespace

CopyFailure copyFileInto(int sourceFd, const struct stat& info, int folderFd,
                         const std::string& name, const CopyProgress& progress, CopiedFile* copied,
                         gid_t filesGroup)
{
    std::optional<ContentHash> hash;
    if (copied)
        hash.emplace();
    const mode_t mode = info.st_mode & 0777;
    const bool regroup = (mode & 070) != 0 && filesGroup != gid_t(-1) && filesGroup != info.st_gid;
    CopyTarget target;
    if (CopyFailure failure = createTarget(folderFd, regroup ? mode & ~070 : mode, target))
        return failure;
    if (regroup && ::fchown(target.fd, uid_t(-1), info.st_gid) == 0)
        ::fchmod(target.fd, mode & ~kUmask);
    const bool unnamed = target.temporary.empty();

    // The state seen before the copy, against which the state after it is
    // held: a file written to meanwhile gets one more attempt, then is given up.
    struct stat before = info;
    off_t size = 0;
    // What the name led to when opened must be the file the walk looked at:
    // a name another user swapped meanwhile (for a link to a private file,
    // or a FIFO they write) is never copied. A file the walk saw empty is
    // read to its end, so it is looked at before; any other is read only as
    // far as its size, and looked at after.
    const CopyFailure changed{"changed while it was copied", true, true};
    CopyFailure failure = changed;
    bool swapped = false;
    if (info.st_size == 0) {
        struct stat opened
        {};
        if (::fstat(sourceFd, &opened) != 0)
            failure = {std::strerror(errno), true};
        else
            swapped = !S_ISREG(opened.st_mode) || !sameFile(info, opened);
    }
    for (int attempt = 0; attempt < 2 && failure.changed && !swapped; ++attempt) {
        if (attempt > 0) {
            if (::fstat(sourceFd, &before) != 0) {
                failure = {std::strerror(errno), true};
                break;
            }
            // The walk saw a file, but what its name led to when opened may
            // be a device put in its place since: its reading might not end.
            if (!S_ISREG(before.st_mode))
                break;
            if (::ftruncate(target.fd, 0) != 0) {
                failure = {std::strerror(errno), false};
                break;
            }
        }
        failure = copyContent(sourceFd, target.fd, before, progress, hash ? &*hash : nullptr, size);
        struct stat after
        {};
        if (!failure && ::fstat(sourceFd, &after) != 0)
            failure = {std::strerror(errno), true};
        else if (!failure && !sameFile(before, after))
            swapped = true;
        if (!failure && (swapped || !sameState(before, after)))
            failure = changed;
    }
    if (!failure) {
        const timespec times[2] = {before.st_atim, before.st_mtim};
        if (::futimens(target.fd, times) != 0)
            failure = {std::strerror(errno), false};
        else if (copied)
            *copied = {static_cast<std::uint64_t>(size), before.st_mtim, hash->text()};
    }
    bool linked = false;
    if (!failure && unnamed)
        failure = nameCopy(folderFd, name, target, linked);
    if (::close(target.fd) != 0 && !failure)
        failure = {std::strerror(errno), false};
    if (!failure && !linked &&
        ::renameat(folderFd, target.temporary.c_str(), folderFd, name.c_str()) != 0)
        failure = {std::strerror(errno), false};
    // A copy whose close failed may be incomplete, whatever name it has.
    if (failure && linked)
        ::unlinkat(folderFd, name.c_str(), 0);
    if (failure && !target.temporary.empty())
        ::unlinkat(folderFd, target.temporary.c_str(), 0);
    return failure;
}

} // namespace tarvik::minicmd
