#pragma once
// The stand-in for the system's profile calls (Profile.h) on POSIX, built on
// the one-pass edit of IniFile.h.
//
// A file is held, as its bytes, from its first write since its last flush (or
// from a beginHold) until that flush (or endHold). The first write checks how
// the file may be written (IniFileWrite.h); every write is an edit of the held
// bytes, and reads see them. The flush writes the file once, and not at all
// when no write changed a byte; one that writes first removes the new
// files killed saves left beside it. A read from the file first undoes an
// in-place save that was stopped before its end.

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
