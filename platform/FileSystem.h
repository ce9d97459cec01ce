#pragma once
// File tests and the path separator. Paths are bytes, as the system takes them.

#include <string>
#include <string_view>
#include <vector>

namespace tarvik::platform {

#ifdef _WIN32
inline constexpr char kNativeSeparator = '\\';
#else
inline constexpr char kNativeSeparator = '/';
#endif

// True only when `path` exists and is not a directory; false for "".
bool fileExists(const std::string& path);
// True only when `path` exists and is a directory; false for "".
bool directoryExists(const std::string& path);
// True when `path` names anything but a directory: a file, a device, or a
// link whatever it names (a missing file or a directory included).
bool entryExists(const std::string& path);
// Removes the file, or the link itself rather than what it names; whether that worked is the
// caller's to ignore or not.
bool deleteFile(const std::string& path);

// What tells this version of the file `path` (a link followed) from one
// written since: its size and time of last change, and on POSIX its inode,
// which a file renamed over it changes. "" when there is no such file.
std::string fileVersion(const std::string& path);

// What a Windows file name matches other names by: Windows' file systems
// ignore letter case, for every letter of the ANSI code page ("\xDC" is
// "\xFC" in code page 1252). Elsewhere, where only the program's tests
// write Windows texts, the ASCII letters stand in.
std::string windowsNameKey(std::string_view name);

// The names of the plain files in `folder` (no folders, no links), in no
// particular order; none when it cannot be read.
std::vector<std::string> fileNamesIn(const std::string& folder);

// Whether `folder` belongs to the user who runs the program: it exists, they
// own it and may write to it, and it lies outside the system's program trees
// (/usr and /opt), where even root's own files are a system-wide install. On
// Windows: a file can be made in it.
bool isUsersOwnFolder(const std::string& folder);

// The folder for this user's settings of `program` when its own folder is not
// theirs: $XDG_CONFIG_HOME/`program` (~/.config/`program` when that is unset
// or not absolute), %APPDATA%\`program` on Windows. Made, with any missing
// parents, when it does not exist, so that the first save can go there.
std::string userSettingsFolder(const std::string& program);

} // namespace tarvik::platform
