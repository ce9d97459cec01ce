#include "core/Notes.h"

#include "core/BackupRun.h"
#include "core/TextFileWriter.h"

namespace tarvik {

std::string NotesFileName(const std::string& backupDirectory, const CivilDate& changesFrom,
                          char separator)
{
    return backupDirectory + separator + "BK-" + DateStamp(changesFrom) + ".txt";
}

void WriteNotesFile(const std::string& backupDirectory, const CivilDate& changesFrom,
                    const std::vector<std::string>& lines, char separator)
{
    // An empty text would put the notes file at the root, as it would the script.
    if (backupDirectory.empty())
        throw RunRefused("Choose a backup directory first.");
    TextFileWriter file;
    file.openAppendOrCreate(NotesFileName(backupDirectory, changesFrom, separator));
    for (const std::string& line : lines)
        file.writeLine(line);
    file.flushAndClose();
}

} // namespace tarvik
