#pragma once
// Everything the interpreter says and asks. On a terminal it keeps a live
// progress line under the output and may ask questions; otherwise it prints
// plain lines only and never reads input.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tarvik::minicmd {

enum class OverwriteAnswer
{
    Yes,
    No,
    All,
};

class Console
{
  public:
    // `interactive`: input comes from a terminal, so questions may be asked.
    // `live`: output goes to a terminal, so a progress line may be drawn.
    Console(std::FILE* out, std::FILE* in, bool interactive, bool live);
    // Decides both from whether stdin and stdout are terminals.
    static Console forStandardStreams();

    bool interactive() const { return m_interactive; }

    void line(const std::string& text);
    void error(const std::string& text);

    // Counts a copied file and redraws the progress line now and then.
    void copied(std::uint64_t bytes, const std::string& folder);
    void folder(const std::string& folder);
    // Between copies: no progress line until the next folder.
    void idle();

    OverwriteAnswer askOverwrite(const std::string& path);

    // The final summary of the whole run (terminal only).
    void finish(int failures);

  private:
    void clearProgress();
    void drawProgress(bool force);

    std::FILE* m_out;
    std::FILE* m_in;
    bool m_interactive;
    bool m_live;
    bool m_progressShown = false;
    std::uint64_t m_files = 0;
    std::uint64_t m_bytes = 0;
    std::string m_folder;
    std::chrono::steady_clock::time_point
        m_lastDraw{}; // progress is redrawn at most ten times a second
    std::chrono::steady_clock::time_point m_started;
};

} // namespace tarvik::minicmd
