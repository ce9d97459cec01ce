#include "core/TextFileWriter.h"

#include "Check.h"
#include "TestFiles.h"
#include "platform/TextFile.h"

#include <cerrno>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using testfiles::readFile;
using testfiles::TempDir;

namespace {

// Writes `lines` to `path` the way the notes file does, or the backup script
// with `createNew`.
void writeAll(const std::string& path, const std::vector<std::string>& lines,
              bool createNew = false)
{
    TextFileWriter file;
    if (createNew)
        file.createNew(path);
    else
        file.openAppendOrCreate(path);
    for (const auto& line : lines)
        file.writeLine(line);
    file.flushAndClose();
}

// The message of the FileError that writing one line to `path` raises, or
// "no error".
std::string failureWriting(const std::string& path)
{
    try {
        writeAll(path, {"MD x"});
        return "no error";
    } catch (const FileError& error) {
        return error.what();
    }
}

} // namespace

TEST_CASE(fileErrorMessagesFollowTheCodeTable)
{
    const std::pair<int, const char*> rows[] = {
        {2, "File not found"},
        {3, "Invalid filename"},
        {4, "Too many open files"},
        {5, "File access denied"},
        {100, "Read beyond end of file"},
        {101, "Disk full"},
        {106, "Invalid numeric input"},
        {32, "I/O error 32"},
        {103, "I/O error 103"},
        {1, "I/O error 1"},
        {-7, "I/O error -7"},
        // A system error without a Windows counterpart keeps its own number,
        // even where that number means something else on Windows (EIO is 5).
        {platform::fileCode::SystemErrorMark | 5, "I/O error 5"},
        {platform::fileCode::SystemErrorMark | 101, "I/O error 101"},
    };
    for (const auto& [code, message] : rows) {
        CHECK_CONTEXT(message);
        const FileError error(code);
        CHECK_EQ(std::string(error.what()), message);
        CHECK_EQ(error.code(), code);
    }
}

TEST_CASE(writerCreatesOrAppendsWithCrLfAfterEveryLine)
{
    TempDir dir;
    struct Row
    {
        const char* name;
        bool existsBefore;
        std::string before;
        std::vector<std::string> lines;
        std::string after;
    };
    const std::string longLine(200'000, 'x');
    std::vector<std::string> many(20'000, "xcopy a b /D:1-5-2027");
    std::string manyBytes;
    for (const auto& line : many)
        manyBytes += line + "\r\n";
    const Row rows[] = {
        {"new file", false, "", {"one", "", "three"}, "one\r\n\r\nthree\r\n"},
        {"nothing written creates an empty file", false, "", {}, ""},
        {"appends after old content", true, "old\r\n", {"new"}, "old\r\nnew\r\n"},
        {"appends after a last line without CR LF", true, "old", {"new"}, "oldnew\r\n"},
        {"nothing written leaves a file as it was", true, "keep\n", {}, "keep\n"},
        {"line longer than the buffer",
         false,
         "",
         {"a", longLine, "b"},
         "a\r\n" + longLine + "\r\nb\r\n"},
        {"many lines across buffer boundaries", false, "", many, manyBytes},
    };
    int index = 0;
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        const std::string path = dir / ("file" + std::to_string(index++) + ".txt");
        if (row.existsBefore)
            testfiles::writeFile(path, row.before);
        writeAll(path, row.lines);
        CHECK_EQ(readFile(path), row.after);
    }
}

TEST_CASE(aNewScriptIsTheUsersAloneWhereOtherNewFilesFollowTheUmask)
{
    TempDir dir;
    // Created new or not, and the mode it gets where a group shares the folder.
    const std::pair<bool, mode_t> rows[] = {{true, 0600}, {false, 0664}};
    const mode_t previous = ::umask(002);
    for (const auto& [createNew, expected] : rows) {
        CHECK_CONTEXT(createNew ? "created new" : "appended or created");
        const std::string path = dir / (createNew ? "backup.bat" : "notes.txt");
        writeAll(path, {"MD x"}, createNew);
        struct stat info
        {};
        REQUIRE(::stat(path.c_str(), &info) == 0);
        CHECK_EQ(info.st_mode & 0777, expected);
    }
    ::umask(previous);
}

TEST_CASE(writerReportsFileSystemFailuresWithTheirMessages)
{
    TempDir dir;
    testfiles::makeDirectory(dir / "folder.bat");
    testfiles::writeFile(dir / "readonly.txt", "old\r\n");
    ::chmod((dir / "readonly.txt").c_str(), 0444);
    const std::pair<std::string, const char*> rows[] = {
        {dir / "missing/file.bat", "Invalid filename"},
        {dir / "folder.bat/../missing/x.bat", "Invalid filename"},
        {dir / "folder.bat", "File access denied"},
        {std::string(5000, 'n'), "Invalid filename"},
        {"", "Invalid filename"},
    };
    for (const auto& [path, message] : rows) {
        CHECK_CONTEXT(path.substr(0, 80));
        CHECK_EQ(failureWriting(path), message);
    }
    // A file in a folder's place along the path.
    testfiles::writeFile(dir / "plain", "");
    CHECK_EQ(failureWriting(dir / "plain/x.bat"), "Invalid filename");
    if (!testfiles::runningAsRoot())
        CHECK_EQ(failureWriting(dir / "readonly.txt"), "File access denied");
    CHECK_EQ(readFile(dir / "readonly.txt"), "old\r\n");
}

TEST_CASE(writerRefusesAPipeWithoutAReaderInsteadOfWaiting)
{
    TempDir dir;
    REQUIRE(::mkfifo((dir / "backup20261206.bat").c_str(), 0600) == 0);
    CHECK_EQ(failureWriting(dir / "backup20261206.bat"), "I/O error " + std::to_string(ENXIO));
}

TEST_CASE(writerReportsAFullDisk)
{
    if (::access("/dev/full", W_OK) != 0) {
        std::puts("skipped: this system has no writable /dev/full");
        return;
    }
    // Buffered lines reach the device at the latest when flushed.
    CHECK_EQ(failureWriting("/dev/full"), "Disk full");
}

TEST_CASE(writerReportsRefusedAccessAsAnUnprivilegedUser)
{
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    testfiles::makeDirectory(dir / "readonly");
    ::chmod((dir / "readonly").c_str(), 0555);
    testfiles::writeFile(dir / "readonly.txt", "old\r\n");
    ::chmod((dir / "readonly.txt").c_str(), 0444);
    // Root may write anywhere, so the check runs as "nobody" in a child.
    const auto attempt = [](const std::string& path) { return failureWriting(path); };
    CHECK_EQ(testfiles::inChild(attempt, dir / "readonly/new.bat", true), "File access denied");
    CHECK_EQ(testfiles::inChild(attempt, dir / "readonly.txt", true), "File access denied");
    CHECK_EQ(readFile(dir / "readonly.txt"), "old\r\n");
}

TEST_CASE(writerReportsTooManyOpenFiles)
{
    TempDir dir;
    const auto attempt = [](const std::string& path) {
        // Every descriptor up to the limit is taken, so the next open fails.
        const rlimit limit{16, 16};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return std::string("<setrlimit failed>");
        while (::dup(0) >= 0) {
        }
        return failureWriting(path);
    };
    CHECK_EQ(testfiles::inChild(attempt, dir / "new.bat", false), "Too many open files");
}

TEST_CASE(writerUsedBeforeOpeningFails)
{
    TextFileWriter file;
    CHECK_THROWS_WITH(FileError, file.writeLine("x"), "I/O error 103");
    CHECK_THROWS_WITH(FileError, file.flushAndClose(), "I/O error 103");
}
