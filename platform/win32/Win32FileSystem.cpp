#include "platform/FileSystem.h"

// windows.h goes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

namespace tarvik::platform {

bool fileExists(const std::string& path)
{
    if (path.empty())
        return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool directoryExists(const std::string& path)
{
    if (path.empty())
        return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool entryExists(const std::string& path)
{
    if (path.empty())
        return false;
    // The attributes are the link's own: a link to a folder is a reparse point.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (!(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
                                                     (attributes & FILE_ATTRIBUTE_REPARSE_POINT));
}

std::string fileVersion(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (path.empty() || !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info))
        return {};
    return std::to_string(info.nFileSizeHigh) + ":" + std::to_string(info.nFileSizeLow) + ":" +
           std::to_string(info.ftLastWriteTime.dwHighDateTime) + ":" +
           std::to_string(info.ftLastWriteTime.dwLowDateTime);
}

std::string windowsNameKey(std::string_view name)
{
    // Upper case without a language's rules (no Turkish dotless i), as the
    // file systems' own table has it. The key is the wide text's bytes.
    const int size = static_cast<int>(name.size());
    const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    if (wideLength <= 0)
        return std::string(name);
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), wideLength);
    std::wstring upper(wide.size(), L'\0');
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), wideLength,
                        upper.data(), wideLength, nullptr, nullptr, 0) != wideLength)
        return std::string(name);
    return std::string(reinterpret_cast<const char*>(upper.data()), upper.size() * sizeof(wchar_t));
}

bool deleteFile(const std::string& path)
{
    return ::DeleteFileA(path.c_str()) != FALSE;
}

std::vector<std::string> fileNamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            names.emplace_back(found.cFileName);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
}

bool isUsersOwnFolder(const std::string& folder)
{
    if (!directoryExists(folder))
        return false;
    // Whether the user may write there is the folder's access list's to say,
    // and the one sure reading of it is a file made and gone again.
    const std::string probe = folder + "\\~TarvikBackUp-write-test.tmp";
    HANDLE file = ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

std::string userSettingsFolder(const std::string& program)
{
    char appData[MAX_PATH] = {};
    if (::SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                           appData) != S_OK)
        return program; // nowhere better than the current folder

    const std::string folder = std::string(appData) + '\\' + program;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

} // namespace tarvik::platform
