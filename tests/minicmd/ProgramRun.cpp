#include "ProgramRun.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testfiles {
namespace {

std::vector<char*> argvOf(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// The unprivileged user may not reach the build folder (a checkout under
// /root, which is closed to others): it runs a copy of the program from a
// folder of its own, made once per program and removed at exit.
class ReachableCopies
{
  public:
    ~ReachableCopies()
    {
        std::error_code ignored;
        if (!m_folder.empty())
            std::filesystem::remove_all(m_folder, ignored);
    }

    const std::string& of(const std::string& program)
    {
        namespace fs = std::filesystem;
        if (const auto known = m_copies.find(program); known != m_copies.end())
            return known->second;
        if (m_folder.empty()) {
            std::string pattern = "/tmp/tarvik-unprivileged-XXXXXX";
            if (!::mkdtemp(pattern.data()))
                throw std::runtime_error("mkdtemp failed");
            m_folder = pattern;
            ::chmod(m_folder.c_str(), 0755);
        }
        const std::string copy = m_folder + "/" + std::to_string(m_copies.size()) + "-" +
                                 fs::path(program).filename().string();
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
        ::chmod(copy.c_str(), 0755);
        return m_copies.emplace(program, copy).first->second;
    }

  private:
    std::string m_folder;
    std::map<std::string, std::string> m_copies;
};

int milliseconds(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Collects the child's output until it closes it or the bound passes, calling
// `onOutput` after each piece; then reaps the child (killing it at the bound).
ProgramResult collect(pid_t child, int outputFd, std::chrono::milliseconds bound,
                      const std::function<void(const std::string&)>& onOutput)
{
    ProgramResult result;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        pollfd watch{outputFd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, milliseconds(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            result.timedOut = true;
            ::kill(child, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t got = ::read(outputFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) // EOF, or EIO once a pseudo-terminal's other side has gone
            break;
        result.output.append(buffer, static_cast<size_t>(got));
        if (onOutput)
            onOutput(result.output);
    }
    ::close(outputFd);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

} // namespace

void pauseBriefly()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

ProgramResult runProgram(const std::vector<std::string>& arguments, Input input,
                         bool asUnprivileged, std::chrono::milliseconds bound)
{
    const bool dropPrivileges = asUnprivileged && ::geteuid() == 0;
    std::vector<std::string> run = arguments;
    if (dropPrivileges && !run.empty()) {
        static ReachableCopies copies;
        run.front() = copies.of(run.front());
    }
    int output[2], silent[2];
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(silent, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<char*> argv = argvOf(run);
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        const int in = input == Input::SilentPipe ? silent[0] : ::open("/dev/null", O_RDONLY);
        ::dup2(in, STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        if (dropPrivileges &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    ::close(silent[0]);
    ProgramResult result = collect(child, output[0], bound, {});
    ::close(silent[1]);
    return result;
}

ProgramResult runOnTerminal(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& questions,
                            const std::vector<std::string>& answers,
                            std::chrono::milliseconds bound,
                            const std::function<void(std::size_t)>& whileAsked)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const std::string slaveName = ::ptsname(master);
    std::vector<char*> argv = argvOf(arguments);
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        ::setsid();
        const int slave = ::open(slaveName.c_str(), O_RDWR);
        if (slave < 0)
            ::_exit(126);
        ::dup2(slave, STDIN_FILENO);
        ::dup2(slave, STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    size_t answered = 0;
    return collect(child, master, bound, [&](const std::string& soFar) {
        size_t asked = 0;
        for (const std::string& question : questions)
            for (size_t at = soFar.find(question); at != std::string::npos;
                 at = soFar.find(question, at + 1))
                ++asked;
        while (answered < asked && answered < answers.size()) {
            if (whileAsked)
                whileAsked(answered);
            const std::string typed = answers[answered++] + "\n";
            [[maybe_unused]] const ssize_t written = ::write(master, typed.data(), typed.size());
        }
    });
}

} // namespace testfiles
