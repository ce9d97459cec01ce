#pragma once
// The one System for tests: a fixed clock, a short date format, an executable
// path and a start-up show command, each of the test's choosing, and a shell
// that records what it was asked instead of starting anything. Install it
// with platform::ScopedSystem.

#include "platform/System.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testfiles {

class TestSystem : public tarvik::platform::System
{
  public:
    struct ShellCall
    {
        tarvik::platform::WindowHandle owner;
        std::string verb;
        std::string file;
        std::string parameters; // "" when none were given
        bool withDirectory;
        int showCommand;
    };

    TestSystem() = default;
    // The executable where a test wants it, so that the settings file lies
    // in the test's own folder.
    explicit TestSystem(std::string modulePath) : module(std::move(modulePath)) {}

    tarvik::platform::LocalDateTime clock{{2026, 12, 6}, 14, 30, 0, 0};
    // d, dd, M, MM, yy and yyyy stand for the date's parts; anything else is
    // written as it stands ("M/d/yyyy", "dd.MM.yyyy", "yyyy/MM/dd").
    std::string shortDatePattern = "M/d/yyyy";
    std::string module = "/opt/tarvik/TarvikBackUp";
    int showCommand = tarvik::platform::ShowNormal;
    std::vector<ShellCall> shellCalls;
    // When set, each shell call recorded also goes on to it: a real shell,
    // for a test of what the user meets when one fails.
    std::function<void(tarvik::platform::WindowHandle, const char*, const char*, const char*,
                       const char*, int)>
        passOn;

    tarvik::platform::LocalDateTime now() override { return clock; }

    std::string shortDateText(const tarvik::platform::CivilDate& date) override
    {
        std::string text;
        const std::string& p = shortDatePattern;
        for (size_t i = 0; i < p.size();) {
            size_t run = 1;
            while (i + run < p.size() && p[i + run] == p[i])
                ++run;
            const auto padded = [&](int value, size_t width) {
                std::string digits = std::to_string(value);
                if (digits.size() < width)
                    digits.insert(0, width - digits.size(), '0');
                return digits;
            };
            if (p[i] == 'd')
                text += padded(date.day, run);
            else if (p[i] == 'M')
                text += padded(date.month, run);
            else if (p[i] == 'y')
                text += run == 2 ? padded(date.year % 100, 2) : std::to_string(date.year);
            else
                text.append(run, p[i]);
            i += run;
        }
        return text;
    }

    std::string modulePath() override { return module; }

    void shellExecute(tarvik::platform::WindowHandle owner, const char* verb, const char* file,
                      const char* parameters, const char* directory, int showCommand) override
    {
        shellCalls.push_back({owner, verb ? verb : "", file ? file : "",
                              parameters ? parameters : "", directory != nullptr, showCommand});
        if (passOn)
            passOn(owner, verb, file, parameters, directory, showCommand);
    }

    int startupShowCommand() override { return showCommand; }

    // Whether the last script's interpreter is to be taken as still running;
    // when `runningFrom` is set, its answer (a real shell's, say).
    bool interpreterRunning = false;
    std::function<bool()> runningFrom;
    bool scriptRunning() override { return runningFrom ? runningFrom() : interpreterRunning; }
};

} // namespace testfiles
