#include "minicmd/Leftovers.h"

#include "minicmd/FileCopy.h"
#include "minicmd/RunLog.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace tarvik::minicmd {
namespace {

constexpr std::string_view kPrefix = "copying-";

int g_recordFd = -1;
std::string g_recordPath;
std::string g_noted;

bool isGone(long pid)
{
    return pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
           errno == ESRCH;
}

std::string readSmallFile(int folderFd, const char* name)
{
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[8192];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
}

} // namespace

void cleanUpAfterEndedRuns()
{
    const std::string state = stateFolder();
    const int folderFd =
        state.empty() ? -1 : ::open(state.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return;
    std::vector<std::string> ended;
    if (DIR* listing = ::fdopendir(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0))) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string_view name = entry->d_name;
            long pid = 0;
            const char* first = name.data() + kPrefix.size();
            if (!name.starts_with(kPrefix))
                continue;
            const auto [end, error] = std::from_chars(first, name.data() + name.size(), pid);
            if (error == std::errc() && end == name.data() + name.size() && isGone(pid))
                ended.emplace_back(name);
        }
        ::closedir(listing);
    }
    for (const std::string& name : ended) {
        // The record holds one path and a line end.
        std::string folder = readSmallFile(folderFd, name.c_str());
        if (const auto end = folder.find('\n'); end != std::string::npos)
            folder.resize(end);
        if (!folder.empty() && folder.front() == '/') {
            const int copyFolder =
                ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (copyFolder >= 0) {
                removeAbandonedCopies(copyFolder);
                ::close(copyFolder);
            }
        }
        ::unlinkat(folderFd, name.c_str(), 0);
    }
    ::close(folderFd);
}

void noteCopyFolder(const std::string& folder)
{
    if (folder == g_noted)
        return;
    if (g_recordFd < 0) {
        const std::string state = stateFolder();
        if (state.empty())
            return;
        g_recordPath = state + "/" + std::string(kPrefix) + std::to_string(::getpid());
        g_recordFd = ::open(g_recordPath.c_str(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (g_recordFd < 0)
            return;
    }
    const std::string line = folder + "\n";
    if (::pwrite(g_recordFd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size()) &&
        ::ftruncate(g_recordFd, static_cast<off_t>(line.size())) == 0)
        g_noted = folder;
}

void endCopyRecord()
{
    if (g_recordFd < 0)
        return;
    ::close(g_recordFd);
    g_recordFd = -1;
    ::unlink(g_recordPath.c_str());
}

} // namespace tarvik::minicmd
