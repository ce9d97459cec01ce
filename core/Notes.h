#pragma once
// The notes file: the lines of the Notes page's memo, added to a text file in
// the backup directory that is named after the Changes From date, beside the
// backup folder of that date.

#include "core/DateTexts.h"
#include "platform/FileSystem.h"

#include <string>
#include <vector>

namespace tarvik {

// backupDirectory (exactly as typed) + separator + "BK-" + DateStamp + ".txt":
// "D:\Backups" and 6 December 2026 give "D:\Backups\BK-20261206.txt".
std::string NotesFileName(const std::string& backupDirectory, const CivilDate& changesFrom,
                          char separator = platform::kNativeSeparator);

// Adds `lines`, each followed by CR LF, after whatever the notes file holds,
// creating it when there is none; no lines still create an empty file.
// Throws FileError, with lines written before the failure left in the file,
// and RunRefused, with nothing written, when the backup directory is empty.
void WriteNotesFile(const std::string& backupDirectory, const CivilDate& changesFrom,
                    const std::vector<std::string>& lines,
                    char separator = platform::kNativeSeparator);

} // namespace tarvik
