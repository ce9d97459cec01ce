// The real interpreter on real scripts in temporary folders.

#include "Check.h"
#include "ProgramRun.h"
#include "ScriptText.h"
#include "TestFiles.h"
#include "Trees.h"
#include "core/BackupScript.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using namespace testfiles;

namespace {

const std::time_t kNew = localTime(2026, 12, 6, 9, 30);
const std::time_t kOld = localTime(2026, 12, 5, 23, 59, 59);

ProgramResult runScriptFile(const std::string& script, Input input = Input::DevNull,
                            bool asUnprivileged = false)
{
    return runProgram({MINICMD_PATH, script}, input, asUnprivileged);
}

ProgramResult runLines(const TempDir& dir, const std::string& lines, Input input = Input::DevNull,
                       bool asUnprivileged = false)
{
    const std::string script = dir / "run.bat";
    writeFile(script, lines);
    return runScriptFile(script, input, asUnprivileged);
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Checks that every file listed below `copy` holds the content and the
// modification time of its source below `source`.
void checkCopies(const std::string& source, const std::string& copy,
                 const std::vector<std::string>& entries)
{
    for (const auto& entry : entries) {
        if (entry.ends_with("/") || entry.ends_with(".bat"))
            continue;
        CHECK_CONTEXT(entry);
        CHECK_EQ(readFile(copy + "/" + entry), readFile(source + "/" + entry));
        CHECK_EQ(modifiedAt(copy + "/" + entry), modifiedAt(source + "/" + entry));
    }
}

} // namespace

TEST_CASE(theProgramsScriptsMakeExactlyTheExpectedBackupTree)
{
    struct Row
    {
        const char* name;
        std::vector<std::string> types;
        bool subfolders;
        std::vector<std::string> expected; // below BK-20261206, plus the script
    };
    const Row rows[] = {
        {"types with sub-folders",
         {"*.doc", "*.xls"},
         true,
         {"Docs/", "Docs/h.doc", "Docs/i.xls", "Src/", "Src/a.doc", "Src/b.xls", "Src/sub/",
          "Src/sub/d.doc", "Src/sub/deeper/", "Src/sub/deeper/f.XLS"}},
        {"all files",
         {},
         false,
         {"Docs/", "Docs/h.doc", "Docs/i.xls", "Src/", "Src/a.doc", "Src/b.xls", "Src/c.txt"}},
        {"marker stops the list",
         {"*.doc", "All", "*.xls"},
         false,
         {"Docs/", "Docs/h.doc", "Docs/i.xls", "Src/", "Src/a.doc", "Src/b.xls", "Src/c.txt"}},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir dir;
        for (const char* name :
             {"a.doc", "b.xls", "c.txt", "sub/d.doc", "sub/deeper/f.XLS", "sub/texts/g.txt"})
            makeFile(dir / "Work/Src/" + name, name, kNew);
        for (const char* name : {"old.doc", "sub/e.xls", "sub/olds/o.doc"})
            makeFile(dir / "Work/Src/" + name, name, kOld);
        makeDirectory(dir / "Work/Src/empty");
        makeFile(dir / "Work/Docs/h.doc", "h", kNew);
        makeFile(dir / "Work/Docs/i.xls", "i", kNew);
        makeFile(dir / "Work/Docs/j.txt", "j", kOld);
        makeDirectory(dir / "Backups");

        const BackupJob job{dir / "Backups",
                            {dir / "Work/Src", dir / "Old", dir / "Work/Docs"},
                            row.types,
                            row.subfolders,
                            {2026, 12, 6}};
        const std::string script = scriptFileName(job);
        writeFile(script, BackupScript(job, platform::directoryExists));
        const ProgramResult result = runScriptFile(script);
        CHECK_EQ(result.exitCode, 0);
        CHECK(!result.timedOut);

        std::vector<std::string> expected{"BK-20261206/", "backup20261206.bat"};
        for (const auto& entry : row.expected)
            expected.push_back("BK-20261206/" + entry);
        std::sort(expected.begin(), expected.end());
        const auto actual = listTree(dir / "Backups");
        CHECK_EQ(listed(actual), listed(expected));
        checkCopies(dir / "Work", dir / "Backups/BK-20261206", row.expected);
        if (result.exitCode != 0)
            CHECK_EQ(result.output, "");
    }
}

TEST_CASE(dateSwitchSelectsFromLocalMidnightOfTheDay)
{
    struct Row
    {
        int year, month, day;
    };
    const Row rows[] = {{2026, 12, 6}, {2024, 2, 29}, {2027, 1, 1}, {2026, 3, 29}};
    for (const auto& row : rows) {
        const std::string date = std::to_string(row.month) + "-" + std::to_string(row.day) + "-" +
                                 std::to_string(row.year);
        CHECK_CONTEXT(date);
        TempDir dir;
        const std::time_t midnight = localTime(row.year, row.month, row.day);
        makeFile(dir / "src/before.txt", "b", midnight - 1);
        makeFile(dir / "src/sub/before.txt", "b", midnight - 60);
        makeFile(dir / "src/midnight.txt", "m", midnight);
        makeFile(dir / "src/sub/midnight.txt", "m", midnight);
        makeFile(dir / "src/evening.txt", "e", localTime(row.year, row.month, row.day, 23, 59));
        makeFile(dir / "src/later.txt", "l", midnight + 40 * 24 * 3600);
        const ProgramResult result = runLines(dir, "xcopy " + (dir / "src/*.*") + " " +
                                                       (dir / "out") + " /S /D:" + date + "\r\n");
        CHECK_EQ(result.exitCode, 0);
        CHECK_EQ(listed(listTree(dir / "out")),
                 listed({"evening.txt", "later.txt", "midnight.txt", "sub/", "sub/midnight.txt"}));
        CHECK(contains(result.output, "4 File(s) copied"));
    }
}

TEST_CASE(masksSelectFilesAsOnWindows)
{
    TempDir dir;
    const std::vector<std::string> names{"report.doc", "NOTES.DOC", "abc.txt", "aXc.doc",
                                         "ac.doc",     "abcd.txt",  "noext",   "x.docx"};
    for (const auto& name : names)
        makeFile(dir / "src/" + name, name, kNew);
    struct Row
    {
        const char* mask;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"*.doc", {"NOTES.DOC", "aXc.doc", "ac.doc", "report.doc"}},
        {"a?c.*", {"aXc.doc", "abc.txt"}},
        {"*.*",
         {"NOTES.DOC", "aXc.doc", "abc.txt", "abcd.txt", "ac.doc", "noext", "report.doc",
          "x.docx"}},
        {"*.zip", {}},
    };
    std::string script;
    for (size_t i = 0; i < std::size(rows); ++i)
        script += "xcopy " + (dir / "src/") + rows[i].mask + " " + (dir / "out") +
                  std::to_string(i) + "\r\n";
    const ProgramResult result = runLines(dir, script);
    CHECK_EQ(result.exitCode, 0);
    for (size_t i = 0; i < std::size(rows); ++i) {
        CHECK_CONTEXT(rows[i].mask);
        const std::string out = dir / "out" + std::to_string(i);
        CHECK_EQ(listed(listTree(out)), listed(rows[i].expected));
        // No folder is made for a mask that matches nothing.
        CHECK_EQ(platform::directoryExists(out), !rows[i].expected.empty());
    }
    CHECK(contains(result.output, "File not found - *.zip\n0 File(s) copied"));
}

