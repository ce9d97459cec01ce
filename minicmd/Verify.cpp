// `--verify`: holds every copy a run made against what the run recorded of
// it. Only the backup is read; the sources may be long gone.

#include "minicmd/ContentHash.h"
#include "minicmd/RunHistory.h"
#include "minicmd/RunLog.h"
#include "minicmd/VisibleText.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvik::minicmd {
namespace {

struct RecordedCopy
{
    std::string hash, path;
    std::uint64_t bytes = 0;
    long long seconds = 0;
    long nanoseconds = 0;
};

// One line of a list of copies; false for a line cut short.
bool parseCopy(std::string_view line, RecordedCopy& copy)
{
    std::string_view parts[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t tab = i < 3 ? line.find('\t') : line.size();
        if (tab == std::string_view::npos)
            return false;
        parts[i] = line.substr(0, tab);
        line.remove_prefix(i < 3 ? tab + 1 : tab);
    }
    const std::string_view time = parts[2];
    const std::size_t dot = time.find('.');
    const auto number = [](std::string_view text, auto& value) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size() && !text.empty();
    };
    copy.hash = std::string(parts[0]);
    copy.path = decoded(parts[3]);
    return copy.hash.size() == 32 && dot != std::string_view::npos && !copy.path.empty() &&
           number(parts[1], copy.bytes) && number(time.substr(0, dot), copy.seconds) &&
           number(time.substr(dot + 1), copy.nanoseconds);
}

constexpr int kCopyFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Opens `path` as open() would, also when it is longer than the system takes
// in one call (a deep tree copies as deep as it goes): one folder at a time.
int openLong(const std::string& path)
{
    const int fd = ::open(path.c_str(), kCopyFlags);
    if (fd >= 0 || errno != ENAMETOOLONG)
        return fd;
    int folder = ::open(path.starts_with("/") ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t at = path.find_first_not_of('/');
    for (std::size_t slash; folder >= 0 && (slash = path.find('/', at)) != std::string::npos;
         at = path.find_first_not_of('/', slash)) {
        const int next = ::openat(folder, path.substr(at, slash - at).c_str(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int code = errno;
        ::close(folder);
        folder = next;
        errno = code;
    }
    if (folder < 0)
        return -1;
    if (at == std::string::npos) {
        ::close(folder);
        errno = EISDIR;
        return -1;
    }
    const int opened = ::openat(folder, path.substr(at).c_str(), kCopyFlags);
    const int code = errno;
    ::close(folder);
    errno = code;
    return opened;
}

// What is wrong with the copy at `copy.path`, "" when it is intact.
std::string check(const RecordedCopy& copy)
{
    const int fd = openLong(copy.path);
    struct stat info
    {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const std::string reason = fd < 0 ? std::strerror(errno) : "not a regular file";
        if (fd >= 0)
            ::close(fd);
        return errno == ENOENT ? "missing" : "cannot be read: " + reason;
    }
    std::string problem;
    if (std::uint64_t(info.st_size) < copy.bytes)
        problem = "shorter than copied (" + std::to_string(info.st_size) + " of " +
                  std::to_string(copy.bytes) + " bytes)";
    else if (std::uint64_t(info.st_size) > copy.bytes)
        problem = "longer than copied";
    else if (info.st_mtim.tv_sec != copy.seconds || info.st_mtim.tv_nsec != copy.nanoseconds)
        problem = "changed in time";
    if (!problem.empty()) {
        ::close(fd);
        return problem;
    }
    ContentHash hash;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            problem = std::string("cannot be read: ") + std::strerror(errno);
        if (got <= 0)
            break;
        hash.add(buffer.data(), std::size_t(got));
    }
    ::close(fd);
    if (problem.empty() && hash.text() != copy.hash)
        problem = "changed in content";
    return problem;
}

// The run `log` names (a path, or a name in the state folder), else the last
// run; "" and a message on `out` when there is none.
std::string listOfCopies(std::FILE* out, const std::string& log)
{
    std::string path = log;
    if (path.empty()) {
        const std::vector<RunRecord> runs = recordedRuns(stateFolder(), 256 << 10);
        if (runs.empty() || runs.back()[Column::Log].empty()) {
            std::fprintf(out, "No backup run with a list of copies is recorded in %s.\n",
                         visible(stateFolder()).c_str());
            return {};
        }
        path = stateFolder() + "/" + runs.back()[Column::Log];
    } else if (path.find('/') == std::string::npos) {
        path = stateFolder() + "/" + path;
    }
    if (path.ends_with(".log"))
        path.resize(path.size() - 4);
    return path + ".copies";
}

// What the history says of the run whose list of copies is `list`, when the
// list is in the state folder and the history still holds the run: the list
// may lack copies the run made (its disk filled, the run was killed).
std::string shortfall(const std::string& list, std::size_t listed)
{
    const std::string folder = stateFolder();
    if (folder.empty() || !list.starts_with(folder + "/"))
        return {};
    std::string log = list.substr(folder.size() + 1);
    log.replace(log.size() - std::strlen(".copies"), std::string::npos, ".log");
    for (const RunRecord& run : recordedRuns(folder, std::size_t(-1) >> 1)) {
        if (run[Column::Log] != log)
            continue;
        const std::string& outcome = run[Column::Outcome];
        if (outcome == kRunning || outcome == kDidNotFinish)
            return "The run " + std::string(outcome == kRunning ? "is still going" : outcome) +
                   ": copies it made after the last one listed cannot be checked.";
        std::size_t copied = 0;
        const std::string& files = run[Column::Files];
        if (std::from_chars(files.data(), files.data() + files.size(), copied).ec == std::errc() &&
            copied > listed)
            return "The list names " + std::to_string(listed) + " of the " +
                   std::to_string(copied) + " copies the run made; " +
                   std::to_string(copied - listed) + " cannot be checked.";
    }
    return {};
}

} // namespace

int verifyCopies(std::FILE* out, const std::string& log)
{
    const std::string list = listOfCopies(out, log);
    if (list.empty())
        return 2;
    const int fd = openRecordFile(list, O_RDONLY);
    if (fd < 0) {
        std::fprintf(out, "Cannot read the list of copies %s: %s\n", visible(list).c_str(),
                     errno == EINVAL ? "not a regular file" : std::strerror(errno));
        return 2;
    }
    const std::string text = readTail(fd, std::size_t(-1) >> 1);
    ::close(fd);
    std::size_t checked = 0, damaged = 0, unreadable = 0;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        RecordedCopy copy;
        if (!parseCopy(std::string_view(text).substr(at, end - at), copy)) {
            ++unreadable;
            continue;
        }
        ++checked;
        if (const std::string problem = check(copy); !problem.empty()) {
            ++damaged;
            std::fprintf(out, "%s: %s\n", visible(copy.path).c_str(), problem.c_str());
        }
    }
    if (unreadable > 0)
        std::fprintf(out, "%zu line(s) of the list could not be read.\n", unreadable);
    if (damaged > 0)
        std::fprintf(out, "Verified: %zu of %zu copies are not as copied (list %s).\n", damaged,
                     checked, visible(list).c_str());
    else
        std::fprintf(out, "Verified: all %zu copies are intact (list %s).\n", checked,
                     visible(list).c_str());
    const std::string lacking = shortfall(list, checked + unreadable);
    if (!lacking.empty())
        std::fprintf(out, "%s\n", lacking.c_str());
    return damaged > 0 || unreadable > 0 || !lacking.empty() ? 1 : 0;
}

} // namespace tarvik::minicmd
