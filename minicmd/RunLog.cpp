#include "minicmd/RunLog.h"

#include "minicmd/Folders.h"
#include "minicmd/RunHistory.h"
#include "minicmd/VisibleText.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvik::minicmd {
namespace {

constexpr std::string_view kLogSuffix = ".log", kCopiesSuffix = ".copies";

// A run's files are named by its start time to the millisecond,
// YYYYMMDD-HHMMSS-mmm, so that sorting them by name sorts them by age. The
// stamp of such a name, "" for any other name.
std::string stampOf(std::string_view name)
{
    constexpr std::string_view shape = "00000000-000000-000";
    if (name.size() <= shape.size())
        return {};
    const std::string_view suffix = name.substr(shape.size());
    if (suffix != kLogSuffix && suffix != kCopiesSuffix)
        return {};
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == '0' ? !digit : name[i] != shape[i])
            return {};
    }
    return std::string(name.substr(0, shape.size()));
}

std::string stampText(std::time_t seconds, long milliseconds)
{
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    std::snprintf(text + length, sizeof text - length, "-%03ld", milliseconds % 1000);
    return text;
}

// Removes the files of the oldest runs until at most `keep` runs are left
// and their files take at most kKeptBytes; never those of `own` or of a run
// still going.
void removeOldRuns(const std::string& folder, std::size_t keep, const std::string& own)
{
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    std::map<std::string, std::vector<std::string>> runs; // oldest first
    std::uint64_t total = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string stamp = stampOf(entry->d_name);
        struct stat info
        {};
        if (stamp.empty() ||
            ::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        runs[stamp].emplace_back(entry->d_name);
        total += static_cast<std::uint64_t>(info.st_size);
    }
    ::closedir(listing);
    std::size_t left = runs.size();
    for (const auto& [stamp, names] : runs) {
        if (left <= keep && total <= kKeptBytes)
            break;
        if (stamp == own || logIsHeld(folder + "/" + stamp + std::string(kLogSuffix)))
            continue;
        for (const std::string& name : names) {
            struct stat info
            {};
            const std::string path = folder + "/" + name;
            if (::lstat(path.c_str(), &info) == 0 && ::unlink(path.c_str()) == 0)
                total -= std::min<std::uint64_t>(total, std::uint64_t(info.st_size));
        }
        --left;
    }
}

// The line of the list of copies that names `copy`, at `path`: its hash,
// size, modification time and path, apart by tabs. Put together by hand: it
// is written for every file copied, and a formatted print of it cost more
// than the rest of the file's record.
std::string copyLine(const CopiedFile& copy, const std::string& path)
{
    std::string line = copy.hash;
    char number[24];
    const auto add = [&](auto value) {
        line.append(number, std::to_chars(number, number + sizeof number, value).ptr);
    };
    line += '\t';
    add(copy.bytes);
    line += '\t';
    add(copy.modified.tv_sec);
    line += '.';
    const std::size_t nanoseconds = line.size();
    add(copy.modified.tv_nsec);
    if (const std::size_t digits = line.size() - nanoseconds; digits < 9)
        line.insert(nanoseconds, 9 - digits, '0');
    line += '\t';
    line += encoded(path);
    line += '\n';
    return line;
}

} // namespace

std::string stateFolder()
{
    // A relative XDG_STATE_HOME is to be ignored, as the base directory rules say.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
        return std::string(state) + "/tarvikbackup";
    std::string home;
    if (const char* variable = std::getenv("HOME"); variable && *variable)
        home = variable;
    else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        home = user->pw_dir;
    return home.empty() ? std::string() : home + "/.local/state/tarvikbackup";
}

