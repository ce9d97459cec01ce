#include "BackupRun.h"

#include "ConsoleText.h"
#include "FileSystem.h"
#include "TextFileWriter.h"

namespace tarvik {

void BackupRun::deleteScript()
{
    if (!platform::fileExists(m_scriptFileName))
        return;
    platform::current().waitForScript();
    platform::deleteFile(m_scriptFileName);
}

void BackupRun::RunBackup(const BackupJob& job, platform::WindowHandle owner)
{
    constexpr char separator = platform::kNativeSeparator;
    platform::System& system = platform::current();

    deleteScript();

    // The guard looks at today, in the user's own date format; the script and
    // its folder are named after the Changes From date. The two agree only
    // for some formats, which is how the guard has always behaved.
    const std::string guardFolder = job.backupDirectory + separator + "BK-" +
                                    StripPathSeparators(system.shortDateText(system.today()));
    if (platform::directoryExists(guardFolder))
        return;

    checkScriptTexts(job);

    m_scriptFileName = scriptFileName(job, separator);
    TextFileWriter file;
    file.openAppendOrCreate(m_scriptFileName);
    writeBackupScript(
        job, [](const std::string& path) { return platform::directoryExists(path); },
        // The command interpreter reads the script in its own code page;
        // checkScriptTexts made sure every text can be spelled in it.
        [&file](std::string_view line) { file.writeLine(*platform::toConsoleCodePage(line)); },
        separator);
    file.flushAndClose();

    system.shellExecute(owner, "open", m_scriptFileName.c_str(), nullptr, nullptr,
                        platform::ShowNormal);
}

} // namespace tarvik
