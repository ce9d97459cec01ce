#include "core/BackupRun.h"

#include "core/TextFileWriter.h"
#include "platform/ConsoleText.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace tarvik {
namespace {

// A missing folder's line in the list the interpreter names them from. A
// line break in the name is spelled as the interpreter shows one, "\n":
// split there, the name would stand for two folders, and one of them might be
// a folder this very backup copies.
std::string missingFolderLine(const std::string& folder)
{
    std::string line;
    for (char c : folder) {
        if (c == '\n')
            line += "\\n";
        else
            line += c;
    }
    return line + "\n";
}

} // namespace

void BackupRun::deleteScript()
{
    if (platform::fileExists(m_scriptFileName) && !platform::current().scriptRunning())
        platform::deleteFile(m_scriptFileName);
}

void BackupRun::removeLeftoverScripts(const std::string& backupDirectory)
{
    if (backupDirectory.empty())
        return;
    const auto isScriptName = [](const std::string& name) {
        constexpr std::string_view prefix = "backup", suffix = ".bat";
        if (name.size() != prefix.size() + 8 + suffix.size() || !name.starts_with(prefix) ||
            !name.ends_with(suffix))
            return false;
        return std::all_of(name.begin() + prefix.size(), name.end() - suffix.size(),
                           [](char c) { return c >= '0' && c <= '9'; });
    };
    for (const std::string& name : platform::fileNamesIn(backupDirectory))
        if (isScriptName(name))
            platform::deleteFile(backupDirectory + platform::kNativeSeparator + name);
}

void BackupRun::RunBackup(const BackupJob& job, platform::WindowHandle owner)
{
    constexpr char separator = platform::kNativeSeparator;
    platform::System& system = platform::current();

    if (system.scriptRunning())
        throw RunRefused(kStillRunning);
    deleteScript();

    // An empty text would put the script and the backup at the root.
    if (job.backupDirectory.empty())
        throw RunRefused("Choose a backup directory first.");

    // The guard looks at today, in the user's own date format; the script and
    // its folder are named after the Changes From date. The two agree only
    // for some formats, which is how the guard has always behaved.
    const std::string guardFolder = job.backupDirectory + separator + "BK-" +
                                    StripPathSeparators(system.shortDateText(system.today()));
    if (platform::directoryExists(guardFolder))
        return;

    // Each source is looked at once, so the texts checked are exactly the
    // ones written, even when a folder comes or goes meanwhile.
    std::map<std::string, bool> present;
    std::string missing; // one a line, for the interpreter to name
    for (const std::string& source : job.sourceDirectories) {
        if (present.contains(source))
            continue;
        present[source] = platform::directoryExists(source);
        if (!present[source])
            missing += missingFolderLine(source);
    }
    const auto listed = [&present](const std::string& source) {
        const auto found = present.find(source);
        return found != present.end() && found->second;
    };
    // Only the sources that get lines are checked: a stale entry blocks nothing.
    BackupJob written = job;
    std::erase_if(written.sourceDirectories,
                  [&listed](const std::string& source) { return !listed(source); });
    checkScriptTexts(written);

    // Only a file this run creates is ever run: a leftover of a killed run, or
    // a file (or link) someone else put there, goes first.
    const std::string path = scriptFileName(job, separator);
    if (platform::entryExists(path) && !platform::deleteFile(path) && platform::entryExists(path)) {
        throw RunRefused("The file \"" + path +
                         "\" is in the way of the backup script and cannot be removed");
    }
    m_scriptFileName = path;
    TextFileWriter file;
    file.createNew(m_scriptFileName);
    writeBackupScript(
        job, listed,
        // The command interpreter reads the script in its own code page;
        // checkScriptTexts made sure every text can be spelled in it.
        [&file](std::string_view line) { file.writeLine(*platform::toConsoleCodePage(line)); },
        separator);
    file.flushAndClose();

    // The interpreter that ships for systems without one names the folders
    // left out; the system's own takes no such arguments.
    const bool ownInterpreter = separator == '/';
    try {
        system.shellExecute(owner, "open", m_scriptFileName.c_str(),
                            ownInterpreter && !missing.empty() ? missing.c_str() : nullptr, nullptr,
                            platform::ShowNormal);
    } catch (...) {
        // What the user is told to run by hand stays, also once the program
        // has closed; an interpreter that starts late still finds it.
        m_scriptFileName.clear();
        throw;
    }
}

} // namespace tarvik
