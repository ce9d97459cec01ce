#include "platform/FileSystem.h"

#include <windows.h>

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

bool deleteFile(const std::string& path)
{
    return ::DeleteFileA(path.c_str()) != FALSE;
}

} // namespace tarvik::platform
