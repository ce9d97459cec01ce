#include "PosixShell.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
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
// waiter learns at once that no confirmation will come.
void spawnDetached(const std::vector<std::string>& arguments, const std::string& directory,
                   const std::string& wakeOnFailure)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0)
        return;
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
        ::close_range(3, ~0U, 0);
        if (directory.empty() || ::chdir(directory.c_str()) == 0)
            ::execv(argv[0], argv.data());
        if (!wakeOnFailure.empty()) {
            const int fd = ::open(wakeOnFailure.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
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

bool openBatchScript(const std::string& script, const char* directory,
                     std::chrono::milliseconds bound)
{
    const std::string interpreter = findInterpreter(current().modulePath());
    if (interpreter.empty())
        return false;
    const std::string here = currentFolder();
    const std::string folder = directory && *directory ? absolutePath(directory, here) : here;
    // The working folder is passed on rather than inherited: a terminal may
    // start the command from a server process elsewhere.
    std::vector<std::string> arguments = terminalCommand();
    for (const std::string& argument : {interpreter, std::string("--cd"), folder})
        arguments.push_back(argument);

    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/tarvik-shell-XXXXXX";
    const bool haveFolder = ::mkdtemp(pattern.data()) != nullptr;
    const std::string fifo = pattern + "/ready";
    const int fd = haveFolder && ::mkfifo(fifo.c_str(), 0600) == 0
                       ? ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)
                       : -1;
    bool confirmed = false;
    if (fd >= 0) {
        arguments.push_back("--ready");
        arguments.push_back(fifo);
        arguments.push_back(absolutePath(script, here));
        spawnDetached(arguments, folder, fifo);
        confirmed = awaitSignal(fd, bound);
        ::close(fd);
    } else {
        // Without a place for the handshake the script still runs; the
        // program only deletes it at its next run or when it closes.
        arguments.push_back(absolutePath(script, here));
        spawnDetached(arguments, folder, "");
    }
    if (haveFolder) {
        ::unlink(fifo.c_str());
        ::rmdir(pattern.c_str());
    }
    return confirmed;
}

void posixShellExecute(WindowHandle, const char* verb, const char* file, const char*,
                       const char* directory, int)
{
    if (!file || !*file)
        return;
    // No verb means the default one, which is "open".
    if (verb && *verb && ::strcasecmp(verb, "open") != 0)
        return;
    const std::string target = file;
    if (hasSuffixIgnoringCase(target, ".bat") || hasSuffixIgnoringCase(target, ".cmd")) {
        openBatchScript(target, directory);
        return;
    }
    if (const std::string opener = findExecutable("xdg-open"); !opener.empty())
        spawnDetached({opener, target}, directory && *directory ? directory : "", "");
}

} // namespace tarvik::platform
