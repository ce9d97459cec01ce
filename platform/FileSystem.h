#pragma once
// File tests and the path separator. Paths are bytes, as the system takes them.

#include <string>

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

} // namespace tarvik::platform
