#include "core/Notes.h"

#include "Check.h"
#include "TestFiles.h"
#include "core/BackupRun.h"
#include "core/FileError.h"

using namespace tarvik;
using testfiles::readFile;
using testfiles::TempDir;

namespace {

// The message of the error that writing `lines` raises, or "no error".
std::string failureWriting(const std::string& backupDirectory,
                           const std::vector<std::string>& lines)
{
    try {
        WriteNotesFile(backupDirectory, {2026, 12, 6}, lines);
        return "no error";
    } catch (const FileError& error) {
        return error.what();
    }
}

} // namespace

TEST_CASE(notesFileNameJoinsDirectoryAsTypedWithDateStamp)
{
    struct Row
    {
        const char* directory;
        CivilDate date;
        char separator;
        const char* expected;
    };
    const Row rows[] = {
        {"D:\\Backups", {2026, 12, 6}, '\\', "D:\\Backups\\BK-20261206.txt"},
        {"", {2026, 12, 6}, '\\', "\\BK-20261206.txt"},
        {"D:\\Backups\\", {2026, 1, 9}, '\\', "D:\\Backups\\\\BK-20260109.txt"},
        {" D:\\My Backups ", {999, 12, 31}, '\\', " D:\\My Backups \\BK-9991231.txt"},
        {"/media/ann/backup", {2026, 12, 6}, '/', "/media/ann/backup/BK-20261206.txt"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.expected);
        CHECK_EQ(NotesFileName(row.directory, row.date, row.separator), row.expected);
    }
}

TEST_CASE(notesAreAddedAfterWhatTheFileHolds)
{
    struct Row
    {
        const char* name;
        bool existsBefore;
        std::string before;
        std::vector<std::vector<std::string>> calls;
        std::string after;
    };
    const Row rows[] = {
        {"no lines create an empty file", false, "", {{}}, ""},
        {"no lines leave a file as it was", true, "old\r\nnotes", {{}}, "old\r\nnotes"},
        {"one call", false, "", {{"first", "", "third"}}, "first\r\n\r\nthird\r\n"},
        {"two calls append with no separator", false, "", {{"a", "b"}, {"c"}}, "a\r\nb\r\nc\r\n"},
        {"after a file without a final line break", true, "old", {{"new"}}, "oldnew\r\n"},
        {"8-bit text is written as it stands",
         false,
         "",
         {{"caf\xE9 \t tab", std::string("nul\0in", 6)}},
         std::string("caf\xE9 \t tab\r\nnul\0in\r\n", 20)},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir dir;
        const std::string file = NotesFileName(dir.path(), {2026, 12, 6});
        if (row.existsBefore)
            testfiles::writeFile(file, row.before);
        for (const auto& lines : row.calls)
            WriteNotesFile(dir.path(), {2026, 12, 6}, lines);
        CHECK_EQ(readFile(file), row.after);
    }
}

TEST_CASE(eachDateHasItsOwnNotesFile)
{
    TempDir dir;
    WriteNotesFile(dir.path(), {2026, 12, 6}, {"sixth"});
    WriteNotesFile(dir.path(), {2026, 12, 7}, {"seventh"});
    CHECK_EQ(readFile(dir / "BK-20261206.txt"), "sixth\r\n");
    CHECK_EQ(readFile(dir / "BK-20261207.txt"), "seventh\r\n");
}

TEST_CASE(missingBackupDirectoryIsAnInvalidFilename)
{
    TempDir dir;
    CHECK_EQ(failureWriting(dir / "missing", {"note"}), "Invalid filename");
    CHECK_EQ(failureWriting(dir / "missing", {}), "Invalid filename");
    CHECK_EQ(failureWriting(dir / "missing/deeper", {"note"}), "Invalid filename");
}

TEST_CASE(anEmptyBackupDirectoryWritesNothingAtTheRoot)
{
    CHECK_THROWS_WITH(RunRefused, WriteNotesFile("", {2026, 12, 6}, {"note"}),
                      "Choose a backup directory first.");
    CHECK(!platform::entryExists(std::string(1, platform::kNativeSeparator) + "BK-20261206.txt"));
}
