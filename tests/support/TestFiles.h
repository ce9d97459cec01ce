#pragma once
// Real files for tests below the GUI: a fresh temporary folder per test, and
// whole-file reads and writes, byte for byte.

#include <string>
#include <vector>

namespace testfiles {

// A new empty folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempDir
{
  public:
    TempDir();
    ~TempDir();

    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string operator/(const std::string& name) const { return m_path + '/' + name; }

  private:
    // One object owns the folder, and removes it once.
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string m_path;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
void makeDirectory(const std::string& path);
// The golden file tests/data/<name>.
std::string golden(const std::string& name);
// Each of `lines` followed by "|": one text to compare, readable on a failure.
std::string joined(const std::vector<std::string>& lines);

} // namespace testfiles

#ifndef _WIN32
namespace testfiles {

// Runs `body` in a forked child and gives back the text it returned, so a test
// can change what the process may do (its user, its limits) without touching
// the test process. With `asUnprivileged`, a child running as root first
// becomes the user "nobody" (65534), for whom permissions really apply.
std::string inChild(std::string (*body)(const std::string&), const std::string& argument,
                    bool asUnprivileged);

bool runningAsRoot();

} // namespace testfiles
#endif
