#pragma once
// Path texts and folder creation for the interpreter's commands.

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace tarvik::minicmd {

// `folder` and `relative` joined with one "/" (none added after a trailing one).
std::string joinPath(const std::string& folder, const std::string& relative);

// Creates `path` (relative to the folder open as `base`) and any missing
// parents. Returns 0, or the errno of the failure (ENOTDIR/EEXIST when
// something that is not a folder is in the way).
int ensureFolder(const std::string& path, int base = AT_FDCWD);

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

// Where a path is reached from: a folder held open (or the current folder)
// and the path below it.
class FolderBase
{
  public:
    FolderBase(int fd, std::string relative, std::string refusal = {});
    FolderBase(FolderBase&& other) noexcept;
    FolderBase& operator=(FolderBase&&) = delete;
    ~FolderBase();

    int fd() const { return m_fd; }
    // The path below the folder, "." for the folder itself.
    const std::string& relative() const { return m_relative; }
    // Why nothing may be reached from here; "" when the path may be used.
    const std::string& refusal() const { return m_refusal; }

  private:
    int m_fd;
    std::string m_relative;
    std::string m_refusal;
};

// What the script's MD lines refused or vouched for, so that its xcopy lines
// write nothing below a refused folder, know which target folders a line of
// the script made, and reach those folders only as they were made: a backup
// drive unmounted mid-run, or a folder another user renames away and puts
// something of theirs in place of, gets nothing more.
class ScriptFolders
{
  public:
    void refuse(const std::string& path, std::string refusal);
    // The refusal of a refused folder that `path` is or lies in, "" otherwise.
    std::string refusalFor(const std::string& path) const;

    // The folder at `path` (its status `info`) was made or found for the script.
    void vouch(const std::string& path, const struct stat& info);
    bool vouchedFor(const std::string& path) const;

    // `path` below the deepest vouched folder it is or lies in, opened and
    // found to be the folder vouched for; a folder gone or replaced since is
    // the refusal. A path in no vouched folder is reached by its name.
    FolderBase baseFor(const std::string& path) const;

  private:
    struct Vouched
    {
        std::string path;
        dev_t device;
        ino_t inode;
    };
    std::vector<std::pair<std::string, std::string>> m_refused;
    std::vector<Vouched> m_vouched;
};

} // namespace tarvik::minicmd