TEST_CASE(subFoldersAreRebuiltWithoutEmptyOnesOrFollowedFolderLinks)
{
    TempDir dir;
    makeFile(dir / "src/top.doc", "top", kNew);
    makeFile(dir / "src/a/b/c/deep.doc", "deep", kNew);
    makeFile(dir / "src/a/skip.txt", "skip", kNew);
    makeFile(dir / "src/textonly/t.txt", "t", kNew);
    makeDirectory(dir / "src/empty/emptier");
    makeFile(dir / "elsewhere/outside.doc", "outside", kNew);
    REQUIRE(::symlink((dir / "elsewhere").c_str(), (dir / "src/linked").c_str()) == 0);
    REQUIRE(::symlink("top.doc", (dir / "src/alias.doc").c_str()) == 0);

    const ProgramResult result =
        runLines(dir, "xcopy " + (dir / "src/*.doc") + " " + (dir / "out/x") + " /s\r\n");
    CHECK_EQ(result.exitCode, 0);
    CHECK_EQ(listed(listTree(dir / "out")),
             listed({"x/", "x/a/", "x/a/b/", "x/a/b/c/", "x/a/b/c/deep.doc", "x/alias.doc",
                     "x/top.doc"}));
    // A link to a file is copied as the file's content.
    CHECK_EQ(readFile(dir / "out/x/alias.doc"), std::string("top"));
    CHECK(contains(result.output, (dir / "src/a/b/c/deep.doc") + "\n"));
    CHECK(contains(result.output, "3 File(s) copied"));
}

