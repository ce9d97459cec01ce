#pragma once
// The files this process created, by the path it created them under, with
// the device and inode they got: a file handed on later by that path (the
// backup script, to the interpreter) can then be told from one that someone
// renamed over it in a folder others may write to.

#include <string>
#include <sys/stat.h>

namespace tarvik::platform {

void noteCreatedFile(const std::string& path, const struct stat& info);

// True when this process created a file under `path` and `info` describes
// another one; false when it is that file or no creation was noted.
bool replacesCreatedFile(const std::string& path, const struct stat& info);

} // namespace tarvik::platform
