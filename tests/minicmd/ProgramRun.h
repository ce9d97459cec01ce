#pragma once
// Runs a real program for a test with a bound on how long it may take: with
// no terminal (standard input from /dev/null or from a pipe nobody writes
// to), or on a pseudo-terminal that answers its questions.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testfiles {

// Whether a program's output (or any text) holds `part`.
inline bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment
{
  public:
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }
    void set(const std::string& name, const char* value)
    {
        const char* old = std::getenv(name.c_str());
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }
    // No display and nothing found on PATH but what the test puts there.
    void hermetic(const std::string& path)
    {
        set("DISPLAY", nullptr);
        set("WAYLAND_DISPLAY", nullptr);
        set("TERMINAL", nullptr);
        set("PATH", path.c_str());
    }
    // As hermetic(), with a display and `terminal` as the user's terminal.
    void withTerminal(const std::string& path, const std::string& terminal)
    {
        hermetic(path);
        set("DISPLAY", ":77");
        set("TERMINAL", terminal.c_str());
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

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
// of `questions` than have been answered, `whileAsked` is told the number of
// the answer due, then the next of `answers` is typed, followed by Enter.
// Output keeps the terminal's CR LF line ends.
ProgramResult runOnTerminal(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& questions,
                            const std::vector<std::string>& answers,
                            std::chrono::milliseconds bound = std::chrono::seconds(60),
                            const std::function<void(std::size_t)>& whileAsked = {});

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
