#include "minicmd/Destination.h"

#include "minicmd/FileCopy.h"
#include "minicmd/Folders.h"
#include "minicmd/Leftovers.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path.empty() ? std::string(".") : path;
}

bool isAtOrBelow(const std::string& relative, const std::string& folder)
{
    return relative.starts_with(folder);
}

// Takes from the folder `fd` (described by `info`), if it is ours, every group
// and other permission bit that its source folder lacks. A folder whose group
// is not the source's (one made in a folder that passes its group on) is
// given the source's group, or loses its group bits where that group cannot
// be had. A file system without permission bits refuses the change; there is
// nothing to keep private on it.
void tighten(int fd, const struct stat& info, const SourceFolder& source)
{
    if (info.st_uid != ::geteuid())
        return;
    mode_t lacking = 077 & ~source.mode;
    if (source.group != gid_t(-1) && info.st_gid != source.group && (info.st_mode & 070) != 0 &&
        ::fchown(fd, uid_t(-1), source.group) != 0)
        lacking |= 070;
    if ((info.st_mode & lacking) != 0) {
        [[maybe_unused]] const int changed = ::fchmod(fd, info.st_mode & 07777 & ~lacking);
    }
}

} // namespace

DestinationFolders::DestinationFolders(std::string destination, const ScriptFolders* folders)
    : m_destination(withoutTrailingSlashes(std::move(destination))), m_folders(folders)
{}

DestinationFolders::~DestinationFolders()
{
    if (m_lastFd >= 0)
        ::close(m_lastFd);
    if (m_rootFd >= 0)
        ::close(m_rootFd);
}

std::string DestinationFolders::refusal() const
{
    return foreignFolderRefusal(m_destination);
}

FolderBase DestinationFolders::base() const
{
    return m_folders ? m_folders->baseFor(m_destination) : FolderBase(AT_FDCWD, m_destination);
}

void DestinationFolders::keepNoMoreOpenThan(const SourceFolder& source) const
{
    const FolderBase from = base();
    const int fd =
        from.refusal().empty() ? ::openat(from.fd(), from.relative().c_str(), kFolderFlags) : -1;
    if (fd < 0)
        return;
    struct stat info
    {};
    if (::fstat(fd, &info) == 0)
        tighten(fd, info, source);
    ::close(fd);
}

OpenedFolder DestinationFolders::openLevel(int parent, const std::string& name,
                                           const std::string& shownAs, mode_t sourceMode,
                                           bool& made) const
{
    made = false;
    OpenedFolder opened;
    opened.fd = ::openat(parent, name.c_str(), kFolderFlags);
    if (opened.fd < 0 && errno == ENOENT) {
        // Above the destination nothing stands for a source folder.
        if (const auto slash = name.rfind('/'); slash != std::string::npos && slash > 0)
            if (const int code = ensureFolder(name.substr(0, slash), parent); code != 0)
                return {-1, code, {}, false};
        // A folder open to others keeps its sticky bit: without it, anyone
        // who may write in the copy could delete or replace the copies in it.
        made = ::mkdirat(parent, name.c_str(), (sourceMode & (0777 | S_ISVTX)) | 0700) == 0;
        if (!made && errno != EEXIST)
            return {-1, errno, {}, false};
        opened.fd = ::openat(parent, name.c_str(), kFolderFlags);
    }
    struct stat info
    {};
    if (opened.fd < 0) {
        opened.code = errno;
        if ((opened.code == ENOTDIR || opened.code == ELOOP) &&
            ::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            opened.refusal = S_ISLNK(info.st_mode) ? foreignFolderRefusal(info, shownAs) : "";
        return opened;
    }
    if (::fstat(opened.fd, &info) != 0) {
        opened.code = errno;
    } else {
        opened.refusal = foreignFolderRefusal(info, shownAs);
    }
    if (opened.code != 0 || !opened.refusal.empty()) {
        ::close(opened.fd);
        opened.fd = -1;
    }
    return opened;
}

OpenedFolder DestinationFolders::openRoot(const std::vector<SourceFolder>& modes, bool& made)
{
    const FolderBase from = base();
    OpenedFolder root{-1, 0, from.refusal(), false};
    if (root.refusal.empty())
        root = openLevel(from.fd(), from.relative(), m_destination,
                         modes.empty() ? 0755 : modes.front().mode, made);
    if (!root.refusal.empty())
        m_refused.push_back("");
    struct stat info
    {};
    if (made && !modes.empty() && ::fstat(root.fd, &info) == 0)
        tighten(root.fd, info, modes.front());
    return root;
}

OpenedFolder DestinationFolders::open(const std::string& relative,
                                      const std::vector<SourceFolder>& modes)
{
    for (const std::string& refused : m_refused)
        if (isAtOrBelow(relative, refused))
            return {-1, 0, "refused", true};

    // Start from the deepest folder already open on the way.
    int current = -1;
    std::size_t start = 0, level = 0;
    bool made = false;
    if (m_lastFd >= 0 && relative.starts_with(m_lastRelative)) {
        current = ::fcntl(m_lastFd, F_DUPFD_CLOEXEC, 0);
        start = m_lastRelative.size();
        for (char c : m_lastRelative)
            level += c == '/';
    }
    if (current < 0) {
        start = 0;
        level = 0;
        if (m_rootFd < 0) {
            const OpenedFolder root = openRoot(modes, made);
            if (root.fd < 0)
                return root;
            m_rootFd = root.fd;
        }
        current = ::fcntl(m_rootFd, F_DUPFD_CLOEXEC, 0);
        if (current < 0)
            return {-1, errno, {}, false};
    }
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos;
         start = slash + 1) {
        ++level;
        const std::string name = relative.substr(start, slash - start);
        OpenedFolder next =
            openLevel(current, name, joinPath(m_destination, relative.substr(0, slash)),
                      level < modes.size() ? modes[level].mode : 0755, made);
        ::close(current);
        if (next.fd < 0) {
            if (!next.refusal.empty())
                m_refused.push_back(relative.substr(0, slash + 1));
            return next;
        }
        current = next.fd;
        // A folder an earlier copy made (the same day's, before its source
        // folder was made private) keeps no more open than its source now;
        // one made now may have been given the group of the folder it is in.
        struct stat info
        {};
        if (level < modes.size() && ::fstat(current, &info) == 0)
            tighten(current, info, modes[level]);
    }
    if (!made)
        removeAbandonedCopies(current);
    if (m_absolute.empty())
        m_absolute = resolvedPath(m_destination);
    if (!m_absolute.empty()) {
        std::string folder = joinPath(m_absolute, relative);
        if (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        noteCopyFolder(folder);
    }
    if (m_lastFd >= 0)
        ::close(m_lastFd);
    m_lastFd = ::fcntl(current, F_DUPFD_CLOEXEC, 0);
    m_lastRelative = relative;
    return {current, 0, {}, false};
}

} // namespace tarvik::minicmd
