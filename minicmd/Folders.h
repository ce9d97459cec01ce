#pragma once
// Path texts and folder creation for the interpreter's commands.

#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace tarvik::minicmd {

// `folder` and `relative` joined with one "/" (none added after a trailing one).
std::string joinPath(const std::string& folder, const std::string& relative);

// Creates `path` and any missing parents. Returns 0, or the errno of the
// failure (ENOTDIR/EEXIST when something that is not a folder is in the way).
int ensureFolder(const std::string& path);

// The absolute path `path` stands for, with links resolved as far as the path
// exists; "" when even the current folder cannot be resolved.
std::string resolvedPath(const std::string& path);

// Why nothing may be written into the entry `info` describes (named `path`):
// it is a symbolic link, or a folder of another user (neither us nor root),
// who could swap what we write there or read it. "" when it is a folder of
// ours. A file system without owners (FAT, exFAT) shows every entry as the
// mounting user's, so for that user every folder on it counts as theirs.
std::string foreignFolderRefusal(const struct stat& info, const std::string& path);

// The same for what is at `path` now; "" when nothing is.
std::string foreignFolderRefusal(const std::string& path);

// What the script's MD lines refused or vouched for, so that its xcopy lines
// write nothing below a refused folder, and know which target folders a line
// of the script made.
class ScriptFolders
{
  public:
    void refuse(const std::string& path, std::string refusal);
    // The refusal of a refused folder that `path` is or lies in, "" otherwise.
    std::string refusalFor(const std::string& path) const;

    void vouch(const std::string& path);
    bool vouchedFor(const std::string& path) const;

  private:
    std::vector<std::pair<std::string, std::string>> m_refused;
    std::vector<std::string> m_vouched;
};

} // namespace tarvik::minicmd
