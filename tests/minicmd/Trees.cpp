#include "Trees.h"

#include "TestFiles.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

namespace testfiles {

std::time_t localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

void makeFile(const std::string& path, const std::string& content, std::time_t modified)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeFile(path, content);
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot stamp " + path);
}

std::vector<std::string> listTree(const std::string& root)
{
    std::vector<std::string> entries;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        // Lexical, and with error codes: the interpreter may rename a file
        // away while the tree is walked, which must not throw.
        std::string relative = it->path().lexically_relative(root).string();
        std::error_code ignored;
        if (it->is_symlink(ignored))
            relative += "@";
        else if (it->is_directory(ignored))
            relative += "/";
        entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::time_t modifiedAt(const std::string& path)
{
    struct stat info
    {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : -1;
}

std::string listed(const std::vector<std::string>& entries)
{
    std::string text;
    for (const auto& entry : entries)
        text += "\n        " + entry;
    return text;
}

} // namespace testfiles
