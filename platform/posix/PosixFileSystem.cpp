#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <pwd.h>
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

std::string fileVersion(const std::string& path)
{
    struct stat info
    {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return {};
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
           std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
}

std::string windowsNameKey(std::string_view name)
{
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

bool deleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

std::vector<std::string> fileNamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing)
        return names;
    while (const dirent* entry = ::readdir(listing.get())) {
        struct stat info
        {};
        const std::string name = entry->d_name;
        if (::lstat((folder + '/' + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(name);
    }
    return names;
}

bool isUsersOwnFolder(const std::string& folder)
{
    struct stat info
    {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || ::access(folder.c_str(), W_OK) != 0)
        return false;
    // Judged by where the folder really is, whatever link led to it.
    const std::unique_ptr<char, void (*)(void*)> real(::realpath(folder.c_str(), nullptr),
                                                      std::free);
    if (!real)
        return false;
    const std::string path = std::string(real.get()) + '/';
    return path.rfind("/usr/", 0) != 0 && path.rfind("/opt/", 0) != 0;
}

std::string userSettingsFolder(const std::string& program)
{
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] == '\0') {
            const passwd* user = ::getpwuid(::geteuid());
            home = user ? user->pw_dir : "";
        }
        base = std::string(home) + "/.config";
    }
    const std::string folder = base + '/' + program;
    // Private (0700), as XDG asks of the folders a program makes there.
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            break;
        if (end == std::string::npos)
            break;
    }
    return folder;
}

} // namespace tarvik::platform
