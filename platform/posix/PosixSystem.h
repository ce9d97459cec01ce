#pragma once

#include <string>

namespace tarvik::platform {

// The executable's path from the text of the /proc/self/exe link. An
// executable replaced while it runs (a package upgrade, `make install`)
// links to "PATH (deleted)"; the program is still the one at PATH, and its
// settings file is the one beside it.
std::string modulePathFromLink(std::string link);

} // namespace tarvik::platform
