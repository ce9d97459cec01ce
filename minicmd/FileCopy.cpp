#include "minicmd/FileCopy.h"

#include "minicmd/ContentHash.h"
#include "minicmd/Interruption.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace tarvik::minicmd {
namespace {

// The temporary file being written, for removeUnfinishedCopy(): plain data a
// signal handler may read.
struct Unfinished
{
    volatile std::sig_atomic_t active = 0;
    int folderFd = -1;
    char name[64] = {};
};
Unfinished g_unfinished;

void track(int folderFd, const std::string& temporary)
{
    g_unfinished.active = 0;
    g_unfinished.folderFd = folderFd;
    temporary.copy(g_unfinished.name, sizeof g_unfinished.name - 1);
    g_unfinished.name[std::min(temporary.size(), sizeof g_unfinished.name - 1)] = '\0';
    g_unfinished.active = 1;
}

std::string temporaryName()
{
    static std::atomic<unsigned> counter{0};
    // The interpreter never forks, so its process id is asked for once.
    static const std::string prefix = ".~minicmd" + std::to_string(::getpid()) + "-";
    return prefix + std::to_string(counter++) + ".tmp";
}

constexpr off_t kChunk = 8 << 20; // progress is told at least this often

// Given as the reason when a signal stopped the copy.
constexpr const char* kInterrupted = "the run was interrupted";

// Plain read/write for file systems the kernel cannot copy between: bytes
// [offset, end) of `from` to the same place in `to`; with `end` negative,
// up to the end of the file.
CopyFailure copyByReading(int from, int to, off_t offset, off_t end, const CopyProgress& progress,
                          ContentHash* hash)
{
    // One buffer for every copy: a fresh one per file cost a map, an unmap
    // and its page faults, more than a small file's content itself.
    constexpr std::size_t kBufferSize = 1 << 20;
    thread_local const std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    while (end < 0 || offset < end) {
        if (interruptingSignal())
            return {kInterrupted, false};
        const size_t want =
            end < 0 ? kBufferSize
                    : static_cast<size_t>(std::min<off_t>(end - offset, off_t(kBufferSize)));
        const ssize_t got = ::pread(from, buffer.get(), want, offset);
        if (got == 0)
            return {};
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {std::strerror(errno), true};
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                ::pwrite(to, buffer.get() + done, static_cast<size_t>(got - done), offset + done);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return {std::strerror(errno), false};
            }
            done += put;
        }
        if (hash)
            hash->add(buffer.get(), static_cast<size_t>(got));
        offset += got;
        if (progress)
            progress(static_cast<std::uint64_t>(offset));
    }
    return {};
}

// Bytes [offset, end) by the kernel (sharing extents where the file system
// can), stopping early when the file shrank meanwhile.
CopyFailure copyRange(int from, int to, off_t offset, off_t end, const CopyProgress& progress,
                      ContentHash* hash)
{
    // Hashing wants the bytes in hand, so they pass through here once.
    if (hash)
        return copyByReading(from, to, offset, end, progress, hash);
    while (offset < end) {
        if (interruptingSignal())
            return {kInterrupted, false};
        loff_t in = offset, out = offset;
        const ssize_t moved = ::copy_file_range(
            from, &in, to, &out, static_cast<size_t>(std::min(end - offset, kChunk)), 0);
        if (moved > 0) {
            offset += moved;
            if (progress)
                progress(static_cast<std::uint64_t>(offset));
            continue;
        }
        if (moved == 0)
            return {};
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
            errno == EBADF || errno == EPERM)
            return copyByReading(from, to, offset, end, progress, hash);
        const int code = errno;
        // EIO and friends cannot be told apart by side; EFBIG/ENOSPC/EDQUOT are the writer's.
        const bool writing = code == ENOSPC || code == EDQUOT || code == EFBIG;
        return {std::strerror(code), !writing};
    }
    return {};
}

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

CopyFailure copyContent(int from, int to, const struct stat& info, const CopyProgress& progress,
                        ContentHash* hash)
{
    if (hash)
        hash->reset();
    const off_t size = info.st_size;
    // Files whose size the kernel reports as 0 may still hold something.
    if (size == 0)
        return copyByReading(from, to, 0, -1, progress, hash);
    // Fewer blocks than the size needs: there are holes worth keeping.
    if (info.st_blocks * 512 < size) {
        if (std::optional<CopyFailure> sparse = copySparse(from, to, size, progress, hash))
            return *sparse;
    }
    return copyRange(from, to, 0, size, progress, hash);
}