TEST_CASE(filesThatCannotBeReadOrWrittenAreReportedAndTheRestIsCopied)
{
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    for (const char* name : {"a.txt", "secret.txt", "z.txt", "obstacle.txt"})
        makeFile(dir / "src/" + name, name, kNew);
    ::chmod((dir / "src/secret.txt").c_str(), 0);
    REQUIRE(::symlink("gone.txt", (dir / "src/broken.txt").c_str()) == 0);
    makeDirectory(dir / "out/obstacle.txt");
    ::chmod((dir / "out").c_str(), 0777);

    // As root every file is readable; the copy runs as an unprivileged user.
    const ProgramResult result = runLines(
        dir, "xcopy " + (dir / "src/*.txt") + " " + (dir / "out") + "\r\n", Input::DevNull, true);
    CHECK_EQ(result.exitCode, 1);
    CHECK(contains(result.output,
                   "Cannot read " + (dir / "src/broken.txt") + ": No such file or directory\n"));
    CHECK(contains(result.output,
                   "Cannot read " + (dir / "src/secret.txt") + ": Permission denied\n"));
    CHECK(contains(result.output,
                   "Cannot write " + (dir / "out/obstacle.txt") + ": Is a directory\n"));
    CHECK(contains(result.output, "2 File(s) copied"));
    CHECK_EQ(listed(listTree(dir / "out")), listed({"a.txt", "obstacle.txt/", "z.txt"}));
    CHECK_EQ(readFile(dir / "out/z.txt"), std::string("z.txt"));
}

TEST_CASE(eachLineIsJudgedOnItsOwn)
{
    struct Row
    {
        const char* line; // {d} stands for the test's folder
        int exitCode;
        const char* says;
    };
    const Row rows[] = {
        {"MD {d}/new/deeper", 0, ">MD {d}/new/deeper\n"},
        {"md {d}/src", 0, "A subdirectory or file {d}/src already exists.\n"},
        {"MKDIR {d}/src/a.txt", 1, "A subdirectory or file {d}/src/a.txt already exists.\n"},
        {"MD", 1, "The syntax of the command is incorrect.\n"},
        {"echo hi", 1,
         "'echo' is not recognized as an internal or external command, operable program or "
         "batch file.\n"},
        {"xcopy {d}/src/*.* {d}/o1 & rd {d}", 1,
         "The character & outside quotation marks would chain or redirect commands"},
        {"xcopy {d}/src/*.* {d}/o1 > {d}/log", 1, "The character > outside quotation marks"},
        {"xcopy {d}/src/*.txt {d}/o1 /D:2-30-2026", 1, "Invalid parameter - /D:2-30-2026\n"},
        {"xcopy {d}/src/*.txt {d}/o1 /Y", 1, "Invalid number of parameters\n"},
        {"xcopy {d}/src/*.* {d}/src/inner /S", 1, "Cannot perform a cyclic copy\n"},
        {"xcopy {d}/src/*.* {d}/src", 1, "File cannot be copied onto itself\n"},
        {"xcopy {d}/missing/*.* {d}/o1", 1,
         "Cannot read folder {d}/missing: No such file or directory\n"},
        {"XCOPY {d}/src/*.zip {d}/o1", 0, "File not found - *.zip\n0 File(s) copied\n"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.line);
        TempDir dir;
        makeFile(dir / "src/a.txt", "a", kNew);
        const ProgramResult result = runLines(dir, replaced(row.line, "{d}", dir.path()) + "\r\n");
        CHECK_EQ(result.exitCode, row.exitCode);
        if (!contains(result.output, replaced(row.says, "{d}", dir.path())))
            CHECK_EQ(result.output, replaced(row.says, "{d}", dir.path()));
        CHECK(!platform::directoryExists(dir / "o1"));
    }
}

