#include "minicmd/Folders.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvik::minicmd {
namespace {

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

std::string joinPath(const std::string& folder, const std::string& relative)
{
    if (relative.empty())
        return folder;
    if (folder.empty() || folder.back() == '/')
        return folder + relative;
    return folder + "/" + relative;
}

int ensureFolder(const std::string& given, int base)
{
    const std::string path = withoutTrailingSlashes(given);
    if (path.empty())
        return ENOENT;
    if (::mkdirat(base, path.c_str(), 0777) == 0)
        return 0;
    int code = errno;
    if (code == ENOENT) {
        const auto slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            if (const int parent = ensureFolder(path.substr(0, slash), base); parent != 0)
                return parent;
            if (::mkdirat(base, path.c_str(), 0777) == 0)
                return 0;
            code = errno;
        }
    }
    if (code == EEXIST) {
        struct stat info
        {};
        // A folder made meanwhile (or there all along) is what was wanted.
        if (::fstatat(base, path.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode))
            return 0;
    }
    return code;
}

std::string resolvedPath(const std::string& given)
{
    std::string path = withoutTrailingSlashes(given);
    if (path.empty())
        path = ".";
    std::string missing;
    for (;;) {
        char buffer[PATH_MAX];
        if (::realpath(path.c_str(), buffer))
            return joinPath(buffer, missing);
        const auto slash = path.rfind('/');
        const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
        if (leaf == "." || leaf == "..")
            return {}; // cannot tell lexically where this points
        missing = missing.empty() ? leaf : leaf + "/" + missing;
        if (slash == std::string::npos)
            path = ".";
        else if (slash == 0)
            path = "/";
        else
            path = path.substr(0, slash);
    }
}

std::string foreignFolderRefusal(const struct stat& info, const std::string& path)
{
    if (S_ISLNK(info.st_mode))
        return path + " is a symbolic link; nothing was copied into it";
    // Root could replace anything of ours anyway: a folder of root's gives
    // no one a hold on our files that a folder of our own would not.
    if (info.st_uid != ::geteuid() && info.st_uid != 0)
        return path + " belongs to another user; nothing was copied into it";
    return {};
}

std::string foreignFolderRefusal(const std::string& path)
{
    struct stat info
    {};
    if (::lstat(withoutTrailingSlashes(path).c_str(), &info) != 0)
        return {};
    return foreignFolderRefusal(info, path);
}

namespace {

bool isAtOrBelow(const std::string& path, const std::string& folder)
{
    if (folder.empty())
        return false;
    return path == folder ||
           (path.starts_with(folder) && (folder.back() == '/' || path[folder.size()] == '/'));
}

} // namespace

void ScriptFolders::refuse(const std::string& path, std::string refusal)
{
    m_refused.emplace_back(withoutTrailingSlashes(path), std::move(refusal));
}

std::string ScriptFolders::refusalFor(const std::string& given) const
{
    const std::string path = withoutTrailingSlashes(given);
    for (const auto& [folder, refusal] : m_refused)
        if (isAtOrBelow(path, folder))
            return refusal;
    return {};
}

void ScriptFolders::vouch(const std::string& path, const struct stat& info)
{
    m_vouched.push_back({withoutTrailingSlashes(path), info.st_dev, info.st_ino});
}

bool ScriptFolders::vouchedFor(const std::string& path) const
{
    const std::string wanted = withoutTrailingSlashes(path);
    return std::any_of(m_vouched.begin(), m_vouched.end(),
                       [&wanted](const Vouched& folder) { return folder.path == wanted; });
}

FolderBase ScriptFolders::baseFor(const std::string& given) const
{
    const std::string path = withoutTrailingSlashes(given);
    const Vouched* deepest = nullptr;
    for (const Vouched& folder : m_vouched)
        if (isAtOrBelow(path, folder.path) &&
            (!deepest || folder.path.size() > deepest->path.size()))
            deepest = &folder;
    if (!deepest)
        return {AT_FDCWD, path};
    std::string relative = path.substr(deepest->path.size());
    relative.erase(0, relative.find_first_not_of('/'));
    const int fd = ::open(deepest->path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info
    {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || info.st_dev != deepest->device ||
        info.st_ino != deepest->inode) {
        if (fd >= 0)
            ::close(fd);
        return {-1,
                {},
                deepest->path + " is gone or was replaced while the script ran; nothing was "
                                "copied into it"};
    }
    return {fd, relative.empty() ? std::string(".") : relative};
}

FolderBase::FolderBase(int fd, std::string relative, std::string refusal)
    : m_fd(fd), m_relative(std::move(relative)), m_refusal(std::move(refusal))
{}

FolderBase::FolderBase(FolderBase&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_relative(std::move(other.m_relative)),
      m_refusal(std::move(other.m_refusal))
{}

FolderBase::~FolderBase()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace tarvik::minicmd
