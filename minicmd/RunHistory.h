#pragma once
// The history of runs: one file of tab-separated lines in the state folder.
// A run appends a line when it starts and another when it ends, so that a
// run that never recorded its end (killed outright, power lost) still shows.
// Each line carries a check of its own text: a line cut short by a full disk
// is told from a whole one, and never taken for a record.

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::minicmd {

// The history's columns, in the order of the file. Files written before the
// run's outcome was kept have only the first eight.
#define TARVIK_HISTORY_COLUMNS(X)                                                                  \
    X(Start, "start")                                                                              \
    X(End, "end")                                                                                  \
    X(Script, "script")                                                                            \
    X(Files, "files copied")                                                                       \
    X(Bytes, "bytes")                                                                              \
    X(Failures, "failures")                                                                        \
    X(Status, "exit status")                                                                       \
    X(Log, "log")                                                                                  \
    X(Outcome, "outcome")                                                                          \
    X(LeftOut, "left out")                                                                         \
    X(SummaryAt, "summary at")                                                                     \
    X(SummarySize, "summary size")                                                                 \
    X(Run, "run")                                                                                  \
    X(Check, "check")

enum class Column
{
#define TARVIK_COLUMN_ENUM(name, heading) name,
    TARVIK_HISTORY_COLUMNS(TARVIK_COLUMN_ENUM)
#undef TARVIK_COLUMN_ENUM
        Count
};
inline constexpr std::size_t kColumns = static_cast<std::size_t>(Column::Count);
inline constexpr std::size_t kOldColumns = 8;

// What became of a run.
inline constexpr std::string_view kRunning = "running"; // the line written at its start
inline constexpr std::string_view kFinished = "finished";
inline constexpr std::string_view kInterruptedBy = "interrupted by "; // + "SIGTERM"
inline constexpr std::string_view kDidNotFinish = "did not finish";   // told by readers only

// The history keeps this many runs; older ones are dropped as it grows.
inline constexpr std::size_t kKeptRuns = 1000;

struct RunRecord
{
    std::array<std::string, kColumns> fields;

    std::string& operator[](Column column) { return fields[static_cast<std::size_t>(column)]; }
    const std::string& operator[](Column column) const
    {
        return fields[static_cast<std::size_t>(column)];
    }
    bool finished() const { return (*this)[Column::Outcome] == kFinished; }
    bool interrupted() const { return (*this)[Column::Outcome].starts_with(kInterruptedBy); }
};

// The line for `record` (its fields are made safe here), with its check.
std::string historyLine(RunRecord record);
// The record a line holds; false for a line that is not well formed.
bool parseHistoryLine(std::string_view line, RunRecord& record);

// Opens a record file without following a link and without waiting on a
// FIFO; only regular files are accepted (errno EINVAL otherwise).
int openRecordFile(const std::string& path, int flags);

// A lock on the state folder, for one read, change and replace of a record
// by runs that start or end together: waited for up to two seconds, since
// another run may hold it for a moment, but one that holds it for longer
// does not get to stop this one. Held until destroyed.
class FolderLock
{
  public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return m_held; }

  private:
    int m_fd;
    bool m_held = false;
};

// Whether the run that writes `log` is still going: a run holds a lock on
// its log for as long as it runs, and the lock goes with its process.
bool logIsHeld(const std::string& log);

// Up to `most` bytes at the end of the file open as `fd`, from the start of
// a line.
std::string readTail(int fd, std::size_t most);

// Appends `line` to the history in `folder` whole or not at all; "" or the
// reason it could not be. Drops the oldest runs once the file has grown.
std::string appendHistory(const std::string& folder, const std::string& line);

// The runs recorded at the end of the history (within `most` bytes), oldest
// first, one record per run. A run whose end is not recorded is kRunning
// while its process is alive, kDidNotFinish once it is not.
std::vector<RunRecord> recordedRuns(const std::string& folder, std::size_t most);

} // namespace tarvik::minicmd
