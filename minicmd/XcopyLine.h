#pragma once
// One xcopy line of a walk that may serve several: what the line refuses,
// copies and counts, and what it says.

#include "minicmd/CopyQueue.h"
#include "minicmd/Destination.h"
#include "minicmd/LineOutput.h"
#include "minicmd/Xcopy.h"

#include <string>
#include <sys/stat.h>
#include <vector>

namespace tarvik::minicmd {

class ScriptFolders;

class XcopyLine
{
  public:
    XcopyLine(const XcopyRequest& request, Console& console, const ScriptFolders* folders,
              bool deferred)
        : m_request(request), m_out(console, deferred), m_folders(folders),
          m_destinations(request.destination, folders)
    {}

    const XcopyRequest& request() const { return m_request; }
    LineOutput& out() { return m_out; }
    int failures() const { return m_failures; }
    bool matchedAny() const { return m_matchedAny; }

    // Copies small files through `queue` from now on; a copy handed over
    // keeps its target folder open until it is done.
    void copyWith(CopyQueue* queue) { m_queue = queue; }

    // False (after saying why) when the line copies nothing at all.
    bool start();

    // The script's MD line made the target folder before this copy could
    // give it the source folder's bits and group.
    void sourceRoot(const SourceFolder& source) const;

    // Says how it ended; `walked` is false for a line refused at the start.
    void finish(bool walked);

    // A failure of this line: `what` with the reason `code` stands for, or
    // the whole message.
    void fail(const std::string& what, int code);
    void failWith(const std::string& message);

    // Lets go of the target of the folder walked so far.
    void leaveFolder();

    // A regular file of the folder open as `folderFd` that matches the mask.
    // `sharedTarget`: the folder's target as the first line of the walk to
    // open it left it for the others (-1 until then).
    void take(int folderFd, const std::string& relative, const std::string& name,
              const struct stat& info, const std::string& sourcePath,
              const std::vector<SourceFolder>& folderModes, int& sharedTarget);

  private:
    // A copy with sub-folders into its own source would copy its copies.
    std::string cyclicRefusal() const;

    void copyOne(int folderFd, const std::string& name, const struct stat& info,
                 const std::string& sourcePath, const std::string& destinationFolder);
    void tell(const CopyFailure& failure, const CopiedFile& copied, const std::string& sourcePath,
              const std::string& destinationPath);
    // What the queue holds is told before anything said now.
    void catchUp();

    const XcopyRequest& m_request;
    LineOutput m_out;
    const ScriptFolders* m_folders;
    CopyQueue* m_queue = nullptr;
    DestinationFolders m_destinations;
    bool m_target = false;
    int m_failures = 0;
    long long m_copied = 0;
    bool m_matchedAny = false;
    bool m_overwriteAll = false;
    // The target of the folder being walked, or why there is none.
    SharedFd m_destination;
    int m_destinationFailed = 0;
};

} // namespace tarvik::minicmd
