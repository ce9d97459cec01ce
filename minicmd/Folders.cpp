#include "minicmd/Folders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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

int ensureFolder(const std::string& given)
{
    const std::string path = withoutTrailingSlashes(given);
    if (path.empty())
        return ENOENT;
    if (::mkdir(path.c_str(), 0777) == 0)
        return 0;
    int code = errno;
    if (code == ENOENT) {
        const auto slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            if (const int parent = ensureFolder(path.substr(0, slash)); parent != 0)
                return parent;
            if (::mkdir(path.c_str(), 0777) == 0)
                return 0;
            code = errno;
        }
    }
    if (code == EEXIST) {
        struct stat info
        {};
        // A folder made meanwhile (or there all along) is what was wanted.
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
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

void ScriptFolders::vouch(const std::string& path)
{
    m_vouched.push_back(withoutTrailingSlashes(path));
}

bool ScriptFolders::vouchedFor(const std::string& path) const
{
    const std::string wanted = withoutTrailingSlashes(path);
    for (const std::string& folder : m_vouched)
        if (folder == wanted)
            return true;
    return false;
}

} // namespace tarvik::minicmd
