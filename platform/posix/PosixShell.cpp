#include "platform/posix/PosixShell.h"

#include "platform/posix/CreatedFiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvik::platform {
namespace {

constexpr const char* kInterpreterName = "minicmd";

bool isExecutableFile(const std::string& path)
{
    struct stat info
    {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// `name` as the system would find it: taken as it is when it holds a slash,
// otherwise looked up on PATH.
std::string findExecutable(const std::string& name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folders.find(':', start);
        // An empty entry stands for the current folder.
        std::string candidate =
            end == start ? std::string(".") : folders.substr(start, end - start);
        candidate.append("/").append(name);
        if (isExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

bool hasSuffixIgnoringCase(const std::string& text, const char* suffix)
{
    const std::size_t length = std::char_traits<char>::length(suffix);
    return text.size() >= length && ::strcasecmp(text.c_str() + text.size() - length, suffix) == 0;
}

std::string baseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The switch after which each emulator takes the command to run as separate
// arguments ("" when it takes them directly).
std::string executeSwitch(const std::string& emulator)
{
    const std::string name = baseName(emulator);
    if (name == "gnome-terminal" || name == "kgx" || name == "ptyxis")
        return "--";
    if (name == "xfce4-terminal" || name == "mate-terminal" || name == "terminator")
        return "-x";
    if (name == "kitty" || name == "foot")
        return "";
    return "-e";
}

std::string currentFolder()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::string absolutePath(const std::string& path, const std::string& base)
{
    if (path.empty() || path[0] == '/' || base.empty())
        return path;
    return base + "/" + path;
}

// Starts argv as a grandchild in a session of its own, so that it outlives
// the program, never becomes a zombie of it and holds none of its files;
// its standard streams are /dev/null. When the program cannot be executed,
// `wakeOnFailure` (a FIFO someone waits on) is opened and closed, so the
// waiter learns at once that no confirmation will come. Returns 0 once the
// program runs, otherwise the errno of the failed start.
int spawnDetached(const std::vector<std::string>& arguments, const std::string& directory,
                  const std::string& wakeOnFailure)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    // The grandchild reports a failed exec here; a successful one closes it.
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return errno;
    const pid_t child = ::fork();
    if (child < 0) {
        const int code = errno;
        ::close(status[0]);
        ::close(status[1]);
        return code;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on: the program may have threads.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(grandchild < 0 ? 1 : 0);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGCHLD, SIG_DFL);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        constexpr int report = 3;
        ::dup2(status[1], report);
        ::fcntl(report, F_SETFD, FD_CLOEXEC);
        ::close_range(report + 1, ~0U, 0);
        int code = 0;
        if (directory.empty() || ::chdir(directory.c_str()) == 0)
            ::execv(argv[0], argv.data());
        code = errno;
        [[maybe_unused]] const ssize_t told = ::write(report, &code, sizeof code);
        if (!wakeOnFailure.empty()) {
            const int fd = ::open(wakeOnFailure.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
        ::_exit(127);
    }
    ::close(status[1]);
    int waitStatus = 0;
    while (::waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    int code = 0;
    ssize_t got;
    while ((got = ::read(status[0], &code, sizeof code)) < 0 && errno == EINTR) {
    }
    ::close(status[0]);
    if (got == static_cast<ssize_t>(sizeof code))
        return code;
    // Without a grandchild nobody wrote; the middle child failed to fork.
    return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) != 0 ? EAGAIN : 0;
}

// The handshake folders are named after the process that made them:
// tarvik-shell-<pid>-XXXXXX. One left behind by a program that was killed
// outright is removed by the next one, once its maker is gone.
void removeAbandonedHandshakes(const std::string& temporary)
{
    DIR* listing = ::opendir(temporary.c_str());
    if (!listing)
        return;
    constexpr std::string_view prefix = "tarvik-shell-";
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix))
            continue;
        long pid = 0;
        const char* first = name.data() + prefix.size();
        const auto [next, error] = std::from_chars(first, name.data() + name.size(), pid);
        if (error != std::errc() || next == first || *next != '-' || pid <= 0 ||
            pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        const std::string folder = temporary + "/" + std::string(name);
        struct stat info
        {};
        if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue;
        ::unlink((folder + "/ready").c_str());
        ::rmdir(folder.c_str());
    }
    ::closedir(listing);
}

// The script's device, inode and owner, "DEV:INO:UID", which the interpreter
// checks on the file it reads: in a folder others may write to, someone could
// rename a file of theirs over the script before the interpreter opens it.
// Raises std::runtime_error when the file under the script's name is already
// no regular file of ours, or not the one this process created there.
std::string scriptIdentity(const std::string& script)
{
    const int fd = ::open(script.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info
    {};
    // Where every file shows as ours (FAT, exFAT) only the inode tells.
    const bool ours = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                      info.st_uid == ::geteuid() && !replacesCreatedFile(script, info);
    const int code = errno;
    if (fd >= 0)
        ::close(fd);
    if (fd < 0 && code == ENOENT)
        throw std::runtime_error("The backup script " + script + " is gone; nothing was run.");
    if (!ours)
        throw std::runtime_error("The backup script " + script +
                                 " is not the file the program wrote; nothing was run.");
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
           std::to_string(info.st_uid);
}

// Waits until the FIFO open as `fd` is written to or its writer has gone,
// or the bound has passed.
bool awaitSignal(int fd, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd watch{fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char byte = 0;
        return ::read(fd, &byte, 1) == 1;
    }
}

} // namespace

std::string findInterpreter(const std::string& modulePath)
{
    const auto slash = modulePath.rfind('/');
    if (slash != std::string::npos) {
        if (const std::string beside = modulePath.substr(0, slash + 1) + kInterpreterName;
            isExecutableFile(beside))
            return beside;
    }
    return findExecutable(kInterpreterName);
}

std::vector<std::string> terminalCommand()
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland))
        return {};
    std::vector<std::string> candidates;
    if (const char* chosen = std::getenv("TERMINAL"); chosen && *chosen)
        candidates.emplace_back(chosen);
    for (const char* name : {"x-terminal-emulator", "gnome-terminal", "konsole", "xfce4-terminal",
                             "mate-terminal", "alacritty", "kitty", "foot", "xterm"})
        candidates.emplace_back(name);
    for (const std::string& candidate : candidates) {
        if (const std::string found = findExecutable(candidate); !found.empty()) {
            std::vector<std::string> command{found};
            if (std::string flag = executeSwitch(candidate); !flag.empty())
                command.push_back(std::move(flag));
            return command;
        }
    }
    return {};
}

