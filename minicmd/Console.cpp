#include "Console.h"

#include <cctype>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

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

} // namespace

Console::Console(std::FILE* out, std::FILE* in, bool interactive, bool live)
    : m_out(out), m_in(in), m_interactive(interactive), m_live(live),
      m_started(std::chrono::steady_clock::now())
{}

Console Console::forStandardStreams()
{
    return Console(stdout, stdin, ::isatty(STDIN_FILENO) == 1, ::isatty(STDOUT_FILENO) == 1);
}

void Console::line(const std::string& text)
{
    clearProgress();
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fputc('\n', m_out);
    drawProgress(false);
}

void Console::error(const std::string& text)
{
    // Errors go to the same stream so that they stay in order with the file
    // lines around them, as the user reads them in one window.
    line(text);
    std::fflush(m_out);
}

void Console::copied(std::uint64_t bytes, const std::string& folder)
{
    ++m_files;
    m_bytes += bytes;
    m_folder = folder;
    drawProgress(false);
}

void Console::folder(const std::string& folder)
{
    m_folder = folder;
    drawProgress(false);
}

void Console::idle()
{
    clearProgress();
    m_folder.clear();
}

OverwriteAnswer Console::askOverwrite(const std::string& path)
{
    clearProgress();
    for (;;) {
        std::fprintf(m_out, "Overwrite %s (Yes/No/All)? ", path.c_str());
        std::fflush(m_out);
        char answer[64];
        if (!std::fgets(answer, sizeof answer, m_in)) {
            // Input has ended: nobody can say yes, so nothing is overwritten.
            std::fputc('\n', m_out);
            return OverwriteAnswer::No;
        }
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

void Console::finish(int failures)
{
    if (!m_live)
        return;
    clearProgress();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    std::fprintf(m_out, "\nDone: %llu file(s), %s copied in %.1f s; %d failure(s).\n",
                 static_cast<unsigned long long>(m_files), humanBytes(m_bytes).c_str(), seconds,
                 failures);
    std::fflush(m_out);
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
    std::string folder = m_folder;
    if (folder.size() > 50)
        folder = "..." + folder.substr(folder.size() - 47);
    if (m_progressShown)
        std::fputs("\r\033[K", m_out);
    std::fprintf(m_out, "[%llu file(s), %s] %s", static_cast<unsigned long long>(m_files),
                 humanBytes(m_bytes).c_str(), folder.c_str());
    std::fflush(m_out);
    m_progressShown = true;
}

} // namespace tarvik::minicmd
