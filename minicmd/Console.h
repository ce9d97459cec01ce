#pragma once
// Everything the interpreter says and asks. On a terminal it keeps a live
// progress line under the output and may ask questions; otherwise it prints
// plain lines only and never reads input. What it says (never the progress
// line) also goes to the run's log, and every error is kept for the summary.

#include "minicmd/FileCopy.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tarvik::minicmd {

enum class OverwriteAnswer
{
    Yes,
    No,
    All,
};

// What a run did, for its closing summary.
struct RunSummary
{
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t leftOut = 0; // matched, but older than the /D: date
    int failureCount = 0;
    std::vector<std::string> failures; // the messages, in order
    double seconds = 0;
    // What the user must know although nothing failed: folders not found, a
    // file type that matched nothing, changes that no backup holds.
    std::vector<std::string> warnings;
    std::string interruptedBy; // "SIGTERM" when a signal ended the run
};

// The summary as lines of text: the counts, then the failures (at most
// `kListedFailures` of them, then how many more there were).
inline constexpr std::size_t kListedFailures = 50;
std::vector<std::string> summaryLines(const RunSummary& summary);

// 1536 -> "1.5 KiB"
std::string humanBytes(std::uint64_t bytes);

class Console
{
  public:
    // `interactive`: input comes from a terminal, so questions may be asked.
    // `live`: output goes to a terminal, so a progress line may be drawn.
    Console(std::FILE* out, std::FILE* in, bool interactive, bool live);
    // Decides both from whether stdin and stdout are terminals.
    static Console forStandardStreams();

    bool interactive() const { return m_interactive; }
    bool live() const { return m_live; }

    // Also writes what is said to `log` (named `path` in the one message shown
    // should writing it fail; the run goes on without it then).
    void attachLog(std::FILE* log, std::string path);
    // Flushes the log; false (after telling the user once) when it failed.
    bool flushLog();
    // Tells the user, once per run, that the record of the run is incomplete.
    void logTrouble(const std::string& text);

    void line(const std::string& text);
    // A failure: said like a line and kept for the summary.
    void error(const std::string& text);

    // The file about to be copied, and how much of it is in place so far.
    void copying(const std::string& path, std::uint64_t size);
    void progress(std::uint64_t done);
    // Counts a copied file (now at `destination`), hands it to whoever keeps
    // the record of copies, and redraws the progress line now and then.
    void copied(const std::string& destination, const CopiedFile& copy, const std::string& folder);
    using CopyRecorder = std::function<void(const std::string& destination, const CopiedFile&)>;
    void recordCopiesWith(CopyRecorder recorder) { m_recordCopy = std::move(recorder); }
    // Counts a file that the date left out.
    void leftOut() { ++m_summary.leftOut; }
    // Says `text` and keeps it for the summary, without failing the run.
    void warning(const std::string& text);
    void folder(const std::string& folder);
    // Between copies: no progress line until the next folder.
    void idle();

    OverwriteAnswer askOverwrite(const std::string& path);

    // The run's totals so far, with `failures` as the number of failures.
    RunSummary summary(int failures) const;
    // Shows the closing summary (and logs it).
    void finish(const RunSummary& summary);
    // On a terminal, after a run with failures or warnings (a folder that
    // was not backed up): keeps the window open until the user presses Enter.
    void holdOnTrouble(const RunSummary& summary);

  private:
    void say(const std::string& text);
    void clearProgress();
    void drawProgress(bool force);

    std::FILE* m_out;
    std::FILE* m_in;
    bool m_interactive;
    bool m_live;
    std::FILE* m_log = nullptr;
    CopyRecorder m_recordCopy;
    std::string m_logPath;
    bool m_logTroubleTold = false;
    bool m_progressShown = false;
    RunSummary m_summary;
    std::string m_folder;
    std::string m_file; // being copied, "" between files
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_fileDone = 0;
    std::chrono::steady_clock::time_point
        m_lastDraw{}; // progress is redrawn at most ten times a second
    std::chrono::steady_clock::time_point m_started;
};

} // namespace tarvik::minicmd
