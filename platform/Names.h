#pragma once
// How names in the settings file match: without regard to the case of ASCII
// letters, every other byte as it is. Section and key names follow this rule,
// and so do the names a settings list's keys are made of. Also how names and
// values lose the blanks around them.
//
// Portable C++ only: it is built on every platform.

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace tarvik::platform {

// Bytes that differ match only as the two cases of one letter (bit 0x20).
constexpr bool sameName(std::string_view a, std::string_view b)
{
    const auto same = [](char x, char y) {
        return x == y || ((x ^ y) == 0x20 && (x | 0x20) >= 'a' && (x | 0x20) <= 'z');
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same);
}

// `text` without the characters at either end for which isBlank(c) holds.
template <class IsBlank> constexpr std::string_view trimEnds(std::string_view text, IsBlank isBlank)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// `text` without the blanks (space, tab, CR) a name or a value of the file
// may have around it.
constexpr std::string_view trimBlanks(std::string_view text)
{
    return trimEnds(text, [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

} // namespace tarvik::platform
