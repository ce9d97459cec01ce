#pragma once
// How names in the settings file match: without regard to the case of ASCII
// letters, every other byte as it is. Section and key names follow this rule,
// and so do the names a settings list's keys are made of. Also how names and
// values lose the blanks around them.
//
// Portable C++ only: it is built on every platform.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvik::platform {

constexpr char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

// `text` without the characters at either end for which isBlank(c) holds.
template <class IsBlank> constexpr std::string_view trimEnds(std::string_view text, IsBlank isBlank)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// The first position recorded for each name, names matching as sameName does:
// when a name comes twice, the first one counts, as it does in the file.
class NameIndex
{
  public:
    // Records `position` for `name`, unless the name has one already.
    void add(std::string_view name, size_t position);
    std::optional<size_t> find(std::string_view name) const;

  private:
    struct Hash
    {
        using is_transparent = void;
        size_t operator()(std::string_view name) const;
    };
    struct Equal
    {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const { return sameName(a, b); }
    };
    std::unordered_map<std::string, size_t, Hash, Equal> m_positions;
};

} // namespace tarvik::platform
