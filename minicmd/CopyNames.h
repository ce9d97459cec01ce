#pragma once
// The temporary names a copy is written under where it cannot stay unnamed
// until complete, and the bookkeeping that lets a signal handler remove them.

#include <string>

namespace tarvik::minicmd {

// A name no other copy uses: the interpreter's process id and a counter.
std::string temporaryName();

// Whether the process `pid` has ended (never true of this one), so that what
// it left behind is nobody's.
bool processIsGone(long pid);

// Holds the temporary file `name` in the folder open as `folderFd` for
// removeUnfinishedCopy() until released. Each thread that copies has a place
// of its own, so a run killed mid-copy removes every worker's file.
class UnfinishedCopy
{
  public:
    UnfinishedCopy() = default;
    ~UnfinishedCopy() { release(); }
    UnfinishedCopy(const UnfinishedCopy&) = delete;
    UnfinishedCopy& operator=(const UnfinishedCopy&) = delete;

    void track(int folderFd, const std::string& name);
    void release();

  private:
    bool m_tracking = false;
};

} // namespace tarvik::minicmd
