#include "platform/NativeFile.h"
#include "platform/TextFile.h"
#include "platform/posix/CreatedFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::platform::native {
namespace {

// The Windows code a failure of the same kind gives there, which the messages
// the user sees are keyed on. Any errno without a Windows counterpart is
// passed on marked, and shows as "I/O error <errno>".
int windowsCode(int error, bool creating)
{
    switch (error) {
    case ENOENT:
        // Creating fails this way only when a folder on the path is missing.
        return creating ? fileCode::PathNotFound : fileCode::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return fileCode::PathNotFound;
    // A link, or anything else, in the place of a file that must be new or
    // must not be reached through a link.
    case EEXIST:
    case ELOOP:
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return fileCode::AccessDenied;
    case EMFILE:
    case ENFILE:
        return fileCode::TooManyOpenFiles;
    case ENOSPC:
    case EDQUOT:
        return fileCode::DiskFull;
    default:
        return fileCode::SystemErrorMark | error;
    }
}

} // namespace

int openTextFile(const std::string& path, OpenMode mode, std::intptr_t& handle)
{
    // Non-blocking for the open alone: a FIFO in the file's place, with no
    // reader, fails (ENXIO) instead of blocking the window for good. Never
    // through a symbolic link: in a folder others may write, a link would
    // send the lines into whatever file it names.
    const int flags = O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_CREAT | O_NOFOLLOW |
                      (mode == OpenMode::CreateNew ? O_EXCL : O_APPEND);
    // A new file is the backup script, often in a folder a group shares:
    // nobody else may change what is about to run as the user.
    const mode_t permissions = mode == OpenMode::CreateNew ? 0600 : 0666;
    int fd;
    do {
        fd = ::open(path.c_str(), flags, permissions);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return windowsCode(errno, true);
    // A second name of a file is a link too: another user could have given
    // one of the victim's files this name.
    struct stat info
    {};
    if (::fstat(fd, &info) != 0 || (S_ISREG(info.st_mode) && info.st_nlink > 1)) {
        ::close(fd);
        return fileCode::AccessDenied;
    }
    if (mode == OpenMode::CreateNew)
        noteCreatedFile(path, info);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle = fd;
    return fileCode::Ok;
}

int writeAll(std::intptr_t handle, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(static_cast<int>(handle), data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return windowsCode(errno, false);
        }
        // A write that takes nothing means the device is full, as it does for
        // the Windows run-time.
        if (written == 0)
            return fileCode::DiskFull;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return fileCode::Ok;
}

int closeFile(std::intptr_t handle)
{
    // Retrying close() after EINTR could close a descriptor another thread just
    // got; the descriptor is released either way.
    if (::close(static_cast<int>(handle)) != 0 && errno != EINTR)
        return windowsCode(errno, false);
    return fileCode::Ok;
}

} // namespace tarvik::platform::native
