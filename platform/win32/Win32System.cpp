#include "platform/System.h"

// windows.h goes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace tarvik::platform {
namespace {

SYSTEMTIME toSystemTime(const CivilDate& date)
{
    SYSTEMTIME when{};
    when.wYear = static_cast<WORD>(date.year);
    when.wMonth = static_cast<WORD>(date.month);
    when.wDay = static_cast<WORD>(date.day);
    return when;
}

class Win32System final : public System
{
  public:
    LocalDateTime now() override
    {
        SYSTEMTIME local{};
        ::GetLocalTime(&local);
        return {{local.wYear, local.wMonth, local.wDay},
                local.wHour,
                local.wMinute,
                local.wSecond,
                local.wMilliseconds};
    }

    std::string shortDateText(const CivilDate& date) override
    {
        const SYSTEMTIME when = toSystemTime(date);
        char buffer[256];
        const int length = ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr,
                                            buffer, static_cast<int>(sizeof buffer));
        // The length counts the terminating null; 0 means the date was refused.
        return length > 0 ? std::string(buffer, static_cast<size_t>(length - 1)) : std::string();
    }

    std::string modulePath() override
    {
        char buffer[MAX_PATH];
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
        return std::string(buffer, length < MAX_PATH ? length : MAX_PATH);
    }

    void shellExecute(WindowHandle owner, const char* verb, const char* file,
                      const char* parameters, const char* directory, int showCommand) override
    {
        ::ShellExecuteA(static_cast<HWND>(owner), verb, file, parameters, directory, showCommand);
    }

    int startupShowCommand() override
    {
        STARTUPINFOA info{};
        info.cb = sizeof info;
        ::GetStartupInfoA(&info);
        return (info.dwFlags & STARTF_USESHOWWINDOW) ? info.wShowWindow : SW_SHOWDEFAULT;
    }
};

} // namespace

System& native()
{
    static Win32System system;
    return system;
}

} // namespace tarvik::platform
