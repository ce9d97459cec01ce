#pragma once
// Runs a real program for a test with a bound on how long it may take: with
// no terminal (standard input from /dev/null or from a pipe nobody writes
// to), or on a pseudo-terminal that answers its questions.

#include <chrono>
#include <string>
#include <vector>

namespace testfiles {

struct ProgramResult
{
    int exitCode = -1;     // -1 when it did not exit normally
    bool timedOut = false; // killed at the bound
    std::string output;    // standard output and standard error together
};

enum class Input
{
    DevNull,
    SilentPipe, // open, never written, never closed: reading it would hang
};

ProgramResult runProgram(const std::vector<std::string>& arguments, Input input = Input::DevNull,
                         bool asUnprivileged = false,
                         std::chrono::milliseconds bound = std::chrono::seconds(60));

// Runs the program on a pseudo-terminal. Each time its output shows one more
// `question` than has been answered, the next of `answers` is typed, followed
// by Enter. Output keeps the terminal's CR LF line ends.
ProgramResult runOnTerminal(const std::vector<std::string>& arguments, const std::string& question,
                            const std::vector<std::string>& answers,
                            std::chrono::milliseconds bound = std::chrono::seconds(60));

void pauseBriefly();

// Waits until `done` holds or the bound passes, checking every few
// milliseconds; returns the last answer of `done`.
template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds bound = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return done();
        pauseBriefly();
    }
    return true;
}

} // namespace testfiles
