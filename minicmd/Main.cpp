// minicmd: runs the backup scripts the program writes where the system has no
// command interpreter of its own.

#include "minicmd/Console.h"
#include "minicmd/FileCopy.h"
#include "minicmd/Interpreter.h"
#include "minicmd/Leftovers.h"
#include "minicmd/Notification.h"
#include "minicmd/RunLog.h"
#include "minicmd/ScriptFile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

const char kUsage[] =
    "Usage: minicmd [--cd FOLDER] [--ready FIFO] [--identity D:I:U] SCRIPT\n"
    "       minicmd --last | --history\n"
    "Runs a batch script of MD and xcopy lines, as the backup program writes them.\n"
    "\n"
    "  MD PATH...                              make folders, with missing parents\n"
    "  xcopy SOURCE[/MASK] [DEST] [/S] [/D:m-d-y]\n"
    "                                          copy matching files changed on or after\n"
    "                                          the date, /S with sub-folders\n"
    "\n"
    "  --cd FOLDER   run the script's lines in FOLDER (the script is read first)\n"
    "  --ready FIFO  write one byte to FIFO once the script is in memory, so the\n"
    "                starter may delete it\n"
    "  --identity D:I:U\n"
    "                run the script only when it is still the file of this device,\n"
    "                inode and owner: the one its starter wrote\n"
    "  --last        show the summary of the last run\n"
    "  --history     show every recorded run as a table\n"
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
    "The exit status is 0 when every line ran without failure, 1 otherwise, 2 when the\n"
    "script could not be read.\n"
    "\n"
    "Each run is recorded: a log of what it showed, and a line in a history file,\n"
    "in $XDG_STATE_HOME/tarvikbackup (by default ~/.local/state/tarvikbackup). On a\n"
    "terminal a run with failures waits for Enter before it ends; without one, a\n"
    "desktop notification (notify-send) tells how it went.\n";

// Tells the starter that the script is in memory. Whoever waits has the
// FIFO open for reading; when nobody does (any more), there is nothing to tell.
void signalReady(const char* fifo)
{
    const int fd = ::open(fifo, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    const char byte = '1';
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    ::close(fd);
}

// Ctrl+C, a closed terminal window or a kill: clean up, then end as the
// signal would have ended the process.
void onTermination(int signal)
{
    tarvik::minicmd::removeUnfinishedCopy();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

int main(int argc, char** argv)
{
    const char* ready = nullptr;
    const char* folder = nullptr;
    const char* script = nullptr;
    std::string identity;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "/?") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--last")
            return tarvik::minicmd::printLastRun(stdout);
        if (arg == "--history")
            return tarvik::minicmd::printHistory(stdout);
        if (arg == "--version") {
            std::printf("minicmd %s\n", TARVIK_VERSION);
            return 0;
        }
        if (arg == "--ready" && i + 1 < argc) {
            ready = argv[++i];
        } else if (arg == "--identity" && i + 1 < argc) {
            identity = argv[++i];
        } else if (arg == "--cd" && i + 1 < argc) {
            folder = argv[++i];
        } else if (!script && (arg.empty() || arg[0] != '-' || arg == "-")) {
            script = argv[i];
        } else {
            std::fprintf(stderr, "minicmd: unexpected argument %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (!script) {
        if (ready)
            signalReady(ready);
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::string content;
    int code = 0;
    const tarvik::minicmd::ScriptRead read =
        tarvik::minicmd::readScript(script, identity, content, code);
    if (ready)
        signalReady(ready);
    if (read == tarvik::minicmd::ScriptRead::Unreadable) {
        std::fprintf(stderr, "Cannot read script %s: %s\n", script, std::strerror(code));
        return 2;
    }
    // The record names the script by its full path: the run may change folder.
    std::string scriptPath = script;
    if (char here[4096]; scriptPath[0] != '/' && ::getcwd(here, sizeof here))
        scriptPath = std::string(here) + "/" + scriptPath;
    if (folder && ::chdir(folder) != 0) {
        std::fprintf(stderr, "Cannot change to folder %s: %s\n", folder, std::strerror(errno));
        return 2;
    }

    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, onTermination);
    using namespace tarvik::minicmd;
    Console console = Console::forStandardStreams();
    RunLog log(scriptPath, console);
    int failures = 0;
    if (read == ScriptRead::NotTheExpectedFile) {
        // Someone else's file under the script's name: run none of it.
        console.error("The script " + scriptPath +
                      " is not the file the backup program wrote; nothing of it was run");
        failures = 1;
    } else {
        cleanUpAfterEndedRuns();
        failures = runScript(content, console);
        endCopyRecord();
    }
    const int status = failures == 0 ? 0 : 1;
    const RunSummary summary = console.summary(failures);
    console.finish(summary);
    log.finish(summary, status);
    if (!console.live())
        notifyDesktop(summary, log.path());
    console.holdOnFailure(summary);
    std::fflush(stdout);
    return status;
}