TEST_CASE(aRefusedLineDoesNotStopTheScript)
{
    TempDir dir;
    makeFile(dir / "src/a.txt", "a", kNew);
    const std::string lines = "MD " + (dir / "first") + "\r\n" + "nonsense\r\n" + "MD " +
                              (dir / std::string(8200, 'x')) + "\r\n" + "xcopy " + (dir / "src") +
                              " " + (dir / "out") + " | more\r\n" + "\r\n" + "xcopy " +
                              (dir / "src") + " \"" + (dir / "last one") + "\"";
    const ProgramResult result = runLines(dir, lines);
    CHECK_EQ(result.exitCode, 1);
    CHECK(contains(result.output, "The input line is too long.\n"));
    CHECK_EQ(listed(listTree(dir.path())),
             listed({"first/", "last one/", "last one/a.txt", "run.bat", "src/", "src/a.txt"}));
}

TEST_CASE(withoutATerminalExistingFilesAreOverwrittenWithoutAsking)
{
    TempDir dir;
    makeFile(dir / "src/a.txt", "new a", kNew);
    makeFile(dir / "out/a.txt", "old a", kOld);
    ::chmod((dir / "out/a.txt").c_str(), 0444);
    // Standard input stays open and silent: any attempt to read it would hang.
    const ProgramResult result = runLines(
        dir, "xcopy " + (dir / "src/*.*") + " " + (dir / "out") + "\r\n", Input::SilentPipe);
    CHECK(!result.timedOut);
    CHECK_EQ(result.exitCode, 0);
    CHECK(!contains(result.output, "Overwrite"));
    CHECK_EQ(readFile(dir / "out/a.txt"), std::string("new a"));
    CHECK_EQ(modifiedAt(dir / "out/a.txt"), kNew);
    CHECK_EQ(listed(listTree(dir / "out")), listed({"a.txt"}));
}

TEST_CASE(onATerminalExistingFilesAreOverwrittenOnlyWhenTheUserSaysSo)
{
    struct Row
    {
        std::vector<std::string> answers;
        const char* a;
        const char* b;
        int questions;
    };
    const Row rows[] = {
        {{"n", "n"}, "old a", "old b", 2},
        {{"Yes", "no"}, "new a", "old b", 2},
        {{"a"}, "new a", "new b", 1},
        {{"maybe", "y", "A"}, "new a", "new b", 3},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.answers.front());
        TempDir dir;
        makeFile(dir / "src/a.txt", "new a", kNew);
        makeFile(dir / "src/b.txt", "new b", kNew);
        makeFile(dir / "src/c.txt", "new c", kNew);
        makeFile(dir / "out/a.txt", "old a", kOld);
        makeFile(dir / "out/b.txt", "old b", kOld);
        writeFile(dir / "run.bat", "xcopy " + (dir / "src/*.*") + " " + (dir / "out") + "\r\n");
        const std::string question = " (Yes/No/All)? ";
        const ProgramResult result =
            runOnTerminal({MINICMD_PATH, dir / "run.bat"}, {question}, row.answers);
        CHECK(!result.timedOut);
        CHECK_EQ(result.exitCode, 0);
        CHECK(contains(result.output, "Overwrite " + (dir / "out/a.txt") + question));
        size_t asked = 0;
        for (auto at = result.output.find(question); at != std::string::npos;
             at = result.output.find(question, at + 1))
            ++asked;
        CHECK_EQ(asked, static_cast<size_t>(row.questions));
        CHECK_EQ(readFile(dir / "out/a.txt"), std::string(row.a));
        CHECK_EQ(readFile(dir / "out/b.txt"), std::string(row.b));
        CHECK_EQ(readFile(dir / "out/c.txt"), std::string("new c"));
    }
}

