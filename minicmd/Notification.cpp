#include "minicmd/Notification.h"

#include "minicmd/VisibleText.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tarvik::minicmd {
namespace {

// Failures a notification lists; the log and the terminal have them all.
constexpr std::size_t kNotifiedFailures = 5;

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

std::string onPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0;;) {
        const std::size_t end = folders.find(':', start);
        const std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        struct stat info
        {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

} // namespace

void notifyDesktop(const RunSummary& summary, const std::string& logPath)
{
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY"))
        return;
    const std::string program = onPath("notify-send");
    if (program.empty())
        return;

    const bool failed = summary.failureCount > 0 || !summary.interruptedBy.empty();
    const std::string title =
        !summary.interruptedBy.empty() ? "Backup interrupted by " + summary.interruptedBy
        : failed ? "Backup finished with " + std::to_string(summary.failureCount) + " failure(s)"
                 : "Backup finished";
    RunSummary shown = summary;
    if (shown.failures.size() > kNotifiedFailures)
        shown.failures.resize(kNotifiedFailures);
    std::string body;
    // The body is markup to the notification server: a name must not format it.
    for (const std::string& line : summaryLines(shown))
        body += markupEscaped(line) + "\n";
    if (!logPath.empty())
        body += "Log: " + markupEscaped(visible(logPath));
    else if (!body.empty())
        body.pop_back();

    std::vector<std::string> arguments{program, "--app-name=TarvikBackUp",
                                       failed ? "--urgency=critical" : "--urgency=normal", title,
                                       body};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        ::posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    pid_t child = -1;
    const int started = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return;
    // notify-send returns at once; a desktop that does not answer must not
    // keep the run from ending, so the wait is bounded.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(child, nullptr, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

} // namespace tarvik::minicmd
