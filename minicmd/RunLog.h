#pragma once
// The record of every run: a log of what the run showed, named by its start
// time, and one line per run in a history file, both in the user's state
// folder. A record that cannot be written never fails the backup.

#include "minicmd/Console.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace tarvik::minicmd {

// How many run logs are kept; older ones are removed when a run starts.
inline constexpr std::size_t kKeptLogs = 100;

// $XDG_STATE_HOME/tarvikbackup, else ~/.local/state/tarvikbackup; "" when
// neither can be told.
std::string stateFolder();

// "2026-12-08 05:14:28", local time.
std::string localTimeText(std::time_t when);

class RunLog
{
  public:
    // Starts the record of a run of `script`; troubles are told on `console`,
    // which also gets the log to write to.
    RunLog(const std::string& script, Console& console);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The log's full path, "" when there is none.
    const std::string& path() const { return m_path; }

    // Closes the log and appends the run's line to the history.
    void finish(const RunSummary& summary, int exitStatus);

  private:
    Console& m_console;
    std::string m_folder;
    std::string m_script;
    std::string m_path;
    std::FILE* m_file = nullptr;
    std::time_t m_started;
};

// `minicmd --last`: the summary of the last run, from its log (or a line
// saying that no run is recorded). Returns the exit status for the command.
int printLastRun(std::FILE* out);
// `minicmd --history`: every recorded run as a table.
int printHistory(std::FILE* out);

} // namespace tarvik::minicmd
