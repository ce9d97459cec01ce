#include "Notes.h"

#include "TextFileWriter.h"

namespace tarvik {

std::string NotesFileName(const std::string& backupDirectory, const CivilDate& changesFrom,
                          char separator)
{
    return backupDirectory + separator + "BK-" + DateStamp(changesFrom) + ".txt";
}

void WriteNotesFile(const std::string& backupDirectory, const CivilDate& changesFrom,
                    const std::vector<std::string>& lines, char separator)
{
    TextFileWriter file;
    file.openAppendOrCreate(NotesFileName(backupDirectory, changesFrom, separator));
    for (const std::string& line : lines)
        file.writeLine(line);
    file.flushAndClose();
}

} // namespace tarvik
