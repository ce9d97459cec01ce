#include "minicmd/Xcopy.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sys/stat.h>

namespace tarvik::minicmd {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isDateSwitch(std::string_view word)
{
    return word.size() >= 3 && word[0] == '/' && (word[1] == 'D' || word[1] == 'd') &&
           word[2] == ':';
}

} // namespace

std::optional<std::time_t> parseXcopyDate(std::string_view text)
{
    int parts[3];
    const char* cursor = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (cursor == end || *cursor != '-')
                return std::nullopt;
            ++cursor;
        }
        const auto [next, error] = std::from_chars(cursor, end, parts[i]);
        if (error != std::errc() || next == cursor || *cursor == '+' || *cursor == '-')
            return std::nullopt;
        cursor = next;
    }
    const int month = parts[0], day = parts[1], year = parts[2];
    if (cursor != end || month < 1 || month > 12 || day < 1 || year < 1 || year > 99999)
        return std::nullopt;
    static const int lengths[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > lengths[month - 1] || (month == 2 && day == 29 && !leap))
        return std::nullopt;
    std::tm midnight{};
    midnight.tm_year = year - 1900;
    midnight.tm_mon = month - 1;
    midnight.tm_mday = day;
    midnight.tm_isdst = -1;
    const std::time_t when = std::mktime(&midnight);
    if (when == static_cast<std::time_t>(-1))
        return std::nullopt;
    return when;
}

std::variant<XcopyRequest, std::string> parseXcopy(const std::vector<std::string>& arguments)
{
    XcopyRequest request;
    std::vector<std::string> words = arguments;
    bool dateSeen = false;
    while (!words.empty()) {
        const std::string& last = words.back();
        if (!request.subfolders && equalsIgnoringCase(last, "/S")) {
            request.subfolders = true;
        } else if (!dateSeen && isDateSwitch(last)) {
            request.since = parseXcopyDate(std::string_view(last).substr(3));
            if (!request.since)
                return "Invalid parameter - " + last;
            dateSeen = true;
        } else {
            break;
        }
        words.pop_back();
    }
    if (words.empty() || words.size() > 2)
        return std::string("Invalid number of parameters");

    const std::string& source = words[0];
    struct stat info
    {};
    if (::stat(source.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        request.sourceFolder = source;
        request.mask = "*";
    } else if (const auto slash = source.rfind('/'); slash == std::string::npos) {
        request.sourceFolder = ".";
        request.mask = source;
    } else {
        request.sourceFolder = source.substr(0, slash);
        request.mask = source.substr(slash + 1);
        if (request.sourceFolder.empty())
            request.sourceFolder = "/";
        if (request.mask.empty())
            request.mask = "*";
    }
    request.destination = words.size() == 2 ? words[1] : ".";
    return request;
}

} // namespace tarvik::minicmd