bool sameState(const struct stat& a, const struct stat& b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool processIsGone(long pid)
{
    return pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
           errno == ESRCH;
}

// The bytes counted are those of the copy that is in place, whatever an
// earlier attempt or the size seen before the copy said.
void describeCopy(int fd, const timespec& modified, const ContentHash& hash, CopiedFile& copied)
{
    struct stat info
    {};
    copied.bytes = ::fstat(fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    copied.modified = modified;
    copied.hash = hash.text();
}

} // namespace

CopyFailure copyFileInto(int sourceFd, const struct stat& info, int folderFd,
                         const std::string& name, const CopyProgress& progress, CopiedFile* copied)
{
    std::optional<ContentHash> hash;
    if (copied)
        hash.emplace();
    std::string temporary;
    int to = -1;
    for (int attempt = 0; attempt < 100 && to < 0; ++attempt) {
        temporary = temporaryName();
        to = ::openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                      info.st_mode & 0777);
        if (to < 0 && errno != EEXIST)
            return {std::strerror(errno), false};
    }
    if (to < 0)
        return {std::strerror(EEXIST), false};
    track(folderFd, temporary);

    // The state seen before the copy, against which the state after it is
    // held: a file written to meanwhile gets one more attempt, then is given up.
    struct stat before = info;
    CopyFailure failure{"changed while it was copied", true, true};
    for (int attempt = 0; attempt < 2 && failure.changed; ++attempt) {
        if (attempt > 0 && (::fstat(sourceFd, &before) != 0 || ::ftruncate(to, 0) != 0)) {
            failure = {std::strerror(errno), true};
            break;
        }
        failure = copyContent(sourceFd, to, before, progress, hash ? &*hash : nullptr);
        struct stat after
        {};
        if (!failure && ::fstat(sourceFd, &after) != 0)
            failure = {std::strerror(errno), true};
        else if (!failure && !sameState(before, after))
            failure = {"changed while it was copied", true, true};
    }
    if (!failure) {
        const timespec times[2] = {before.st_atim, before.st_mtim};
        if (::futimens(to, times) != 0)
            failure = {std::strerror(errno), false};
        else if (copied)
            describeCopy(to, before.st_mtim, *hash, *copied);
    }
    if (::close(to) != 0 && !failure)
        failure = {std::strerror(errno), false};
    if (!failure && ::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0)
        failure = {std::strerror(errno), false};
    if (failure)
        ::unlinkat(folderFd, temporary.c_str(), 0);
    g_unfinished.active = 0;
    return failure;
}

bool isTemporaryName(const std::string& name, long* writer)
{
    // Exactly what temporaryName() makes: prefix, pid, "-", counter, suffix.
    constexpr std::string_view prefix = ".~minicmd", suffix = ".tmp";
    if (!name.starts_with(prefix) || !name.ends_with(suffix) ||
        name.size() < prefix.size() + suffix.size() + 3)
        return false;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size() - suffix.size();
    long pid = 0;
    unsigned long long counter = 0;
    const auto [dash, pidError] = std::from_chars(first, last, pid);
    if (pidError != std::errc() || dash == first || *first == '0' || pid <= 0 || dash == last ||
        *dash != '-')
        return false;
    const auto [end, counterError] = std::from_chars(dash + 1, last, counter);
    if (counterError != std::errc() || end != last || end == dash + 1 ||
        (dash[1] == '0' && end != dash + 2))
        return false;
    if (writer)
        *writer = pid;
    return true;
}

void removeAbandonedCopies(int folderFd)
{
    const int listing = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* folder = ::fdopendir(listing);
    if (!folder) {
        ::close(listing);
        return;
    }
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        long writer = 0;
        if (!isTemporaryName(name, &writer) || !processIsGone(writer))
            continue;
        // Only our own: in a shared folder another user's file of that name
        // is theirs to remove, also when we run as root.
        struct stat info
        {};
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            ::unlinkat(folderFd, name.c_str(), 0);
    }
    ::closedir(folder);
}

void removeUnfinishedCopy()
{
    if (g_unfinished.active)
        ::unlinkat(g_unfinished.folderFd, g_unfinished.name, 0);
}

} // namespace tarvik::minicmd
