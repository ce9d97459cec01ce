// File tests and the text file writer on the real Windows file system: the
// codes of real failures must meet the table of messages the user sees.
#include "Check.h"
#include "TestFiles.h"
#include "core/FileError.h"
#include "core/TextFileWriter.h"
#include "platform/FileSystem.h"

#include <functional>
#include <windows.h>

using namespace tarvik;
using testfiles::readFile;
using testfiles::TempDir;

namespace {

std::string under(const TempDir& dir, const std::string& name)
{
    return dir.path() + '\\' + name;
}

void makeFile(const std::string& path, const std::string& bytes)
{
    testfiles::writeFile(path, bytes);
}

// Holds a file open for reading without letting anyone else in, as another
// program may.
class ExclusiveHold
{
  public:
    explicit ExclusiveHold(const std::string& path)
        : m_handle(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr))
    {}
    ~ExclusiveHold()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;
    bool held() const { return m_handle != INVALID_HANDLE_VALUE; }

  private:
    HANDLE m_handle;
};

// Writes one line the way the backup run does; gives the failure's code and
// message, or 0 and "".
std::pair<int, std::string> failureOfWriting(const std::string& path, bool createNew = false)
{
    try {
        TextFileWriter file;
        if (createNew)
            file.createNew(path);
        else
            file.openAppendOrCreate(path);
        file.writeLine("MD x");
        file.flushAndClose();
        return {0, ""};
    } catch (const FileError& error) {
        return {error.code(), error.what()};
    }
}

} // namespace

TEST_CASE(realFailuresGiveTheCodesOfTheMessageTable)
{
    TempDir dir;
    struct Row
    {
        const char* name;
        std::string path;
        std::function<void(const std::string&)> prepare;
        int code;
        const char* message;
    };
    const auto readOnly = [](const std::string& path) {
        makeFile(path, "old\r\n");
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    };
    const Row rows[] = {
        {"folder missing", under(dir, "missing\\backup20261206.bat"), nullptr, 3,
         "Invalid filename"},
        {"drive folder missing", "Z:\\tarvik-no-such-folder\\a\\backup.bat", nullptr, 3,
         "Invalid filename"},
        {"read-only file", under(dir, "readonly.bat"), readOnly, 5, "File access denied"},
        {"a folder of that name", under(dir, "folder.bat"),
         [](const std::string& path) { ::CreateDirectoryA(path.c_str(), nullptr); }, 5,
         "File access denied"},
        {"invalid name", under(dir, "a?b.bat"), nullptr, 123, "I/O error 123"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        if (row.prepare)
            row.prepare(row.path);
        const auto [code, message] = failureOfWriting(row.path);
        CHECK_EQ(code, row.code);
        CHECK_EQ(message, row.message);
    }
    ::SetFileAttributesA(under(dir, "readonly.bat").c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK_EQ(readFile(under(dir, "readonly.bat")), "old\r\n");
}

TEST_CASE(aFileHeldOpenWithoutSharingGivesIoError32)
{
    TempDir dir;
    for (const bool existed : {true, false}) {
        CHECK_CONTEXT(existed ? "existing file, appending" : "new file, held by its creator");
        const std::string path = under(dir, existed ? "old.bat" : "new.bat");
        if (existed)
            makeFile(path, "old\r\n");
        ExclusiveHold other(path);
        REQUIRE(other.held());
        const auto [code, message] = failureOfWriting(path);
        CHECK_EQ(code, 32);
        CHECK_EQ(message, "I/O error 32");
    }
}

TEST_CASE(writerAppendsToAnExistingFileAndCreatesOtherwise)
{
    TempDir dir;
    const std::string path = under(dir, "backup20261206.bat");
    for (const char* expected : {"MD x\r\n", "MD x\r\nMD x\r\n"}) {
        CHECK_CONTEXT(expected);
        CHECK_EQ(failureOfWriting(path).first, 0);
        CHECK_EQ(readFile(path), expected);
    }
    // While the writer has the file, the command interpreter may read it.
    TextFileWriter file;
    file.openAppendOrCreate(path);
    HANDLE reader = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(reader != INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE)
        ::CloseHandle(reader);
    file.flushAndClose();
}

TEST_CASE(fileTestsAndDeletionOnRealFiles)
{
    TempDir dir;
    const std::string file = under(dir, "script.bat");
    const std::string folder = under(dir, "BK-20261206");
    makeFile(file, "x");
    ::CreateDirectoryA(folder.c_str(), nullptr);
    struct Row
    {
        const char* name;
        std::string path;
        bool isFile;
        bool isDirectory;
    };
    const Row rows[] = {
        {"file", file, true, false},
        {"folder", folder, false, true},
        {"folder with trailing backslash", folder + "\\", false, true},
        {"missing", under(dir, "none"), false, false},
        {"empty", "", false, false},
        {"drive root", "Z:\\", false, true},
        {"forward slashes", dir.path() + "/script.bat", true, false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        CHECK_EQ(platform::fileExists(row.path), row.isFile);
        CHECK_EQ(platform::directoryExists(row.path), row.isDirectory);
    }

    CHECK(platform::deleteFile(file));
    CHECK(!platform::fileExists(file));
    CHECK(!platform::deleteFile(file));
    CHECK(!platform::deleteFile(folder));
    CHECK(platform::directoryExists(folder));

    // Unlike POSIX, Windows keeps a read-only file from being deleted.
    const std::string readOnly = under(dir, "readonly.bat");
    makeFile(readOnly, "x");
    ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    CHECK(!platform::deleteFile(readOnly));
    CHECK(platform::fileExists(readOnly));
    ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The script is always a new file, and neither it nor the notes file is
// written through a second name of another file; the settings file is
// written in place there, so both names keep one content.
TEST_CASE(newFilesAreNewAndSecondNamesAreKept)
{
    TempDir dir;
    const std::string other = under(dir, "profile.txt");
    makeFile(other, "old\r\n");
    const std::string second = under(dir, "BK-20261206.txt");
    REQUIRE(::CreateHardLinkA(second.c_str(), other.c_str(), nullptr));
    struct Row
    {
        const char* name;
        std::string path;
        bool createNew;
        const char* message;
    };
    const Row rows[] = {
        {"new script", under(dir, "backup20261206.bat"), true, ""},
        {"script over a file", other, true, "File access denied"},
        {"notes through a second name", second, false, "File access denied"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        CHECK_EQ(failureOfWriting(row.path, row.createNew).second, row.message);
    }
    CHECK_EQ(readFile(other), "old\r\n");
    CHECK(platform::entryExists(second));
    CHECK(!platform::entryExists(dir.path()));
}
