#include "minicmd/Console.h"

#include "minicmd/VisibleText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

std::string shortened(const std::string& text, std::size_t most)
{
    return text.size() > most ? "..." + text.substr(text.size() - (most - 3)) : text;
}

} // namespace

std::string humanBytes(std::uint64_t bytes)
{
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

std::vector<std::string> summaryLines(const RunSummary& summary)
{
    char counts[256];
    std::snprintf(counts, sizeof counts,
                  "Summary: %llu file(s) copied (%s) in %.1f s, %llu left out by the date, %d "
                  "failure(s).",
                  static_cast<unsigned long long>(summary.files), humanBytes(summary.bytes).c_str(),
                  summary.seconds, static_cast<unsigned long long>(summary.leftOut),
                  summary.failureCount);
    std::vector<std::string> lines{counts};
    if (!summary.interruptedBy.empty())
        lines.push_back("Interrupted by " + summary.interruptedBy +
                        ": the run did not finish, and not everything was backed up.");
    lines.insert(lines.end(), summary.warnings.begin(), summary.warnings.end());
    const std::size_t known = summary.failures.size();
    const std::size_t total = std::max<std::size_t>(known, std::size_t(summary.failureCount));
    if (total == 0)
        return lines;
    lines.emplace_back("Failures:");
    const std::size_t listed = std::min(known, kListedFailures);
    for (std::size_t i = 0; i < listed; ++i)
        lines.push_back("  " + summary.failures[i]);
    if (total > listed)
        lines.push_back("  ... and " + std::to_string(total - listed) + " more failure(s)");
    return lines;
}

Console::Console(std::FILE* out, std::FILE* in, bool interactive, bool live)
    : m_out(out), m_in(in), m_interactive(interactive), m_live(live),
      m_started(std::chrono::steady_clock::now())
{}

Console Console::forStandardStreams()
{
    return Console(stdout, stdin, ::isatty(STDIN_FILENO) == 1, ::isatty(STDOUT_FILENO) == 1);
}

void Console::attachLog(std::FILE* log, std::string path)
{
    m_log = log;
    m_logPath = std::move(path);
}

bool Console::flushLog()
{
    if (!m_log)
        return false;
    if (std::fflush(m_log) == 0 && !std::ferror(m_log))
        return true;
    const int code = errno;
    std::fclose(m_log);
    m_log = nullptr;
    logTrouble("Cannot write the run log " + m_logPath + ": " + std::strerror(code));
    return false;
}

void Console::logTrouble(const std::string& text)
{
    if (m_logTroubleTold)
        return;
    m_logTroubleTold = true;
    clearProgress();
    std::fprintf(m_out, "%s. The backup goes on without a record.\n", text.c_str());
    std::fflush(m_out);
}

void Console::say(const std::string& shown)
{
    // Texts hold names; none may start a line of its own or reach the terminal raw.
    const std::string text = visible(shown);
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fputc('\n', m_out);
    if (m_log) {
        std::fwrite(text.data(), 1, text.size(), m_log);
        std::fputc('\n', m_log);
        if (std::ferror(m_log))
            flushLog();
    }
}

void Console::line(const std::string& text)
{
    clearProgress();
    say(text);
    drawProgress(false);
}

void Console::error(const std::string& text)
{
    // Errors go to the same stream so that they stay in order with the file
    // lines around them, as the user reads them in one window.
    m_summary.failures.push_back(visible(text));
    line(text);
    std::fflush(m_out);
    if (m_log)
        flushLog();
}

void Console::warning(const std::string& text)
{
    m_summary.warnings.push_back(visible(text));
    line(text);
}

void Console::copying(const std::string& path, std::uint64_t size)
{
    m_file = path;
    m_fileSize = size;
    m_fileDone = 0;
    drawProgress(false);
}

void Console::progress(std::uint64_t done)
{
    m_fileDone = done;
    drawProgress(false);
}

void Console::copied(const std::string& destination, const CopiedFile& copy,
                     const std::string& folder)
{
    ++m_summary.files;
    m_summary.bytes += copy.bytes;
    if (m_recordCopy)
        m_recordCopy(destination, copy);
    m_folder = folder;
    m_file.clear();
    m_fileDone = 0;
    drawProgress(false);
}

void Console::folder(const std::string& folder)
{
    m_folder = folder;
    m_file.clear();
    drawProgress(false);
}

void Console::idle()
{
    clearProgress();
    m_folder.clear();
    m_file.clear();
}

OverwriteAnswer Console::askOverwrite(const std::string& path)
{
    clearProgress();
    for (;;) {
        const std::string question = "Overwrite " + visible(path) + " (Yes/No/All)? ";
        std::fputs(question.c_str(), m_out);
        std::fflush(m_out);
        char answer[64];
        if (!std::fgets(answer, sizeof answer, m_in)) {
            // Input has ended: nobody can say yes, so nothing is overwritten.
            std::fputc('\n', m_out);
            if (m_log)
                std::fprintf(m_log, "%s\n", question.c_str());
            return OverwriteAnswer::No;
        }
        if (m_log)
            std::fprintf(m_log, "%s%s", question.c_str(), answer);
        switch (std::tolower(static_cast<unsigned char>(answer[0]))) {
        case 'y':
            return OverwriteAnswer::Yes;
        case 'n':
            return OverwriteAnswer::No;
        case 'a':
            return OverwriteAnswer::All;
        default:
            break;
        }
    }
}

RunSummary Console::summary(int failures) const
{
    RunSummary summary = m_summary;
    summary.failureCount = failures;
    summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    return summary;
}

void Console::finish(const RunSummary& summary)
{
    clearProgress();
    say("");
    for (const std::string& text : summaryLines(summary))
        say(text);
    std::fflush(m_out);
    if (m_log)
        flushLog();
}

void Console::holdOnTrouble(const RunSummary& summary)
{
    if ((summary.failureCount == 0 && summary.warnings.empty()) || !m_interactive || !m_live)
        return;
    std::fputs("Press Enter to close this window.", m_out);
    std::fflush(m_out);
    for (int c = std::fgetc(m_in); c != EOF && c != '\n'; c = std::fgetc(m_in)) {
    }
}

void Console::clearProgress()
{
    if (m_progressShown) {
        std::fputs("\r\033[K", m_out);
        m_progressShown = false;
    }
}

void Console::drawProgress(bool force)
{
    if (!m_live || m_folder.empty())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < std::chrono::milliseconds(100))
        return;
    m_lastDraw = now;
    const std::uint64_t total = m_summary.bytes + m_fileDone;
    const double seconds = std::chrono::duration<double>(now - m_started).count();
    const std::uint64_t rate =
        seconds > 0 ? static_cast<std::uint64_t>(static_cast<double>(total) / seconds) : 0;
    std::string text = "[" + std::to_string(m_summary.files) + " file(s), " + humanBytes(total) +
                       ", " + humanBytes(rate) + "/s] ";
    if (!m_file.empty())
        text += shortened(visible(m_file), 40) + " " + humanBytes(m_fileDone) + " of " +
                humanBytes(m_fileSize);
    else
        text += shortened(visible(m_folder), 50);
    if (m_progressShown)
        std::fputs("\r\033[K", m_out);
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
    m_progressShown = true;
}

} // namespace tarvik::minicmd
