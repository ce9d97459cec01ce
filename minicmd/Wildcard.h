#pragma once

#include <string_view>

namespace tarvik::minicmd {

// Whether a file name matches a mask as the Windows shell matches them: "*"
// stands for any run of characters, "?" for one, letters compare without
// regard to case (ASCII), "*.*" matches every name, and a mask ending in a dot
// ("*.") matches names that have no extension, and one ending in ".*" also
// matches a name without any dot.
bool matchesMask(std::string_view name, std::string_view mask);

} // namespace tarvik::minicmd
