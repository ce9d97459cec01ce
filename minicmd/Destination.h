#pragma once
// The folders one xcopy writes into: opened one level at a time from its
// destination, which is looked up once and then held, never through a link,
// made with the permission bits of the source folders they stand for, and
// refused when another user owns them (such a user could read what we write,
// or swap a folder of theirs in mid-copy).

#include "minicmd/Folders.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvik::minicmd {

// What a target folder stands for: its source folder's mode and group.
struct SourceFolder
{
    mode_t mode = 0755;
    gid_t group = gid_t(-1); // -1 when not known
};

struct OpenedFolder
{
    int fd = -1;         // the folder, for the caller to close; -1 when none
    int code = 0;        // errno of a failure
    std::string refusal; // why the folder may not be written into
    bool quiet = false;  // refused already, below a folder named before
};

class DestinationFolders
{
  public:
    // `folders`, if any, are the script's: a destination in a folder its MD
    // lines made is reached only as long as that folder is still the one made.
    DestinationFolders(std::string destination, const ScriptFolders* folders);
    ~DestinationFolders();
    DestinationFolders(const DestinationFolders&) = delete;
    DestinationFolders& operator=(const DestinationFolders&) = delete;

    // The refusal for the destination as it stands now, "" when it is ours or
    // missing.
    std::string refusal() const;

    // Takes from an existing destination folder of ours every group and other
    // permission bit that the source folder lacks, and the group bits where
    // its group is not the source's and cannot be made so, so that the copy
    // of a private folder stays private although its target folder was made
    // before the copy could give it the source's bits.
    void keepNoMoreOpenThan(const SourceFolder& source) const;

    // Opens the folder for `relative` ("" for the destination itself, else
    // folder names each followed by "/"), making the missing levels; `modes`
    // are the source folders', the destination's first. A folder that was
    // there already loses the leftovers of killed copies.
    OpenedFolder open(const std::string& relative, const std::vector<SourceFolder>& modes);

  private:
    // Where the destination is reached from.
    FolderBase base() const;
    OpenedFolder openRoot(const std::vector<SourceFolder>& modes, bool& made);
    OpenedFolder openLevel(int parent, const std::string& name, const std::string& shownAs,
                           mode_t sourceMode, bool& made) const;

    std::string m_destination;
    const ScriptFolders* m_folders;
    // The destination once opened: a drive unmounted or a folder swapped
    // meanwhile must not send the rest of the copy elsewhere by its name.
    int m_rootFd = -1;
    std::string m_absolute;             // the destination resolved, once a copy goes there
    std::vector<std::string> m_refused; // relative paths refused so far
    // The last folder opened, so that a deep tree costs one level per folder.
    int m_lastFd = -1;
    std::string m_lastRelative;
};

} // namespace tarvik::minicmd
