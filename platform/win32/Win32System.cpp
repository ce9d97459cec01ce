#include "platform/System.h"

// windows.h goes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
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

    ~Win32System() override { forgetScript(); }

    void shellExecute(WindowHandle owner, const char* verb, const char* file,
                      const char* parameters, const char* directory, int showCommand) override
    {
        if (!isBatchScript(file)) {
            ::ShellExecuteA(static_cast<HWND>(owner), verb, file, parameters, directory,
                            showCommand);
            return;
        }
        // The same request, keeping the interpreter's process: cmd reads the
        // script while it runs it, so the script must stay until it ends.
        SHELLEXECUTEINFOA request{};
        request.cbSize = sizeof request;
        request.fMask = SEE_MASK_NOCLOSEPROCESS;
        request.hwnd = static_cast<HWND>(owner);
        request.lpVerb = verb;
        request.lpFile = file;
        request.lpParameters = parameters;
        request.lpDirectory = directory;
        request.nShow = showCommand;
        if (::ShellExecuteExA(&request) && request.hProcess) {
            forgetScript();
            m_script = request.hProcess;
        }
    }

    void waitForScript() override
    {
        if (!m_script)
            return;
        // The program's windows are still painted meanwhile; nothing else of
        // theirs runs, so no command can start while a script is awaited.
        while (::MsgWaitForMultipleObjects(1, &m_script, FALSE, INFINITE, QS_PAINT) ==
               WAIT_OBJECT_0 + 1) {
            MSG message;
            while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
                ::DispatchMessageA(&message);
                // A window that left its area invalid would otherwise be sent
                // WM_PAINT again at once, for as long as the script runs.
                if (message.message == WM_PAINT)
                    ::ValidateRect(message.hwnd, nullptr);
            }
        }
        forgetScript();
    }

    int startupShowCommand() override
    {
        STARTUPINFOA info{};
        info.cb = sizeof info;
        ::GetStartupInfoA(&info);
        return (info.dwFlags & STARTF_USESHOWWINDOW) ? info.wShowWindow : SW_SHOWDEFAULT;
    }

  private:
    static bool isBatchScript(const char* file)
    {
        const char* extension = file ? ::PathFindExtensionA(file) : "";
        return ::lstrcmpiA(extension, ".bat") == 0 || ::lstrcmpiA(extension, ".cmd") == 0;
    }

    void forgetScript()
    {
        if (m_script)
            ::CloseHandle(m_script);
        m_script = nullptr;
    }

    // The interpreter that runs the last script, until it has been awaited.
    HANDLE m_script = nullptr;
};

} // namespace

System& native()
{
    static Win32System system;
    return system;
}

} // namespace tarvik::platform
