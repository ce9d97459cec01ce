#pragma once
// How the INI stand-in (IniStore.h) puts a file's new bytes on disk so that,
// whatever stops the program, the file holds its old or its new content at
// the next start. POSIX.

#include <optional>
#include <string>

namespace tarvik::platform::ini {

// The file's bytes; nullopt when it cannot be read (missing, a folder, ...).
std::optional<std::string> readBytes(const std::string& path);

enum class Way
{
    Refused,
    // A plain file of one name, ours, in a folder we may write: a new file
    // beside it, put on disk and renamed over it, with its permissions.
    Replace,
    // Any other file we may write (a second name of a file, another user's
    // file, one in a folder we may not write): its own bytes overwritten, so
    // that it keeps its links and its owner.
    InPlace,
};
// How the file at `path` (links already followed) may take new content now.
Way wayToWrite(const std::string& path);

bool replaceFile(const std::string& path, const std::string& bytes);
// Until the new bytes are on disk, `old` waits in the user's state folder
// ($XDG_STATE_HOME/tarvikbackup, by default ~/.local/state/tarvikbackup).
bool writeInPlace(const std::string& path, const std::string& old, const std::string& bytes);
// The file's bytes as readBytes gives them, once the old bytes of an in-place
// save of `path` that was stopped before its end are put back. A save in
// place under way in another program is waited for.
std::optional<std::string> readAfterCutSave(const std::string& path);
// Removes the new files that killed saves of `path` left beside it.
void removeLeftovers(const std::string& path);

} // namespace tarvik::platform::ini
