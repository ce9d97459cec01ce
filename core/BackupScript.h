#pragma once
// The backup script: a batch file of MD and xcopy lines that makes a folder
// named after the Changes From date in the backup directory, a sub-folder per
// existing source directory, and copies into it every file of the chosen types
// changed on or after that date.
//
// An argument (MD's folder, xcopy's source with its mask, xcopy's destination)
// that holds a blank, a tab or one of & | < > ^ ( ) , ; = is written inside
// double quotes, and every % is doubled, so that the command interpreter sees
// one argument and runs nothing else. Plain paths are written exactly as they
// stand. A text holding CR, LF or a double quote cannot be made safe in a batch
// line at all and is refused (UnsafeScriptText).

#include "core/DateTexts.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

struct BackupJob
{
    std::string backupDirectory; // exactly as typed: may be empty or relative
    std::vector<std::string> sourceDirectories;
    std::vector<std::string> fileTypes; // masks, or the markers "All" / "*.*"
    bool includeSubDirectories = false;
    platform::CivilDate changesFrom;
};

// Raised for a text that cannot be written into a batch line safely.
class UnsafeScriptText : public std::runtime_error
{
  public:
    UnsafeScriptText(const std::string& what, std::string text);
    const std::string& text() const { return m_text; }

  private:
    std::string m_text;
};

using DirectoryTest = std::function<bool(const std::string& path)>;
using LineSink = std::function<void(std::string_view line)>;

// True for a file type that stands for every file: exactly "All" or "*.*".
bool isWholeDirectoryMarker(std::string_view fileType);

// Raises UnsafeScriptText when a text that writeBackupScript writes for `job`
// holds CR, LF or a double quote (or, on Windows, a letter the console's code
// page lacks): the backup directory, each source directory, and, when there
// is one, the file types up to the first whole-directory marker. The caller
// drops the sources that are not there first: a stale entry that gets no
// line blocks nothing.
void checkScriptTexts(const BackupJob& job);

// Hands each line of the script, without its CR LF, to `sink` in order: the
// folder line, then for each source directory that `isDirectory` accepts its
// target line and its copy lines. A source whose target folder name (its
// leaf) an earlier listed source has taken, whether that one exists or not,
// gets the name followed by " (2)", " (3)" and so on. Does not check the texts.
void writeBackupScript(const BackupJob& job, const DirectoryTest& isDirectory, const LineSink& sink,
                       char separator = platform::kNativeSeparator);

// The name of the dated backup folder: backup directory, separator, "BK-" and
// the date stamp.
std::string backupFolder(const BackupJob& job, char separator = platform::kNativeSeparator);

// The script's path: backup directory, separator, "backup", date stamp, ".bat".
std::string scriptFileName(const BackupJob& job, char separator = platform::kNativeSeparator);

} // namespace tarvik
