// What `--last` and `--history` tell. Everything they say about how a run
// went comes from its history lines; the log is only read where its line
// says the summary lies, never searched.

#include "minicmd/RunHistory.h"
#include "minicmd/RunLog.h"
#include "minicmd/VisibleText.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

// --last reads this much of the history's end, whatever its size.
constexpr std::size_t kLastRead = 256 << 10;
// --history shows what fits in this much: kKeptRuns runs and more.
constexpr std::size_t kHistoryRead = 4 << 20;

std::string bytesText(const std::string& digits)
{
    return humanBytes(std::strtoull(digits.c_str(), nullptr, 10));
}

// The summary block of `record`'s log, "" when the log no longer holds it.
std::string summaryFromLog(const std::string& log, const RunRecord& record)
{
    const auto at = std::strtoull(record[Column::SummaryAt].c_str(), nullptr, 10);
    const auto size = std::strtoull(record[Column::SummarySize].c_str(), nullptr, 10);
    const int fd = size == 0 || size > (1 << 20) ? -1 : openRecordFile(log, O_RDONLY);
    if (fd < 0)
        return {};
    std::string text(size, '\0');
    const ssize_t got = ::pread(fd, text.data(), size, off_t(at));
    ::close(fd);
    return got == ssize_t(size) && text.starts_with("Summary: ") && text.ends_with("\n") ? text
                                                                                         : "";
}

std::vector<RunRecord> runsOrSay(std::FILE* out, const std::string& folder, std::size_t most)
{
    std::vector<RunRecord> runs = recordedRuns(folder, most);
    if (runs.empty())
        std::fprintf(out, "No backup run is recorded in %s.\n", visible(folder).c_str());
    return runs;
}

// Why runs after the one with `lastLog` may be missing from the history, ""
// when nothing says so: a later run's log with no line of its own (the run
// could not write one, or was killed before it could), or a history that
// cannot take a line now.
std::string unrecordedRuns(const std::string& folder, const std::string& lastLog)
{
    if (DIR* listing = lastLog.empty() ? nullptr : ::opendir(folder.c_str())) {
        std::string later;
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name.ends_with(".log") && name.size() == lastLog.size() && name > lastLog &&
                name > later && !logIsHeld(folder + "/" + name))
                later = name;
        }
        ::closedir(listing);
        if (!later.empty())
            return "A later run left no line in the history; it may have failed. Its log: " +
                   visible(folder + "/" + later);
    }
    const std::string history = folder + "/history.tsv";
    const int fd =
        ::open(history.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "The history cannot be written now (" + std::string(std::strerror(errno)) +
               "): later runs may be missing from it.";
    ::close(fd);
    struct statvfs space
    {};
    if (::statvfs(folder.c_str(), &space) == 0 &&
        (::geteuid() == 0 ? space.f_bfree : space.f_bavail) == 0)
        return "The state folder's disk is full: later runs may be missing from the history.";
    return {};
}

} // namespace

int printLastRun(std::FILE* out)
{
    const std::string folder = stateFolder();
    const std::vector<RunRecord> runs = runsOrSay(out, folder, kLastRead);
    if (runs.empty())
        return 2;
    const RunRecord& last = runs.back();
    const std::string& outcome = last[Column::Outcome];
    std::fprintf(out, "Last run: %s\n", visible(last[Column::Script]).c_str());
    if (last.finished())
        std::fprintf(out, "Started %s, ended %s, exit status %s.\n", last[Column::Start].c_str(),
                     last[Column::End].c_str(), last[Column::Status].c_str());
    else if (last.interrupted())
        std::fprintf(out, "Started %s, %s at %s, exit status %s.\n", last[Column::Start].c_str(),
                     outcome.c_str(), last[Column::End].c_str(), last[Column::Status].c_str());
    else if (outcome == kRunning)
        std::fprintf(out, "Started %s, still running.\n", last[Column::Start].c_str());
    else
        std::fprintf(out,
                     "Started %s, did not finish: it ended without recording its end (killed, "
                     "or the computer stopped). Not everything may have been backed up.\n",
                     last[Column::Start].c_str());

    const std::string log = last[Column::Log].empty() ? "" : folder + "/" + last[Column::Log];
    const bool ended = last.finished() || last.interrupted();
    const std::string summary = ended ? summaryFromLog(log, last) : "";
    if (!summary.empty()) {
        std::fputs(summary.c_str(), out);
        std::fprintf(out, "Log: %s\n", visible(log).c_str());
    } else if (ended) {
        std::fprintf(out,
                     "Summary: %s file(s) copied (%s), %s left out by the date, %s failure(s).\n",
                     last[Column::Files].c_str(), bytesText(last[Column::Bytes]).c_str(),
                     last[Column::LeftOut].empty() ? "?" : last[Column::LeftOut].c_str(),
                     last[Column::Failures].c_str());
        std::fprintf(out, "Its log no longer holds the summary.\n");
    } else if (!log.empty() && ::access(log.c_str(), F_OK) == 0) {
        std::fprintf(out, "Log (as far as it got): %s\n", visible(log).c_str());
    }
    if (const std::string unrecorded = unrecordedRuns(folder, last[Column::Log]);
        !unrecorded.empty()) {
        std::fprintf(out, "%s\n", unrecorded.c_str());
        return 2;
    }
    if (!last.finished())
        return 2;
    return last[Column::Failures] == "0" && last[Column::Status] == "0" ? 0 : 1;
}

int printHistory(std::FILE* out)
{
    const std::vector<RunRecord> runs = runsOrSay(out, stateFolder(), kHistoryRead);
    if (runs.empty())
        return 0;
    const char* row = "%-19s  %-22s  %7s  %10s  %8s  %6s  %s\n";
    std::fprintf(out, row, "Started", "Ended", "Files", "Bytes", "Failures", "Status", "Script");
    for (const RunRecord& run : runs) {
        const bool ended = run.finished() || run.interrupted();
        const std::string end = run.finished() ? run[Column::End] : run[Column::Outcome];
        std::fprintf(out, row, run[Column::Start].c_str(), end.c_str(),
                     ended ? run[Column::Files].c_str() : "?",
                     ended ? bytesText(run[Column::Bytes]).c_str() : "?",
                     ended ? run[Column::Failures].c_str() : "?",
                     ended ? run[Column::Status].c_str() : "-",
                     visible(run[Column::Script]).c_str());
    }
    return 0;
}

} // namespace tarvik::minicmd
