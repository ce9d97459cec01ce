// The native System on Windows, from inside processes started the way a
// shell or a scheduler starts the program.
#include "Check.h"
#include "TestFiles.h"
#include "platform/System.h"

#include <optional>
#include <string>
#include <windows.h>

using namespace tarvik::platform;
using testfiles::TempDir;

namespace {

std::string probePath()
{
    char own[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, own, MAX_PATH);
    std::string path(own, length);
    return path.substr(0, path.rfind('\\') + 1) + "SystemProbe.exe";
}

// Windows paths name the same file in any letter case.
std::string folded(std::string text)
{
    ::CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

struct ProbeReport
{
    std::string modulePath;
    std::string settingsPath;
    int showCommand = -1;
};

// Starts `program` with `showCommand` in its start-up information (none when
// empty) and reads the three lines it prints.
std::optional<ProbeReport> runProbe(const std::string& program, std::optional<WORD> showCommand)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return std::nullopt;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = writeEnd;
    start.hStdError = writeEnd;
    if (showCommand) {
        start.dwFlags |= STARTF_USESHOWWINDOW;
        start.wShowWindow = *showCommand;
    }
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + program + "\"";
    const BOOL started = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr,
                                          TRUE, 0, nullptr, nullptr, &start, &process);
    ::CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[1024];
        DWORD got = 0;
        while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
            output.append(buffer, got);
        ::WaitForSingleObject(process.hProcess, 30'000);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(readEnd);
    if (!started)
        return std::nullopt;
    // The probe's standard output is in text mode: its lines end in CR LF.
    std::erase(output, '\r');
    ProbeReport report;
    const size_t first = output.find('\n');
    const size_t second = output.find('\n', first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return std::nullopt;
    report.modulePath = output.substr(0, first);
    report.settingsPath = output.substr(first + 1, second - first - 1);
    report.showCommand = std::atoi(output.c_str() + second + 1);
    return report;
}

} // namespace

TEST_CASE(settingsPathFollowsTheExecutablesNameWithAndWithoutExtension)
{
    TempDir dir;
    const std::string folder = dir.path() + "\\My.Tools";
    REQUIRE(::CreateDirectoryA(folder.c_str(), nullptr));
    struct Row
    {
        const char* name;
        std::string program;
        std::string settings;
    };
    const Row rows[] = {
        {"with extension", folder + "\\TarvikBackUp.exe", folder + "\\TarvikBackUp.INI"},
        {"without extension", folder + "\\TarvikBackUp", folder + "\\TarvikBackUp.INI"},
        {"two dots", folder + "\\Tarvik.Back.Up.exe", folder + "\\Tarvik.Back.Up.INI"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        REQUIRE(::CopyFileA(probePath().c_str(), row.program.c_str(), FALSE));
        const auto report = runProbe(row.program, std::nullopt);
        REQUIRE(report.has_value());
        CHECK_EQ(folded(report->modulePath), folded(row.program));
        CHECK_EQ(folded(report->settingsPath), folded(row.settings));
        // The extension is replaced, the folder kept as the system spells it.
        CHECK_EQ(report->settingsPath.substr(0, report->settingsPath.rfind('\\')),
                 report->modulePath.substr(0, report->modulePath.rfind('\\')));
    }
}

TEST_CASE(startupShowCommandIsTheStartersWhenGiven)
{
    const std::pair<std::optional<WORD>, int> rows[] = {
        {std::nullopt, SW_SHOWDEFAULT},
        {WORD(SW_SHOWMINNOACTIVE), SW_SHOWMINNOACTIVE},
        {WORD(SW_SHOWMAXIMIZED), SW_SHOWMAXIMIZED},
        {WORD(SW_SHOWNORMAL), SW_SHOWNORMAL},
        {WORD(SW_HIDE), SW_HIDE},
    };
    for (const auto& [given, expected] : rows) {
        CHECK_CONTEXT(std::to_string(expected));
        const auto report = runProbe(probePath(), given);
        REQUIRE(report.has_value());
        CHECK_EQ(report->showCommand, expected);
    }
}

TEST_CASE(shortDateFollowsTheUsersFormat)
{
    char saved[80];
    REQUIRE(::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, saved, sizeof saved) > 0);
    const std::pair<const char*, const char*> rows[] = {
        {"M/d/yyyy", "12/6/2026"},
        {"dd.MM.yyyy", "06.12.2026"},
        {"yyyy/MM/dd", "2026/12/06"},
        {"d-M-yy", "6-12-26"},
    };
    for (const auto& [pattern, expected] : rows) {
        CHECK_CONTEXT(pattern);
        REQUIRE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, pattern));
        CHECK_EQ(native().shortDateText({2026, 12, 6}), expected);
    }
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, saved);
}
