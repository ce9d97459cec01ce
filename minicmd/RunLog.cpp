#include "minicmd/RunLog.h"

#include "minicmd/Folders.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvik::minicmd {
namespace {

constexpr const char* kHistoryName = "history.tsv";
constexpr const char* kHistoryHeader =
    "# start\tend\tscript\tfiles copied\tbytes\tfailures\texit status\tlog\n";

// Log names are the start time to the millisecond: YYYYMMDD-HHMMSS-mmm.log,
// so that sorting them by name sorts them by age.
bool isLogName(const std::string& name)
{
    constexpr std::string_view shape = "00000000-000000-000.log";
    if (name.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == '0' ? !digit : name[i] != shape[i])
            return false;
    }
    return true;
}

std::string logName(std::time_t seconds, long milliseconds)
{
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    std::snprintf(text + length, sizeof text - length, "-%03ld.log", milliseconds % 1000);
    return text;
}

// One field of a history line: tabs and line ends would break the line.
std::string field(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

std::vector<std::string> split(const std::string& line, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = line.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(line.substr(start, at - start));
    parts.push_back(line.substr(start));
    return parts;
}

bool readText(const std::string& path, std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (!file)
        return false;
    char buffer[16 * 1024];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, got);
    std::fclose(file);
    return true;
}

struct HistoryEntry
{
    std::string start, end, script, files, bytes, failures, status, log;
};

std::vector<HistoryEntry> readHistory(const std::string& folder)
{
    std::string text;
    std::vector<HistoryEntry> entries;
    if (folder.empty() || !readText(folder + "/" + kHistoryName, text))
        return entries;
    for (const std::string& line : split(text, '\n')) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> parts = split(line, '\t');
        parts.resize(8);
        entries.push_back(
            {parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6], parts[7]});
    }
    return entries;
}

std::string bytesText(const std::string& digits)
{
    return humanBytes(std::strtoull(digits.c_str(), nullptr, 10));
}

void removeOldLogs(const std::string& folder, std::size_t keep)
{
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    std::vector<std::string> logs;
    while (const dirent* entry = ::readdir(listing))
        if (isLogName(entry->d_name))
            logs.emplace_back(entry->d_name);
    ::closedir(listing);
    if (logs.size() <= keep)
        return;
    std::sort(logs.begin(), logs.end());
    for (std::size_t i = 0; i + keep < logs.size(); ++i)
        ::unlink((folder + "/" + logs[i]).c_str());
}

// The runs recorded in `folder`, oldest first; when there are none, says so on
// `out`.
std::vector<HistoryEntry> recordedRuns(std::FILE* out, const std::string& folder)
{
    std::vector<HistoryEntry> entries = readHistory(folder);
    if (entries.empty())
        std::fprintf(out, "No backup run is recorded in %s.\n", folder.c_str());
    return entries;
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
        return;
    }
    removeOldLogs(m_folder, kKeptLogs - 1);

    long milliseconds = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    int fd = -1;
    // Two runs that start in the same millisecond take the next free name.
    for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt, ++milliseconds) {
        const std::string path = m_folder + "/" + logName(m_started, milliseconds);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            m_path = path;
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0 || !(m_file = ::fdopen(fd, "w"))) {
        console.logTrouble("Cannot write the run log in " + m_folder + ": " + std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        m_path.clear();
        return;
    }
    std::fprintf(m_file, "Run of %s, started %s\n", script.c_str(),
                 localTimeText(m_started).c_str());
    console.attachLog(m_file, m_path);
}

RunLog::~RunLog()
{
    if (m_file) {
        m_console.attachLog(nullptr, {});
        std::fclose(m_file);
    }
}

void RunLog::finish(const RunSummary& summary, int exitStatus)
{
    if (m_folder.empty())
        return;
    if (m_file) {
        const bool written = m_console.flushLog();
        m_console.attachLog(nullptr, {});
        // A log that failed was closed when it did.
        if (written && std::fclose(m_file) != 0)
            m_console.logTrouble("Cannot write the run log " + m_path + ": " +
                                 std::strerror(errno));
        m_file = nullptr;
    }
    const std::string history = m_folder + "/" + kHistoryName;
    const int fd = ::open(history.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    struct stat info
    {};
    std::string text =
        fd >= 0 && ::fstat(fd, &info) == 0 && info.st_size == 0 ? kHistoryHeader : "";
    const std::string logLeaf = m_path.empty() ? "" : m_path.substr(m_path.rfind('/') + 1);
    text += localTimeText(m_started) + "\t" + localTimeText(std::time(nullptr)) + "\t" +
            field(m_script) + "\t" + std::to_string(summary.files) + "\t" +
            std::to_string(summary.bytes) + "\t" + std::to_string(summary.failureCount) + "\t" +
            std::to_string(exitStatus) + "\t" + logLeaf + "\n";
    // One write per line: runs that end together do not mix their lines.
    const bool written =
        fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int code = errno;
    if (fd >= 0)
        ::close(fd);
    if (!written)
        m_console.logTrouble("Cannot write the run history " + history + ": " +
                             std::strerror(code));
}

int printLastRun(std::FILE* out)
{
    const std::string folder = stateFolder();
    const std::vector<HistoryEntry> entries = recordedRuns(out, folder);
    if (entries.empty())
        return 0;
    const HistoryEntry& last = entries.back();
    std::fprintf(out, "Last run: %s\nStarted %s, ended %s, exit status %s.\n", last.script.c_str(),
                 last.start.c_str(), last.end.c_str(), last.status.c_str());
    const std::string log = last.log.empty() ? "" : folder + "/" + last.log;
    std::string text;
    const auto summary =
        log.empty() || !readText(log, text) ? std::string::npos : text.rfind("\nSummary: ");
    if (summary != std::string::npos) {
        std::fputs(text.c_str() + summary + 1, out);
        std::fprintf(out, "Log: %s\n", log.c_str());
    } else {
        std::fprintf(out, "Summary: %s file(s) copied (%s), %s failure(s).\n", last.files.c_str(),
                     bytesText(last.bytes).c_str(), last.failures.c_str());
        std::fprintf(out, "Its log is no longer kept.\n");
    }
    return 0;
}

int printHistory(std::FILE* out)
{
    const std::string folder = stateFolder();
    const std::vector<HistoryEntry> entries = recordedRuns(out, folder);
    if (entries.empty())
        return 0;
    const char* row = "%-19s  %-19s  %7s  %10s  %8s  %6s  %s\n";
    std::fprintf(out, row, "Started", "Ended", "Files", "Bytes", "Failures", "Status", "Script");
    for (const HistoryEntry& entry : entries)
        std::fprintf(out, row, entry.start.c_str(), entry.end.c_str(), entry.files.c_str(),
                     bytesText(entry.bytes).c_str(), entry.failures.c_str(), entry.status.c_str(),
                     entry.script.c_str());
    return 0;
}

} // namespace tarvik::minicmd
