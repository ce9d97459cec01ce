#include "FileCopy.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
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
    return ".~minicmd" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

// Plain read/write for file systems the kernel cannot copy between.
CopyFailure copyByReading(int from, int to, off_t offset)
{
    std::vector<char> buffer(256 * 1024);
    if (::lseek(from, offset, SEEK_SET) < 0 || ::lseek(to, offset, SEEK_SET) < 0)
        return {std::strerror(errno), true};
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0)
            return {};
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {std::strerror(errno), true};
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return {std::strerror(errno), false};
            }
            done += put;
        }
    }
}

CopyFailure copyContent(int from, int to, off_t size)
{
    off_t copied = 0;
    // Ask the kernel to copy (sharing extents where the file system can);
    // stop at the size seen, or earlier when the file shrank meanwhile.
    while (copied < size) {
        const ssize_t moved =
            ::copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(size - copied), 0);
        if (moved > 0) {
            copied += moved;
            continue;
        }
        if (moved == 0)
            return {};
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
            errno == EBADF || errno == EPERM)
            return copyByReading(from, to, copied);
        const int code = errno;
        // EIO and friends cannot be told apart by side; EFBIG/ENOSPC/EDQUOT are the writer's.
        const bool writing = code == ENOSPC || code == EDQUOT || code == EFBIG;
        return {std::strerror(code), !writing};
    }
    // Files whose size the kernel reports as 0 (or that grew) may hold more.
    if (size == 0)
        return copyByReading(from, to, 0);
    return {};
}

} // namespace

CopyFailure copyFileInto(int sourceFd, const struct stat& info, int folderFd,
                         const std::string& name)
{
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

    CopyFailure failure = copyContent(sourceFd, to, info.st_size);
    if (!failure) {
        const timespec times[2] = {info.st_atim, info.st_mtim};
        if (::futimens(to, times) != 0)
            failure = {std::strerror(errno), false};
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

void removeUnfinishedCopy()
{
    if (g_unfinished.active)
        ::unlinkat(g_unfinished.folderFd, g_unfinished.name, 0);
}

} // namespace tarvik::minicmd
