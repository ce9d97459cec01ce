#include "Check.h"
#include "TestFiles.h"
#include "platform/FileSystem.h"
#include "platform/System.h"
#include "platform/posix/PosixSystem.h"

#include <cstdlib>
#include <unistd.h>

using namespace tarvik::platform;
using testfiles::TempDir;

TEST_CASE(fileAndDirectoryTestsTellTheKindApart)
{
    TempDir dir;
    testfiles::writeFile(dir / "file.bat", "x");
    testfiles::makeDirectory(dir / "folder");
    ::symlink((dir / "folder").c_str(), (dir / "link-to-folder").c_str());
    ::symlink((dir / "file.bat").c_str(), (dir / "link-to-file").c_str());
    ::symlink((dir / "gone").c_str(), (dir / "dangling").c_str());
    struct Row
    {
        std::string path;
        bool file;
        bool directory;
    };
    const Row rows[] = {
        {"", false, false},
        {dir / "file.bat", true, false},
        {dir / "folder", false, true},
        {dir / "folder/", false, true},
        {dir / "link-to-folder", false, true},
        {dir / "link-to-file", true, false},
        {dir / "dangling", false, false},
        {dir / "missing", false, false},
        {dir / "file.bat/x", false, false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.path);
        CHECK_EQ(fileExists(row.path), row.file);
        CHECK_EQ(directoryExists(row.path), row.directory);
    }
}

TEST_CASE(shortDateTextFollowsTheLocaleOfTheEnvironment)
{
    // Only the C locales can be counted on everywhere; their short date is
    // month/day/two-digit year. A locale that cannot be loaded falls back to C.
    const char* locales[] = {"C", "POSIX", "no_SUCH.locale"};
    ::unsetenv("LC_ALL");
    for (const char* locale : locales) {
        CHECK_CONTEXT(locale);
        ::setenv("LC_TIME", locale, 1);
        CHECK_EQ(native().shortDateText({2026, 12, 6}), "12/06/26");
        CHECK_EQ(native().shortDateText({2027, 1, 5}), "01/05/27");
    }
    ::unsetenv("LC_TIME");
}

TEST_CASE(modulePathIsTheExecutablesEvenWhenReplacedWhileRunning)
{
    const std::pair<const char*, const char*> rows[] = {
        {"/opt/tarvik/TarvikBackUp", "/opt/tarvik/TarvikBackUp"},
        {"/opt/tarvik/TarvikBackUp (deleted)", "/opt/tarvik/TarvikBackUp"},
        {"/home/jo/my (deleted) tools/TarvikBackUp", "/home/jo/my (deleted) tools/TarvikBackUp"},
        {" (deleted)", " (deleted)"},
        {"", ""},
    };
    for (const auto& [link, expected] : rows) {
        CHECK_CONTEXT(link);
        CHECK_EQ(modulePathFromLink(link), expected);
    }
    // The running test itself is not replaced: its path names a file.
    CHECK(fileExists(native().modulePath()));
}
