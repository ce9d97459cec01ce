#include "minicmd/ScriptFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarvik::minicmd {

std::string fileIdentity(const struct stat& info)
{
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
           std::to_string(info.st_uid);
}

ScriptRead readScript(const char* path, const std::string& expected, std::string& content,
                      int& code)
{
    // Not blocking: a FIFO put in the script's place would hang the open.
    const int flags = O_RDONLY | O_CLOEXEC | (expected.empty() ? 0 : O_NOFOLLOW | O_NONBLOCK);
    const int fd = ::open(path, flags);
    if (fd < 0) {
        code = errno;
        if (!expected.empty() && code == ELOOP)
            return ScriptRead::NotTheExpectedFile;
        return ScriptRead::Unreadable;
    }
    if (!expected.empty()) {
        struct stat info
        {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || fileIdentity(info) != expected) {
            ::close(fd);
            return ScriptRead::NotTheExpectedFile;
        }
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            code = errno;
            ::close(fd);
            return ScriptRead::Unreadable;
        }
        content.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return ScriptRead::Read;
}

} // namespace tarvik::minicmd
