#pragma once
// Path texts and folder creation for the interpreter's commands.

#include <string>

namespace tarvik::minicmd {

// `folder` and `relative` joined with one "/" (none added after a trailing one).
std::string joinPath(const std::string& folder, const std::string& relative);

// Creates `path` and any missing parents. Returns 0, or the errno of the
// failure (ENOTDIR/EEXIST when something that is not a folder is in the way).
int ensureFolder(const std::string& path);

// The absolute path `path` stands for, with links resolved as far as the path
// exists; "" when even the current folder cannot be resolved.
std::string resolvedPath(const std::string& path);

} // namespace tarvik::minicmd
