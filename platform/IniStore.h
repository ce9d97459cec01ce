#pragma once
// The stand-in for the system's profile calls (Profile.h) on POSIX, built on
// the one-pass edit of IniFile.h.
//
// A file is held, as its bytes, from the first write since its last flush (or
// from the first call inside a ProfileHold) until the flush (or the hold's
// commit). The first write checks that the file could be written (an existing
// file must open for writing; a new one needs a folder that takes it); every
// write is an edit of the held bytes, and reads of a held file see them.
//
// The flush writes the file once, and not at all when its bytes are the ones
// read. A plain file of one name, ours, in a folder we may write, is replaced:
// a new file in the same folder, put on disk and renamed over the old one, with
// the old one's permissions. Any other file we may write (a second name of
// another file, another user's file, one in a folder we may not write) is
// written in place, so that it keeps its links and its owner, with its old
// bytes kept in the state folder until the new ones are on disk. Either way
// the file holds its old or its new content at the next start, whatever
// stopped the program: a read first puts back the old bytes of an in-place
// save that was cut. A flush that writes also removes the new files that
// killed saves of the same file left behind.

#include "platform/Profile.h"

#include <string>

namespace tarvik::platform::ini {

std::string getString(const std::string& section, const std::string& key,
                      const std::string& defaultValue, const std::string& path);
ProfileSection getSection(const std::string& section, const std::string& path);
bool writeString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& path);
// With the file held, the edit joins its writes; otherwise it goes to the
// file at once, in the way a flush would write it.
bool editSection(const std::string& section, SectionEdit& edit, const std::string& path);
bool flush(const std::string& path);

// Holds the file across flushes until endHold; with `commit`, endHold writes
// what changed as a flush would, and gives what the flush gives.
void beginHold(const std::string& path);
bool endHold(const std::string& path, bool commit);

} // namespace tarvik::platform::ini
