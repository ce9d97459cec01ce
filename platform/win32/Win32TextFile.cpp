#include "NativeFile.h"
#include "TextFile.h"

#include <windows.h>

// The codes are the system's own (GetLastError), which is what the messages
// the user sees are keyed on.
namespace tarvik::platform::native {

int openTextFile(const std::string& path, bool append, std::intptr_t& handle)
{
    // Others may read the file while it is open, but not write it. The handle
    // is not inherited by the command interpreter the program starts.
    HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return static_cast<int>(::GetLastError());
    if (append) {
        LARGE_INTEGER end{};
        if (!::SetFilePointerEx(file, {}, &end, FILE_END)) {
            const int code = static_cast<int>(::GetLastError());
            ::CloseHandle(file);
            return code;
        }
    }
    handle = reinterpret_cast<std::intptr_t>(file);
    return fileCode::Ok;
}

int writeAll(std::intptr_t handle, const char* data, std::size_t size)
{
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr))
            return static_cast<int>(::GetLastError());
        // A write that takes nothing without an error: the run-time's own
        // code for a full device.
        if (written == 0)
            return fileCode::DiskFull;
        data += written;
        size -= written;
    }
    return fileCode::Ok;
}

int closeFile(std::intptr_t handle)
{
    if (!::CloseHandle(reinterpret_cast<HANDLE>(handle)))
        return static_cast<int>(::GetLastError());
    return fileCode::Ok;
}

} // namespace tarvik::platform::native