std::string localTimeText(std::time_t when)
{
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

RunLog::RunLog(const std::string& script, Console& console)
    : m_console(console), m_folder(stateFolder()), m_script(script)
{
    const auto now = std::chrono::system_clock::now();
    m_started = std::chrono::system_clock::to_time_t(now);
    if (m_folder.empty()) {
        console.logTrouble("Cannot tell where to keep the run log (neither XDG_STATE_HOME nor "
                           "HOME is set)");
        return;
    }
    const auto slash = m_folder.rfind('/');
    int code = slash > 0 ? ensureFolder(m_folder.substr(0, slash)) : 0;
    if (code == 0 && ::mkdir(m_folder.c_str(), 0700) != 0 && errno != EEXIST)
        code = errno;
    if (code != 0) {
        console.logTrouble("Cannot make the folder for the run log " + m_folder + ": " +
                           std::strerror(code));
        m_folder.clear();
        return;
    }
    removeOldRuns(m_folder, kKeptLogs - 1, {});

    long milliseconds = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    int fd = -1;
    std::string stamp;
    // Two runs that start in the same millisecond take the next free name.
    for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt, ++milliseconds) {
        stamp = stampText(m_started, milliseconds);
        const std::string path = m_folder + "/" + stamp + std::string(kLogSuffix);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0)
            m_path = path;
        else if (errno != EEXIST)
            break;
    }
    m_run =
        (fd >= 0 ? stamp : stampText(m_started, milliseconds)) + "-" + std::to_string(::getpid());
    if (fd < 0 || !(m_file = ::fdopen(fd, "w"))) {
        console.logTrouble("Cannot write the run log in " + m_folder + ": " + std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        m_path.clear();
    } else {
        // The lock lives on its own descriptor: the log may be closed early
        // when it cannot be written, and the run is still going then.
        m_lock = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (m_lock >= 0)
            ::flock(m_lock, LOCK_EX | LOCK_NB);
        std::fprintf(m_file, "Run of %s, started %s\n", visible(script).c_str(),
                     localTimeText(m_started).c_str());
        console.attachLog(m_file, m_path);
        const std::string copies = m_folder + "/" + stamp + std::string(kCopiesSuffix);
        const int list =
            ::open(copies.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (list < 0 || !(m_copies = ::fdopen(list, "w"))) {
            console.logTrouble("Cannot write the list of copies " + copies + ": " +
                               std::strerror(errno));
            if (list >= 0)
                ::close(list);
        } else {
            console.recordCopiesWith(
                [this](const std::string& destination, const CopiedFile& copy) {
                    recordCopy(destination, copy);
                });
        }
    }
    RunRecord record;
    record[Column::Start] = localTimeText(m_started);
    record[Column::Script] = m_script;
    record[Column::Files] = record[Column::Bytes] = record[Column::Failures] = "0";
    record[Column::LeftOut] = record[Column::SummaryAt] = record[Column::SummarySize] = "0";
    record[Column::Log] = m_path.empty() ? "" : m_path.substr(m_path.rfind('/') + 1);
    record[Column::Outcome] = kRunning;
    record[Column::Run] = m_run;
    if (const std::string trouble = appendHistory(m_folder, historyLine(record)); !trouble.empty())
        console.logTrouble("Cannot write the run history " + m_folder + "/history.tsv: " + trouble);
}

RunLog::~RunLog()
{
    if (m_file) {
        m_console.attachLog(nullptr, {});
        std::fclose(m_file);
    }
    if (m_copies) {
        m_console.recordCopiesWith({});
        std::fclose(m_copies);
    }
    if (m_lock >= 0)
        ::close(m_lock);
}

void RunLog::recordCopy(const std::string& destination, const CopiedFile& copy)
{
    // The copy is found again by its full path: the run may have changed folder.
    std::string path = destination;
    if (char here[PATH_MAX]; path.empty() || path[0] != '/')
        path = (::getcwd(here, sizeof here) ? std::string(here) : std::string(".")) + "/" + path;
    const std::string line = copyLine(copy, path);
    std::fwrite(line.data(), 1, line.size(), m_copies);
    if (std::ferror(m_copies)) {
        m_console.logTrouble("Cannot write the list of copies of this run");
        m_console.recordCopiesWith({});
    }
}

void RunLog::finish(const RunSummary& summary, int exitStatus)
{
    if (m_folder.empty())
        return;
    RunRecord record;
    if (m_file) {
        const bool written = m_console.flushLog();
        m_console.attachLog(nullptr, {});
        // Where the summary the console just wrote lies in the log, so that
        // it is found again without searching text that holds names.
        if (written) {
            std::size_t size = 0;
            for (const std::string& line : summaryLines(summary))
                size += visible(line).size() + 1;
            const long end = std::ftell(m_file);
            if (end >= long(size)) {
                record[Column::SummaryAt] = std::to_string(std::size_t(end) - size);
                record[Column::SummarySize] = std::to_string(size);
            }
        }
        // A log that failed was closed when it did.
        if (written && std::fclose(m_file) != 0)
            m_console.logTrouble("Cannot write the run log " + m_path + ": " +
                                 std::strerror(errno));
        m_file = nullptr;
    }
    if (m_copies) {
        m_console.recordCopiesWith({});
        if (std::fclose(m_copies) != 0)
            m_console.logTrouble("Cannot write the list of copies of this run");
        m_copies = nullptr;
    }
    record[Column::Start] = localTimeText(m_started);
    record[Column::End] = localTimeText(std::time(nullptr));
    record[Column::Script] = m_script;
    record[Column::Files] = std::to_string(summary.files);
    record[Column::Bytes] = std::to_string(summary.bytes);
    record[Column::Failures] = std::to_string(summary.failureCount);
    record[Column::Status] = std::to_string(exitStatus);
    record[Column::Log] = m_path.empty() ? "" : m_path.substr(m_path.rfind('/') + 1);
    record[Column::Outcome] = summary.interruptedBy.empty()
                                  ? std::string(kFinished)
                                  : std::string(kInterruptedBy) + summary.interruptedBy;
    record[Column::LeftOut] = std::to_string(summary.leftOut);
    if (record[Column::SummaryAt].empty())
        record[Column::SummaryAt] = record[Column::SummarySize] = "0";
    record[Column::Run] = m_run;
    if (const std::string trouble = appendHistory(m_folder, historyLine(record)); !trouble.empty())
        m_console.logTrouble("Cannot write the run history " + m_folder +
                             "/history.tsv: " + trouble);
    removeOldRuns(m_folder, kKeptLogs, m_run.substr(0, m_run.rfind('-')));
}

} // namespace tarvik::minicmd
