#pragma once
// The stand-in for the system's profile calls (Profile.h), built on IniFile.
//
// Reads go to the file itself. The first write to a file since its last flush
// checks that the file could be replaced (an existing file must open for
// writing, and its folder must take a new file), reads the file into a cached
// IniFile and changes only that copy; later writes change the copy. The flush
// writes the copy to a new file in the same folder, puts it on disk and renames
// it over the old one, so the file holds either its old or its new content at
// every moment, whatever stops the program. An existing file keeps its
// permissions. When the writes left every byte as it was, the flush leaves
// the file alone. Reads of a file with a cached copy see the copy.
//
// Portable C++ (std::filesystem and stdio), with one call per system to put a
// file's data on disk.

#include "Profile.h"

#include <string>
#include <vector>

namespace tarvik::platform::ini {

std::string getString(const std::string& section, const std::string& key,
                      const std::string& defaultValue, const std::string& path);
ProfileSection getSection(const std::string& section, const std::string& path);
bool writeString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& path);
bool flush(const std::string& path);

} // namespace tarvik::platform::ini
