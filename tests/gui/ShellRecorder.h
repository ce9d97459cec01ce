#pragma once
// A System for GUI tests: a fixed clock, and a shell that records what it is
// asked to do instead of doing it.

#include "System.h"

#include <optional>
#include <string>
#include <vector>

struct ShellCall
{
    tarvik::platform::WindowHandle owner;
    std::optional<std::string> verb, file, parameters, directory;
    int showCommand;
};

class ShellRecorder final : public tarvik::platform::System
{
  public:
    tarvik::platform::LocalDateTime now() override { return {m_today, 10, 30, 0, 0}; }
    std::string shortDateText(const tarvik::platform::CivilDate& date) override
    {
        return std::to_string(date.day) + "/" + std::to_string(date.month) + "/" +
               std::to_string(date.year);
    }
    std::string modulePath() override { return "/opt/tarvik/TarvikBackUp"; }
    void shellExecute(tarvik::platform::WindowHandle owner, const char* verb, const char* file,
                      const char* parameters, const char* directory, int showCommand) override
    {
        const auto text = [](const char* value) {
            return value ? std::optional<std::string>(value) : std::nullopt;
        };
        calls.push_back(
            {owner, text(verb), text(file), text(parameters), text(directory), showCommand});
    }
    int startupShowCommand() override { return tarvik::platform::ShowDefault; }

    void setToday(const tarvik::platform::CivilDate& date) { m_today = date; }

    std::vector<ShellCall> calls;

  private:
    tarvik::platform::CivilDate m_today{2026, 12, 7};
};
