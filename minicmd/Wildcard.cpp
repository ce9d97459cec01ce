#include "minicmd/Wildcard.h"

#include <algorithm>

namespace tarvik::minicmd {
namespace {

char folded(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Iterative glob match with one back-tracking point: linear for the masks
// users write, never exponential.
bool globMatch(std::string_view name, std::string_view mask)
{
    // "*.doc", the mask of nearly every line, asks only how the name ends.
    if (!mask.empty() && mask.front() == '*' && mask.find_first_of("*?", 1) == mask.npos) {
        const std::string_view tail = mask.substr(1);
        return name.size() >= tail.size() &&
               std::equal(tail.begin(), tail.end(), name.end() - tail.size(),
                          [](char a, char b) { return folded(a) == folded(b); });
    }
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || folded(mask[m]) == folded(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

} // namespace

bool matchesMask(std::string_view name, std::string_view mask)
{
    if (mask == "*.*" || mask == "*")
        return true;
    if (!mask.empty() && mask.back() == '.') {
        if (name.find('.') != std::string_view::npos)
            return false;
        mask.remove_suffix(1);
    }
    if (globMatch(name, mask))
        return true;
    // "x.*" also takes a name with no extension at all, as "*.*" does.
    return mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
           name.find('.') == std::string_view::npos &&
           globMatch(name, mask.substr(0, mask.size() - 2));
}

} // namespace tarvik::minicmd
