// minicmd: runs the backup scripts the program writes where the system has no
// command interpreter of its own.

#include "minicmd/Console.h"
#include "minicmd/FileCopy.h"
#include "minicmd/Interpreter.h"
#include "minicmd/Interruption.h"
#include "minicmd/Leftovers.h"
#include "minicmd/Notification.h"
#include "minicmd/RunChecks.h"
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
#include <vector>

namespace {

const char kUsage[] =
    "Usage: minicmd [--cd FOLDER] [--ready FIFO] [--identity D:I:U] [--missing FOLDER]...\n"
    "               SCRIPT\n"
    "       minicmd --last | --history | --verify [LOG]\n"
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
    "  --missing FOLDER  a source folder that was not found, so the script does not\n"
    "                copy it: the run names it (and fails when nothing is left)\n"
    "  --last        show the summary of the last run; exit status 0 when it ended\n"
    "                without failures, 1 with failures, 2 when it was interrupted,\n"
    "                did not finish, or no run is recorded\n"
    "  --history     show every recorded run as a table\n"
    "  --verify [LOG]  re-read every copy the last run (or the run of LOG) made and\n"
    "                report each that is missing or changed; exit status 0 when all\n"
    "                are intact, 1 otherwise, 2 when there is nothing to check\n"
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
    "The exit status is 0 when every line ran without failure, 1 otherwise, 2 when the\n"
    "script could not be read. A run stopped by a signal records that, then ends by it.\n"
    "\n"
    "Each run is recorded: a log of what it showed, and a line in a history file,\n"
    "in $XDG_STATE_HOME/tarvikbackup (by default ~/.local/state/tarvikbackup). On a\n"
    "terminal a run with failures or warnings waits for Enter before it ends;\n"
    "without one, a desktop notification (notify-send) tells how it went.\n";

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

} // namespace

int main(int argc, char** argv)
{
    const char* ready = nullptr;
    const char* folder = nullptr;
    const char* script = nullptr;
    std::vector<std::string> missing;
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
        if (arg == "--verify")
            return tarvik::minicmd::verifyCopies(stdout, i + 1 < argc ? argv[i + 1] : "");
        if (arg == "--version") {
            std::printf("minicmd %s\n", TARVIK_VERSION);
            return 0;
        }
        if (arg == "--ready" && i + 1 < argc) {
            ready = argv[++i];
        } else if (arg == "--missing" && i + 1 < argc) {
            missing.emplace_back(argv[++i]);
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

    using namespace tarvik::minicmd;
    handleInterruptions();
    Console console = Console::forStandardStreams();
    RunLog log(scriptPath, console);
    RunChecks checks(std::move(missing), stateFolder(), log.started());
    int failures = 0;
    int signal = 0;
    const bool refused = read == ScriptRead::NotTheExpectedFile;
    if (refused) {
        // Someone else's file under the script's name: run none of it.
        console.error("The script " + scriptPath +
                      " is not the file the backup program wrote; nothing of it was run");
        failures = 1;
    } else {
        checks.start(console);
        cleanUpAfterEndedRuns();
        failures = runScript(content, console, checks.watch(console));
        endCopyRecord();
        signal = interruptingSignal();
        if (signal == 0)
            failures += checks.finish(console);
    }
    // A run stopped by a signal ends as the signal would have ended it.
    const int status = signal != 0 ? 128 + signal : failures == 0 ? 0 : 1;
    RunSummary summary = console.summary(failures);
    if (signal != 0)
        summary.interruptedBy = signalName(signal);
    console.finish(summary);
    log.finish(summary, status);
    if (signal == 0 && !refused)
        checks.recordCoverage();
    if (!console.live())
        notifyDesktop(summary, log.path());
    if (signal == 0)
        console.holdOnTrouble(summary);
    std::fflush(stdout);
    if (signal != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return status;
}
