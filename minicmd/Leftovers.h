#pragma once
// A run killed outright cannot remove the temporary file of the copy it was
// making. So that no such file outlives the next run, wherever it lies, a run
// keeps the folders it is copying into in a small record of its own in the
// state folder (copying-<pid>, one path a line), and each run starts by
// cleaning the folders that the records of ended runs name.

#include <memory>
#include <string>

namespace tarvik::minicmd {

// Removes the leftovers of copies in the folders named by the records of
// runs whose process is gone, then those records.
void cleanUpAfterEndedRuns();

// Notes `folder` (an absolute path) as the one this run's copies now go into.
// The record names it until another is noted and no hold on it is left.
void noteCopyFolder(const std::string& folder);

// Keeps the folder noted last in the record while the hold lives: a copy into
// it may still be in flight after the walk has moved on to the next folder.
std::shared_ptr<const void> holdCopyFolder();

// Removes this run's record: it ended, cleaning up after itself.
void endCopyRecord();

} // namespace tarvik::minicmd
