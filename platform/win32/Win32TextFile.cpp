#include "platform/NativeFile.h"
#include "platform/TextFile.h"
#include "platform/win32/Win32CreatedFiles.h"

#include <windows.h>

// The codes are the system's own (GetLastError), which is what the messages
// the user sees are keyed on.
namespace tarvik::platform::native {

int openTextFile(const std::string& path, OpenMode mode, std::intptr_t& handle)
{
    // Others may read the file while it is open, but not write it. The handle
    // is not inherited by the command interpreter the program starts. A new
    // file is new: CREATE_NEW fails for any name in use, a link's included.
    // An appended file is opened itself, not what a link in its place names.
    const bool createNew = mode == OpenMode::CreateNew;
    HANDLE file = ::CreateFileA(
        path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, createNew ? CREATE_NEW : OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | (createNew ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // Something in the new file's place: the same answer as a folder there.
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return ERROR_ACCESS_DENIED;
        return static_cast<int>(error);
    }
    if (!createNew) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(file, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1) {
            ::CloseHandle(file);
            return ERROR_ACCESS_DENIED;
        }
        LARGE_INTEGER end{};
        if (!::SetFilePointerEx(file, {}, &end, FILE_END)) {
            const int code = static_cast<int>(::GetLastError());
            ::CloseHandle(file);
            return code;
        }
    }
    handle = reinterpret_cast<std::intptr_t>(file);
    if (createNew)
        win32::noteCreatedFile(handle, path);
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
        win32::noteWrittenBytes(handle, data, written);
        data += written;
        size -= written;
    }
    return fileCode::Ok;
}

int closeFile(std::intptr_t handle)
{
    win32::noteClosedFile(handle);
    if (!::CloseHandle(reinterpret_cast<HANDLE>(handle)))
        return static_cast<int>(::GetLastError());
    return fileCode::Ok;
}

} // namespace tarvik::platform::native
