#pragma once
// One key's write made as an edit of its section, so that the one-pass edit of
// a settings file can be held against writes.

#include "platform/Profile.h"

#include <string>

namespace testfiles {

// Writes `value` to `key` in `section` of the file at `path` as one edit.
inline bool editOneKey(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& path)
{
    tarvik::platform::KeyWrites edit({{key, value}});
    return tarvik::platform::editProfileSection(section, edit, path);
}

} // namespace testfiles
