#include "core/DateTexts.h"

namespace tarvik {
namespace {

std::string twoDigits(int value)
{
    std::string text = std::to_string(value);
    return text.size() == 1 ? "0" + text : text;
}

} // namespace

std::string DateStamp(const CivilDate& date)
{
    return std::to_string(date.year) + twoDigits(date.month) + twoDigits(date.day);
}

std::string XcopyDateText(const CivilDate& date)
{
    return std::to_string(date.month) + '-' + std::to_string(date.day) + '-' +
           std::to_string(date.year);
}

std::string StripPathSeparators(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c != '\\' && c != '/')
            result += c;
    }
    return result;
}

std::string LastPathComponent(std::string_view path, char separator)
{
    const auto last = path.rfind(separator);
    return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

} // namespace tarvik
