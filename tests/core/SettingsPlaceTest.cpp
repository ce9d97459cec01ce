// Where the settings file goes: beside a copy the user owns, else in the
// user's own settings folder, with real folders and the real environment.

#include "Check.h"
#include "TestFiles.h"
#include "core/ProfileValues.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using testfiles::TempDir;

namespace {

// The environment variable set (or removed, for nullptr) for the object's life.
class ScopedVariable
{
  public:
    ScopedVariable(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedVariable() { m_had ? ::setenv(m_name, m_old.c_str(), 1) : ::unsetenv(m_name); }

  private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

} // namespace

TEST_CASE(theSettingsFileStaysBesideACopyOnlyWhenItsFolderIsTheUsers)
{
    TempDir temp;
    testfiles::makeDirectory(temp / "mine");
    // Another user's folder; for a user who is not root, one they may not
    // write to stands for it.
    testfiles::makeDirectory(temp / "theirs");
    testfiles::writeFile(temp / "theirs/Shared.INI", "");
    if (testfiles::runningAsRoot())
        REQUIRE(::chown((temp / "theirs").c_str(), 65534, 65534) == 0);
    else
        REQUIRE(::chmod((temp / "theirs").c_str(), 0555) == 0);
    testfiles::makeDirectory(temp / "home");
    const std::string config = temp / "config";

    struct Row
    {
        const char* name;
        std::string module;
        const char* xdgConfigHome; // nullptr: unset
        std::string expected;
    };
    const Row rows[] = {
        {"a portable copy", temp / "mine/TarvikBackUp", config.c_str(),
         temp / "mine/TarvikBackUp.INI"},
        {"another user's folder", temp / "theirs/TarvikBackUp", config.c_str(),
         config + "/tarvikbackup/TarvikBackUp.INI"},
        // A shared install whose administrator put a settings file there.
        {"a file already beside it", temp / "theirs/Shared", config.c_str(),
         temp / "theirs/Shared.INI"},
        // Root owns and may write /usr/bin: still a system-wide install.
        {"the system's tree", "/usr/bin/TarvikBackUp", config.c_str(),
         config + "/tarvikbackup/TarvikBackUp.INI"},
        {"a folder that is not there", temp / "gone/TarvikBackUp", config.c_str(),
         config + "/tarvikbackup/TarvikBackUp.INI"},
        {"no XDG_CONFIG_HOME", "/usr/bin/TarvikBackUp", nullptr,
         temp / "home/.config/tarvikbackup/TarvikBackUp.INI"},
        {"a relative XDG_CONFIG_HOME is ignored", "/usr/bin/TarvikBackUp", "config",
         temp / "home/.config/tarvikbackup/TarvikBackUp.INI"},
    };
    for (const Row& row : rows) {
        CHECK_CONTEXT(row.name);
        const ScopedVariable home("HOME", (temp / "home").c_str());
        const ScopedVariable xdg("XDG_CONFIG_HOME", row.xdgConfigHome);
        const std::string path = settingsFilePath(row.module);
        CHECK_EQ(path, row.expected);
        // The folder is there for the first save, and private when made here.
        const std::string folder = path.substr(0, path.rfind('/'));
        struct stat info
        {};
        REQUIRE(::stat(folder.c_str(), &info) == 0);
        if (path.starts_with(config) || path.starts_with(temp / "home"))
            CHECK_EQ(info.st_mode & 0777, 0700u);
    }
}
