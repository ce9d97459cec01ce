#include "platform/System.h"

// windows.h goes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
// clang-format on

#include "platform/win32/Win32CreatedFiles.h"

#include <stdexcept>
#include <string>

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
        // cmd reads the script by name while it runs it: from before it starts
        // until it ends, nobody may change, replace or delete the script. Our
        // handle shares reading only. A script that cannot be held, or that
        // is not what this process wrote, is not run: in a folder others may
        // write to, its lines could be theirs.
        HANDLE script = holdScript(file);
        SHELLEXECUTEINFOA request{};
        request.cbSize = sizeof request;
        request.fMask = SEE_MASK_NOCLOSEPROCESS;
        request.hwnd = static_cast<HWND>(owner);
        request.lpVerb = verb;
        request.lpFile = file;
        request.lpParameters = parameters;
        request.lpDirectory = directory;
        request.nShow = showCommand;
        if (!::ShellExecuteExA(&request) || !request.hProcess) {
            ::CloseHandle(script);
            return;
        }
        forgetScript();
        m_interpreter = request.hProcess;
        m_script = script;
        // A copy of the handle in the interpreter's own process holds the
        // script for exactly as long as the interpreter lives, also after this
        // program has ended: whoever deletes it then (the next start) can do
        // so only once the backup is over.
        HANDLE inInterpreter = nullptr;
        ::DuplicateHandle(::GetCurrentProcess(), script, m_interpreter, &inInterpreter, 0, FALSE,
                          DUPLICATE_SAME_ACCESS);
    }

    bool scriptRunning() override
    {
        if (m_interpreter && ::WaitForSingleObject(m_interpreter, 0) == WAIT_TIMEOUT)
            return true;
        forgetScript();
        return false;
    }

    int startupShowCommand() override
    {
        STARTUPINFOA info{};
        info.cb = sizeof info;
        ::GetStartupInfoA(&info);
        return (info.dwFlags & STARTF_USESHOWWINDOW) ? info.wShowWindow : SW_SHOWDEFAULT;
    }

  private:
    // The script `file`, opened to read and held against writing, renaming
    // and deletion. Raises std::runtime_error when it cannot be, or when what
    // it holds is not what this process wrote there.
    static HANDLE holdScript(const char* file)
    {
        const std::string name = file;
        HANDLE script =
            ::CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (script == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                throw std::runtime_error("The backup script " + name +
                                         " is gone; nothing was run.");
            if (error == ERROR_SHARING_VIOLATION)
                throw std::runtime_error("The backup script " + name +
                                         " is open in another program; nothing was run.");
            throw std::runtime_error("The backup script " + name +
                                     " cannot be read; nothing was run.");
        }
        BY_HANDLE_FILE_INFORMATION info{};
        std::string content;
        const bool ours = ::GetFileInformationByHandle(script, &info) &&
                          !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                          readAll(script, content) && !win32::replacesCreatedFile(name, content);
        if (!ours) {
            ::CloseHandle(script);
            throw std::runtime_error("The backup script " + name +
                                     " is not the file the program wrote; nothing was run.");
        }
        return script;
    }

    static bool readAll(HANDLE file, std::string& content)
    {
        char buffer[64 * 1024];
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr))
                return false;
            if (got == 0)
                return true;
            content.append(buffer, got);
        }
    }

    static bool isBatchScript(const char* file)
    {
        const char* extension = file ? ::PathFindExtensionA(file) : "";
        return ::lstrcmpiA(extension, ".bat") == 0 || ::lstrcmpiA(extension, ".cmd") == 0;
    }

    void forgetScript()
    {
        for (HANDLE* handle : {&m_interpreter, &m_script}) {
            if (*handle)
                ::CloseHandle(*handle);
            *handle = nullptr;
        }
    }

    // The interpreter that runs the last script and the script, held open,
    // until the interpreter is seen to have ended.
    HANDLE m_interpreter = nullptr;
    HANDLE m_script = nullptr;
};

} // namespace

System& native()
{
    static Win32System system;
    return system;
}

} // namespace tarvik::platform
