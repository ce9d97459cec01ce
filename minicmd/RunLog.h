#pragma once
// The record of every run, in the user's state folder: a log of what the run
// showed, a list of the copies it made (to check them later), both named by
// the run's start time, and its lines in the history. A record that cannot
// be written never fails the backup.

#include "minicmd/Console.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace tarvik::minicmd {

// How many runs keep their log and list of copies; older ones are removed,
// and so are the oldest while all of them together take more than kKeptBytes.
inline constexpr std::size_t kKeptLogs = 100;
inline constexpr std::uint64_t kKeptBytes = 50ull << 20;

// $XDG_STATE_HOME/tarvikbackup, else ~/.local/state/tarvikbackup; "" when
// neither can be told.
std::string stateFolder();

// "2026-12-08 05:14:28", local time.
std::string localTimeText(std::time_t when);

class RunLog
{
  public:
    // Starts the record of a run of `script`; troubles are told on `console`,
    // which also gets the log to write to and the copies to list.
    RunLog(const std::string& script, Console& console);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The log's full path, "" when there is none.
    const std::string& path() const { return m_path; }
    std::time_t started() const { return m_started; }

    // Closes the log and records how the run ended, after `console` has shown
    // the summary.
    void finish(const RunSummary& summary, int exitStatus);

  private:
    void recordCopy(const std::string& destination, const CopiedFile& copy);

    Console& m_console;
    std::string m_folder;
    std::string m_script;
    std::string m_path;
    std::string m_run; // names the run in the history
    std::FILE* m_file = nullptr;
    std::FILE* m_copies = nullptr;
    int m_lock = -1; // held while the run goes on: readers tell a live run by it
    std::time_t m_started;
};

// `minicmd --last`: how the last run went, from the history and the summary
// its log holds where the history says. Returns 0 when it ended without
// failures, 1 when it had failures, 2 when it did not finish (or none is
// recorded).
int printLastRun(std::FILE* out);
// `minicmd --history`: every recorded run as a table.
int printHistory(std::FILE* out);
// `minicmd --verify [LOG]`: re-reads every copy the last run (or the run of
// LOG) made. Returns 0 when all are intact, 1 when any is not, 2 when there
// is nothing to check.
int verifyCopies(std::FILE* out, const std::string& log);

} // namespace tarvik::minicmd
