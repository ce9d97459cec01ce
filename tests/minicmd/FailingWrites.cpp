// Preloaded into the interpreter by tests only: the write (or the kernel's
// copy step) of a copy's content numbered N fails with the error
// TARVIK_FAIL_WRITE names ("ENOSPC 2", "EIO 1"), as a full or failing disk
// would fail it; with "=N" ("EIO =777") every write of N bytes fails, which
// picks the same files however the copies overlap. With
// TARVIK_REFUSE_DIRECT_LINK set, linking a file by its descriptor is refused
// as older kernels refuse it to most processes. The interpreter itself has
// no such switch.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

std::atomic<int> g_calls{0};

// A copy is written to an unnamed file, which /proc shows as "#<inode>
// (deleted)", or under its temporary name. The run's own unnamed files (what
// a line keeps for its turn) are open for reading too; a copy is write-only.
bool isCopy(int fd)
{
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length <= 0)
        return false;
    target[length] = '\0';
    if (std::strstr(target, "/.~minicmd") != nullptr)
        return true;
    constexpr char deleted[] = " (deleted)";
    const char* base = std::strrchr(target, '/');
    return base && base[1] == '#' && length > static_cast<ssize_t>(sizeof deleted) &&
           std::strcmp(target + length - (sizeof deleted - 1), deleted) == 0 &&
           (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY;
}

bool failsNow(int fd, size_t size)
{
    if (!isCopy(fd))
        return false;
    const char* plan = std::getenv("TARVIK_FAIL_WRITE");
    char name[16] = {};
    int at = 0;
    if (!plan)
        return false;
    if (std::sscanf(plan, "%15s =%d", name, &at) == 2) {
        if (size != static_cast<size_t>(at))
            return false;
    } else if (std::sscanf(plan, "%15s %d", name, &at) != 2 || ++g_calls != at) {
        return false;
    }
    errno = std::strcmp(name, "EIO") == 0 ? EIO : ENOSPC;
    return true;
}

} // namespace

extern "C" ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset)
{
    using Real = ssize_t (*)(int, const void*, size_t, off_t);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "pwrite"));
    return failsNow(fd, size) ? -1 : real(fd, buffer, size, offset);
}

// The kernel's copy writes too.
extern "C" ssize_t copy_file_range(int in, loff_t* inOffset, int out, loff_t* outOffset,
                                   size_t size, unsigned flags)
{
    using Real = ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "copy_file_range"));
    return failsNow(out, size) ? -1 : real(in, inOffset, out, outOffset, size, flags);
}

extern "C" ssize_t pwrite64(int fd, const void* buffer, size_t size, off_t offset)
{
    return pwrite(fd, buffer, size, offset);
}

extern "C" int linkat(int fromFd, const char* from, int toFd, const char* to, int flags)
{
    using Real = int (*)(int, const char*, int, const char*, int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "linkat"));
    if ((flags & AT_EMPTY_PATH) != 0 && std::getenv("TARVIK_REFUSE_DIRECT_LINK")) {
        errno = ENOENT;
        return -1;
    }
    return real(fromFd, from, toFd, to, flags);
}
