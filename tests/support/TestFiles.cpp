#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testfiles {

TempDir::TempDir()
{
    std::random_device seed;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("tarvik-test-" + std::to_string(seed()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Tests may leave folders read-only; make them writable to remove them.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_path, ignored)) {
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(m_path, ignored);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

void makeDirectory(const std::string& path)
{
    std::filesystem::create_directories(path);
}

std::string golden(const std::string& name)
{
    return readFile(std::string(TARVIK_TEST_DATA) + "/" + name);
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "|";
    return text;
}

} // namespace testfiles

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testfiles {

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

std::string inChild(std::string (*body)(const std::string&), const std::string& argument,
                    bool asUnprivileged)
{
    int channel[2];
    if (::pipe(channel) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(channel[0]);
        std::string result;
        if (asUnprivileged && runningAsRoot() &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            result = "<cannot drop privileges>";
        else
            result = body(argument);
        const char* data = result.data();
        size_t left = result.size();
        while (left > 0) {
            const ssize_t written = ::write(channel[1], data, left);
            if (written <= 0)
                break;
            data += written;
            left -= static_cast<size_t>(written);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "<child failed>";
    return result;
}

} // namespace testfiles
#endif
