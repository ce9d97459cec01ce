#pragma once
// What one xcopy line says. Lines that share a walk run side by side, yet the
// terminal and the log must read as if each ran after the one before it: the
// first line speaks at once, the others keep what they say for their turn.

#include "minicmd/Console.h"

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvik::minicmd {

class LineOutput
{
  public:
    LineOutput(Console& console, bool deferred) : m_console(console), m_deferred(deferred) {}

    void line(const std::string& text);
    void error(const std::string& text);
    void leftOut();
    void copied(const std::string& destination, const CopiedFile& copy, const std::string& folder);

    // The progress line shows what is being done now, whichever line it is for.
    void copying(const std::string& path, std::uint64_t size) { m_console.copying(path, size); }
    void progress(std::uint64_t done) { m_console.progress(done); }

    // Questions are asked only of a line that speaks at once.
    bool interactive() const { return !m_deferred && m_console.interactive(); }
    OverwriteAnswer askOverwrite(const std::string& path) { return m_console.askOverwrite(path); }

    // Says what was kept, in the order it was said; from then on speaks at
    // once. False when part of it was lost.
    bool release();

    LineOutput(const LineOutput&) = delete;
    LineOutput& operator=(const LineOutput&) = delete;
    ~LineOutput();

  private:
    enum class Kind
    {
        Line,
        Error,
        LeftOut,
        Copied,
    };
    struct Said
    {
        Kind kind;
        std::string text; // the line, or the copy's destination
        CopiedFile copy;
        std::string folder;
    };

    void keep(Said said);
    void say(const Said& said);
    // Writes what is pending to the unnamed file, or keeps it in memory when
    // the file fails.
    void spill();
    static bool read(std::FILE* file, Said& said);

    // A line copying many files keeps most of what it says in an unnamed
    // file, so that memory stays bounded however large the tree.
    static constexpr std::size_t kKeptInMemory = 2048;
    static constexpr std::size_t kSpillStep = 64 * 1024;

    Console& m_console;
    bool m_deferred;
    std::vector<Said> m_kept;
    std::FILE* m_spilled = nullptr; // what was kept beyond m_kept, in order
    off_t m_spilledSize = 0;        // of it, whole
    std::string m_pending;          // for it, not written yet
    bool m_spillFailed = false;
    std::vector<Said> m_afterSpill; // what the file did not take, in order
};

} // namespace tarvik::minicmd
