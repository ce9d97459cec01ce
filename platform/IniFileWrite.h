#pragma once
// How the INI stand-in (IniStore.h) puts a file's new bytes on disk so that,
// whatever stops the program, the file holds its old or its new content at
// the next start; and how it cleans up after saves that were killed. POSIX.

#include <optional>
#include <string>

namespace tarvik::platform::ini {

enum class Way
{
    Refused,
    // A new file beside the old one, renamed over it.
    Replace,
    // The file's own bytes overwritten, as the system's profile calls do,
    // with the old bytes kept in the user's state folder until the new ones
    // are on disk.
    InPlace,
};

// The file's bytes; nullopt when it cannot be read (missing, a folder, ...).
std::optional<std::string> readBytes(const std::string& path);

// How the file at `path` (links already followed) may take new content now.
Way wayToWrite(const std::string& path);

// A new file beside `path`, put on disk and renamed over it.
bool replaceFile(const std::string& path, const std::string& bytes);
// The file's own bytes, `old` until now, overwritten with `bytes`, cut to
// their length and put on disk. Until they are, `old` waits in the state
// folder for restoreCutSave.
bool writeInPlace(const std::string& path, const std::string& old, const std::string& bytes);
// Puts back the old bytes of an in-place save of `path` that was stopped
// before its new bytes were whole on disk.
void restoreCutSave(const std::string& path);
// Removes the new files that killed saves of `path` left beside it.
void removeLeftovers(const std::string& path);

} // namespace tarvik::platform::ini