namespace {

// How a start of the interpreter went: whether there was a place for it to
// confirm in, and whether it confirmed within the bound.
struct ScriptStart
{
    bool canConfirm = false;
    bool confirmed = false;
};

ScriptStart startBatchScript(const std::string& script, const char* directory,
                             std::chrono::milliseconds bound,
                             const std::vector<std::string>& missing)
{
    const std::string interpreter = findInterpreter(current().modulePath());
    if (interpreter.empty())
        throw std::runtime_error(std::string("The command interpreter ") + kInterpreterName +
                                 " was not found beside the program or on PATH.");
    const std::string here = currentFolder();
    const std::string folder = directory && *directory ? absolutePath(directory, here) : here;
    // The working folder is passed on rather than inherited: a terminal may
    // start the command from a server process elsewhere.
    std::vector<std::string> arguments = terminalCommand();
    for (const std::string& argument : {interpreter, std::string("--cd"), folder,
                                        std::string("--identity"), scriptIdentity(script)})
        arguments.push_back(argument);
    for (const std::string& source : missing) {
        arguments.push_back("--missing");
        arguments.push_back(source);
    }

    const char* variable = std::getenv("TMPDIR");
    const std::string temporary = variable && *variable ? variable : "/tmp";
    removeAbandonedHandshakes(temporary);
    std::string pattern = temporary + "/tarvik-shell-" + std::to_string(::getpid()) + "-XXXXXX";
    const bool haveFolder = ::mkdtemp(pattern.data()) != nullptr;
    const std::string fifo = pattern + "/ready";
    const int fd = haveFolder && ::mkfifo(fifo.c_str(), 0600) == 0
                       ? ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)
                       : -1;
    bool confirmed = false;
    int failure = 0;
    if (fd >= 0) {
        arguments.push_back("--ready");
        arguments.push_back(fifo);
        arguments.push_back(absolutePath(script, here));
        failure = spawnDetached(arguments, folder, fifo);
        confirmed = failure == 0 && awaitSignal(fd, bound);
        ::close(fd);
    } else {
        // Without a place for the handshake the script still runs; the
        // program only deletes it at its next run or when it closes.
        arguments.push_back(absolutePath(script, here));
        failure = spawnDetached(arguments, folder, "");
    }
    if (haveFolder) {
        ::unlink(fifo.c_str());
        ::rmdir(pattern.c_str());
    }
    if (failure != 0) {
        // The script stays where it was written, for the user to run by hand.
        const bool terminal = arguments.front() != interpreter;
        throw std::runtime_error(
            std::string(terminal ? "The terminal " : "The command interpreter ") +
            arguments.front() + " could not be started: " + std::strerror(failure));
    }
    return {fd >= 0, confirmed};
}

} // namespace

bool openBatchScript(const std::string& script, const char* directory,
                     std::chrono::milliseconds bound, const std::vector<std::string>& missing)
{
    return startBatchScript(script, directory, bound, missing).confirmed;
}

void posixShellExecute(WindowHandle, const char* verb, const char* file, const char* parameters,
                       const char* directory, int)
{
    if (!file || !*file)
        return;
    // No verb means the default one, which is "open".
    if (verb && *verb && ::strcasecmp(verb, "open") != 0)
        return;
    const std::string target = file;
    if (hasSuffixIgnoringCase(target, ".bat") || hasSuffixIgnoringCase(target, ".cmd")) {
        std::vector<std::string> missing;
        for (std::string_view rest = parameters ? parameters : ""; !rest.empty();) {
            const std::size_t end = std::min(rest.find('\n'), rest.size());
            if (end > 0)
                missing.emplace_back(rest.substr(0, end));
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        // A terminal that did not run the command (one that takes its
        // command another way) would otherwise leave the user believing in
        // a backup that never ran.
        const ScriptStart start = startBatchScript(target, directory, kScriptReadBound, missing);
        if (start.canConfirm && !start.confirmed) {
            using std::chrono::duration_cast, std::chrono::seconds;
            throw std::runtime_error(
                "The backup has not started within " +
                std::to_string(duration_cast<seconds>(kScriptReadBound).count()) +
                " seconds. If it does not start, run " + target + " by hand.");
        }
        return;
    }
    if (const std::string opener = findExecutable("xdg-open"); !opener.empty())
        spawnDetached({opener, target}, directory && *directory ? directory : "", "");
}

} // namespace tarvik::platform
