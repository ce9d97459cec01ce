#pragma once
// A run killed outright cannot remove the temporary file of the copy it was
// making. So that no such file outlives the next run, wherever it lies, a run
// keeps the folder it is copying into in a small record of its own in the
// state folder (copying-<pid>), and each run starts by cleaning the folders
// that the records of ended runs name.

#include <string>

namespace tarvik::minicmd {

// Removes the leftovers of copies in the folders named by the records of
// runs whose process is gone, then those records.
void cleanUpAfterEndedRuns();

// Notes `folder` (an absolute path) as the one this run's copies now go into.
void noteCopyFolder(const std::string& folder);

// Removes this run's record: it ended, cleaning up after itself.
void endCopyRecord();

} // namespace tarvik::minicmd
