#include "minicmd/RunHistory.h"

#include "minicmd/VisibleText.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace tarvik::minicmd {
namespace {

constexpr const char* kHistoryName = "history.tsv";
// Past this size the history is cut back to its last kKeptRuns runs.
constexpr off_t kTrimAbove = 1 << 20;
// What is read to cut it back: kKeptRuns runs fit many times over.
constexpr std::size_t kTrimRead = 4 << 20;

constexpr const char* kHeadings[] = {
#define TARVIK_COLUMN_HEADING(name, heading) heading,
    TARVIK_HISTORY_COLUMNS(TARVIK_COLUMN_HEADING)
#undef TARVIK_COLUMN_HEADING
};

std::string header()
{
    std::string text = "#";
    for (const char* heading : kHeadings)
        text += std::string(text.size() > 1 ? "\t" : " ") + heading;
    return text + "\n";
}

// FNV-1a: enough to tell a cut or mixed line from a whole one.
std::string checkOf(std::string_view text)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", hash);
    return digits;
}

bool isNumber(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

std::string historyPath(const std::string& folder)
{
    return folder + "/" + kHistoryName;
}

// Another run may hold a record for a moment; one that holds it for longer
// does not get to stop this one.
bool lockBriefly(int fd)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t put = ::write(fd, text.data(), text.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Keeps the lines of the last kKeptRuns runs (with the header), written to a
// new file that replaces the history. Called with the history locked.
void trim(const std::string& folder, int fd)
{
    const std::string text = readTail(fd, kTrimRead);
    std::vector<std::string_view> lines;
    std::unordered_map<std::string, std::size_t> firstLineOfRun;
    std::vector<std::string> runs; // in the order they started
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string_view line(text.data() + at, end - at);
        RunRecord record;
        if (!parseHistoryLine(line, record))
            continue;
        lines.push_back(line);
        if (firstLineOfRun.emplace(record[Column::Run], lines.size() - 1).second)
            runs.push_back(record[Column::Run]);
    }
    const std::size_t from =
        runs.size() > kKeptRuns ? firstLineOfRun[runs[runs.size() - kKeptRuns]] : 0;
    std::string kept = header();
    for (std::size_t i = from; i < lines.size(); ++i)
        kept.append(lines[i]).append("\n");
    const std::string temporary = historyPath(folder) + ".new";
    ::unlink(temporary.c_str());
    const int out =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0)
        return;
    const bool written = writeAll(out, kept) && ::fsync(out) == 0;
    if (::close(out) == 0 && written)
        ::rename(temporary.c_str(), historyPath(folder).c_str());
    else
        ::unlink(temporary.c_str());
}

// Whether the run that `record` started is still going.
bool stillRunning(const std::string& folder, const RunRecord& record)
{
    if (record[Column::Log].empty()) {
        const auto dash = record[Column::Run].rfind('-');
        long pid = 0;
        if (dash == std::string::npos)
            return false;
        std::from_chars(record[Column::Run].data() + dash + 1,
                        record[Column::Run].data() + record[Column::Run].size(), pid);
        return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
    }
    return logIsHeld(folder + "/" + record[Column::Log]);
}

} // namespace

FolderLock::FolderLock(const std::string& folder)
    : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    m_held = m_fd >= 0 && lockBriefly(m_fd);
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string historyLine(RunRecord record)
{
    std::string line;
    for (std::size_t i = 0; i + 1 < kColumns; ++i)
        line += visible(record.fields[i]) + "\t";
    return line + checkOf(line) + "\n";
}

bool parseHistoryLine(std::string_view line, RunRecord& record)
{
    if (line.empty() || line[0] == '#')
        return false;
    std::size_t count = 0;
    for (std::size_t start = 0;; ++count) {
        const std::size_t tab = line.find('\t', start);
        if (count < kColumns)
            record.fields[count] = std::string(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    ++count;
    const bool numbers = isNumber(record[Column::Files]) && isNumber(record[Column::Bytes]) &&
                         isNumber(record[Column::Failures]);
    if (count == kOldColumns) {
        // Written before runs recorded their start: each line is a finished run.
        if (!numbers || !isNumber(record[Column::Status]))
            return false;
        record[Column::Outcome] = kFinished;
        record[Column::Run] = line; // one line, one run
        return true;
    }
    const std::string& check = record[Column::Check];
    return count == kColumns && numbers &&
           check == checkOf(line.substr(0, line.size() - check.size()));
}

int openRecordFile(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat info
    {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool logIsHeld(const std::string& log)
{
    const int fd = openRecordFile(log, O_RDONLY);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

std::string readTail(int fd, std::size_t most)
{
    struct stat info
    {};
    if (::fstat(fd, &info) != 0)
        return {};
    const auto size = static_cast<std::size_t>(info.st_size);
    const std::size_t from = size > most ? size - most : 0;
    std::string text(size - from, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t read = ::pread(fd, text.data() + got, text.size() - got, off_t(from + got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            break;
        got += static_cast<std::size_t>(read);
    }
    text.resize(got);
    if (from > 0) // the first line is cut; it starts after the first line end
        text.erase(0, std::min(text.size(), text.find('\n') + 1));
    return text;
}

std::string appendHistory(const std::string& folder, const std::string& line)
{
    const std::string path = historyPath(folder);
    for (int attempt = 0;; ++attempt) {
        const int fd = openRecordFile(path, O_RDWR | O_APPEND | O_CREAT);
        if (fd < 0)
            return errno == EINVAL ? std::string("not a regular file") : std::strerror(errno);
        const bool locked = lockBriefly(fd);
        // Cut back by another run while this one waited: write to the new file.
        struct stat held
        {
        }, named{};
        if (locked && attempt == 0 && ::fstat(fd, &held) == 0 &&
            (::lstat(path.c_str(), &named) != 0 || named.st_ino != held.st_ino)) {
            ::close(fd);
            continue;
        }
        const off_t size = ::lseek(fd, 0, SEEK_END);
        std::string text = size == 0 ? header() : "";
        // A line left cut by a full disk ends here, so that it is not joined
        // to this one; readers pass over it.
        char last = '\n';
        if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n')
            text += "\n";
        text += line;
        std::string trouble;
        if (!writeAll(fd, text)) {
            trouble = std::strerror(errno);
            if (locked && size >= 0 && ::ftruncate(fd, size) != 0)
                trouble += " (a part of the line is left)";
        } else if (locked && size + off_t(text.size()) > kTrimAbove) {
            trim(folder, fd);
        }
        ::close(fd);
        return trouble;
    }
}

std::vector<RunRecord> recordedRuns(const std::string& folder, std::size_t most)
{
    std::vector<RunRecord> runs;
    const int fd = folder.empty() ? -1 : openRecordFile(historyPath(folder), O_RDONLY);
    if (fd < 0)
        return runs;
    const std::string text = readTail(fd, most);
    ::close(fd);
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        RunRecord record;
        if (!parseHistoryLine(std::string_view(text).substr(at, end - at), record))
            continue;
        const auto [found, added] = index.emplace(record[Column::Run], runs.size());
        if (added)
            runs.push_back(std::move(record));
        else if (runs[found->second][Column::Outcome] == kRunning)
            runs[found->second] = std::move(record);
    }
    for (RunRecord& run : runs)
        if (run[Column::Outcome] == kRunning && !stillRunning(folder, run))
            run[Column::Outcome] = kDidNotFinish;
    return runs;
}

} // namespace tarvik::minicmd
