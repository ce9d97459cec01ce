#include "minicmd/Leftovers.h"

#include "minicmd/CopyNames.h"
#include "minicmd/FileCopy.h"
#include "minicmd/RunLog.h"

#include <cerrno>
#include <charconv>
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
// The folder noted last, and every folder the record names: those still held
// by a copy in flight, then the latest.
std::shared_ptr<const std::string> g_latest;
std::vector<std::weak_ptr<const std::string>> g_listed;
bool g_written = false; // the record lists g_listed as it stands

std::string readRecord(int folderFd, const char* name)
{
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    // A few dozen paths at most; anything longer is none of ours.
    constexpr std::size_t kLongest = 1 << 20;
    std::string text;
    char buffer[8192];
    for (ssize_t got; text.size() < kLongest && (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

void cleanUpFolder(const std::string& folder)
{
    if (folder.empty() || folder.front() != '/')
        return;
    const int copyFolder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (copyFolder >= 0) {
        removeAbandonedCopies(copyFolder);
        ::close(copyFolder);
    }
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
            if (error == std::errc() && end == name.data() + name.size() && processIsGone(pid))
                ended.emplace_back(name);
        }
        ::closedir(listing);
    }
    for (const std::string& name : ended) {
        // The record holds paths, each ended by a line end; a last line
        // without one was cut short by the kill.
        const std::string record = readRecord(folderFd, name.c_str());
        for (std::size_t start = 0, end; (end = record.find('\n', start)) != std::string::npos;
             start = end + 1)
            cleanUpFolder(record.substr(start, end - start));
        ::unlinkat(folderFd, name.c_str(), 0);
    }
    ::close(folderFd);
}

void noteCopyFolder(const std::string& folder)
{
    if (g_written && g_latest && *g_latest == folder)
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
    if (!g_latest || *g_latest != folder) {
        g_latest = std::make_shared<const std::string>(folder);
        std::erase_if(g_listed, [](const auto& listed) { return listed.expired(); });
        g_listed.push_back(g_latest);
    }
    std::string text;
    for (const auto& listed : g_listed)
        if (const auto held = listed.lock())
            text += *held + "\n";
    g_written =
        ::pwrite(g_recordFd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
        ::ftruncate(g_recordFd, static_cast<off_t>(text.size())) == 0;
}

std::shared_ptr<const void> holdCopyFolder()
{
    return g_latest;
}

void endCopyRecord()
{
    if (g_recordFd < 0)
        return;
    ::close(g_recordFd);
    g_recordFd = -1;
    ::unlink(g_recordPath.c_str());
    g_latest.reset();
    g_listed.clear();
    g_written = false;
}

} // namespace tarvik::minicmd
