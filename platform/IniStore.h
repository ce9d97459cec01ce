#pragma once
// The stand-in for the system's profile calls (Profile.h), built on IniFile.
//
// Reads go to the file itself. The first write to a file since its last flush
// checks that the file could be written (an existing file must open for
// writing; a new one needs a folder that takes it), reads the file into a
// cached IniFile and changes only that copy; later writes change the copy.
//
// The flush of a plain file of one name, ours, in a folder we may write
// writes the copy to a new file in the same folder, puts it on disk and
// renames it over the old one, so the file holds either its old or its new
// content at every moment, whatever stops the program; the file keeps its
// permissions. Any other file we may write (a second name of another file,
// another user's file, one in a folder we may not write) is written in place,
// whole, then put on disk, so that it keeps its links and its owner. When the
// writes left every byte as it was, the flush leaves the file alone. Reads of
// a file with a cached copy see the copy. Each flush also removes the new
// files that killed saves of the same file left behind.
//
// Portable C++ (std::filesystem and stdio), with one call per system to put a
// file's data on disk.

#include "platform/Profile.h"

#include <string>
#include <vector>

namespace tarvik::platform::ini {

std::string getString(const std::string& section, const std::string& key,
                      const std::string& defaultValue, const std::string& path);
ProfileSection getSection(const std::string& section, const std::string& path);
bool writeString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& path);
// With writes held for the file, the edit joins them; otherwise it is made in
// one pass over the file's bytes and goes to the file at once, in the way a
// flush would write it.
bool editSection(const std::string& section, SectionEdit& edit, const std::string& path);
bool flush(const std::string& path);

} // namespace tarvik::platform::ini
