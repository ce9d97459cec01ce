#include "platform/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::platform {

bool fileExists(const std::string& path)
{
    struct stat info
    {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool directoryExists(const std::string& path)
{
    struct stat info
    {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool entryExists(const std::string& path)
{
    struct stat info
    {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool deleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

} // namespace tarvik::platform