TEST_CASE(theInterpreterAnswersForItself)
{
    const ProgramResult version = runProgram({MINICMD_PATH, "--version"});
    CHECK_EQ(version.exitCode, 0);
    CHECK_EQ(version.output, std::string("minicmd ") + TARVIK_VERSION + "\n");
    const ProgramResult help = runProgram({MINICMD_PATH, "--help"});
    CHECK_EQ(help.exitCode, 0);
    CHECK(contains(help.output, "Usage: minicmd"));
    const ProgramResult missing = runProgram({MINICMD_PATH, "/nonexistent/run.bat"});
    CHECK_EQ(missing.exitCode, 2);
    CHECK_EQ(missing.output,
             std::string("Cannot read script /nonexistent/run.bat: No such file or directory\n"));
}

// Lines that copy one folder into one place in a row share a walk; what they
// say and copy must be what they say and copy one by one (a blank line
// between them keeps each to its own walk).
TEST_CASE(linesSharingAWalkReadAsIfRunOneByOne)
{
    struct Row
    {
        const char* script;
        int many; // files of one more type, so that a later line has much to tell
    };
    const Row rows[] = {
        // File types that do not overlap, one of them found nowhere.
        {"xcopy {d}/src/*.txt {d}/out /S\nxcopy {d}/src/*.doc {d}/out /S\n"
         "xcopy {d}/src/*.zip {d}/out /S\n",
         0},
        // A file two masks match is copied, and listed, for each.
        {"xcopy {d}/src/*.txt {d}/out /S /D:12-6-2026\nxcopy {d}/src/a*.* {d}/out /S "
         "/D:12-6-2026\nxcopy {d}/src/* {d}/out /S /D:12-6-2026\n",
         0},
        // Files no line can read or write fail each line that matches them.
        {"xcopy {d}/src/*.txt {d}/out\nxcopy {d}/src/*.* {d}/out\n", 0},
        // A destination that cannot be made fails every line.
        {"xcopy {d}/src/*.txt {d}/a.txt/out /S\nxcopy {d}/src/*.doc {d}/a.txt/out /S\n", 0},
        {"xcopy {d}/src/*.txt {d}/out /S\nxcopy {d}/src/*.log {d}/out /S\n", 1100},
    };
    for (const Row& row : rows) {
        CHECK_CONTEXT(row.script);
        std::string shown[2];
        std::vector<std::string> trees[2];
        for (int oneByOne = 0; oneByOne < 2; ++oneByOne) {
            TempDir dir;
            ::chmod(dir.path().c_str(), 0755);
            makeFile(dir / "a.txt", "a", kNew);
            for (const char* name :
                 {"a.txt", "b.doc", "old.txt", "secret.doc", "x/a.doc", "x/y/c.txt", "x/y/z.bin"})
                makeFile(dir / "src/" + name, name, std::string(name) == "old.txt" ? kOld : kNew);
            for (int i = 0; i < row.many; ++i)
                makeFile(dir / "src/x/" + std::to_string(i) + ".log", "", kNew);
            ::chmod((dir / "src/secret.doc").c_str(), 0);
            makeDirectory(dir / "out/b.doc");
            ::chmod((dir / "out").c_str(), 0777);
            const std::string lines = replaced(replaced(row.script, "{d}", dir.path()), "\n",
                                               oneByOne ? "\r\n\r\n" : "\r\n");
            const ProgramResult result = runLines(dir, lines, Input::DevNull, true);
            shown[oneByOne] = replaced(result.output.substr(0, result.output.find("Summary:")),
                                       dir.path(), "{d}");
            trees[oneByOne] = listTree(dir / "out");
        }
        CHECK_EQ(shown[0], shown[1]);
        CHECK_EQ(listed(trees[0]), listed(trees[1]));
        CHECK(contains(shown[0], "File(s) copied"));
    }
}
