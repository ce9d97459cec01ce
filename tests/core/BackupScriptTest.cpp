#include "core/BackupScript.h"

#include "Check.h"
#include "ScriptText.h"
#include "TestFiles.h"

#include <set>

using namespace tarvik;

namespace {

constexpr CivilDate kDecember6{2026, 12, 6};

// A directory test over a fixed set of names, so the Windows texts can be
// checked on any machine.
DirectoryTest existing(std::set<std::string> directories)
{
    return [directories](const std::string& path) { return directories.count(path) > 0; };
}

// `job` with only the sources `isDirectory` accepts, as a run keeps them.
BackupJob keptSources(BackupJob job, const DirectoryTest& isDirectory)
{
    std::erase_if(job.sourceDirectories,
                  [&](const std::string& source) { return !isDirectory(source); });
    return job;
}

std::string lines(std::initializer_list<const char*> texts)
{
    std::string bytes;
    for (const char* text : texts)
        bytes.append(text).append("\r\n");
    return bytes;
}

} // namespace

TEST_CASE(exampleScriptsMatchTheirGoldenFilesByteForByte)
{
    struct Form
    {
        char separator;
        const char* suffix;
        BackupJob base;
        std::set<std::string> existing;
    };
    const Form forms[] = {
        {'\\',
         ".win.bat",
         {"D:\\Backups", {"C:\\Work\\Src", "C:\\Work\\Docs", "C:\\Old"}, {}, false, kDecember6},
         {"C:\\Work\\Src", "C:\\Work\\Docs"}},
        {'/',
         ".posix.bat",
         {"/srv/Backups",
          {"/home/jo/Work/Src", "/home/jo/Work/Docs", "/home/jo/Old"},
          {},
          false,
          kDecember6},
         {"/home/jo/Work/Src", "/home/jo/Work/Docs"}},
    };
    struct Variant
    {
        const char* golden;
        std::vector<std::string> types;
        bool subDirectories;
    };
    const Variant variants[] = {
        {"script-types-subdirs", {"*.doc", "*.xls"}, true},
        {"script-all-files", {}, false},
        {"script-marker", {"*.doc", "All", "*.xls"}, false},
    };
    for (const auto& form : forms) {
        for (const auto& variant : variants) {
            CHECK_CONTEXT(std::string(variant.golden) + form.suffix);
            BackupJob job = form.base;
            job.fileTypes = variant.types;
            job.includeSubDirectories = variant.subDirectories;
            CHECK_EQ(BackupScript(job, existing(form.existing), form.separator),
                     testfiles::golden(std::string(variant.golden) + form.suffix));
        }
    }
}

TEST_CASE(scriptEdgeCasesInWindowsForm)
{
    struct Row
    {
        const char* name;
        BackupJob job;
        std::set<std::string> existing;
        std::string expected;
    };
    const Row rows[] = {
        {"empty source list",
         {"D:\\Backups", {}, {"*.doc"}, true, kDecember6},
         {},
         lines({"MD D:\\Backups\\BK-20261206"})},
        {"no source exists",
         {"D:\\Backups", {"C:\\Old", "C:\\File.txt"}, {}, true, kDecember6},
         {},
         lines({"MD D:\\Backups\\BK-20261206"})},
        {"empty backup directory",
         {"", {"C:\\Src"}, {}, false, kDecember6},
         {"C:\\Src"},
         lines({"MD \\BK-20261206", "MD \\BK-20261206\\Src",
                "xcopy C:\\Src\\*.* \\BK-20261206\\Src /D:12-6-2026"})},
        {"backup directory ending in a backslash",
         {"D:\\B\\", {}, {}, false, kDecember6},
         {},
         lines({"MD D:\\B\\\\BK-20261206"})},
        {"root source",
         {"D:\\B", {"C:\\"}, {}, false, kDecember6},
         {"C:\\"},
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\",
                "xcopy C:\\\\*.* D:\\B\\BK-20261206\\ /D:12-6-2026"})},
        // A later source never copies into a folder an earlier one uses.
        {"equal leaves",
         {"D:\\B", {"C:\\A\\Src", "C:\\B\\Src"}, {"*.c"}, false, kDecember6},
         {"C:\\A\\Src", "C:\\B\\Src"},
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\Src",
                "xcopy C:\\A\\Src\\*.c D:\\B\\BK-20261206\\Src /D:12-6-2026",
                "MD \"D:\\B\\BK-20261206\\Src (2)\"",
                "xcopy C:\\B\\Src\\*.c \"D:\\B\\BK-20261206\\Src (2)\" /D:12-6-2026"})},
        // A missing source keeps its number, so the others keep their folders.
        {"leaves equal but for case, a missing one, and a name a number took",
         {"D:\\B",
          {"C:\\A\\Src", "C:\\Gone\\Src", "C:\\B\\src", "C:\\C\\Src (2)"},
          {},
          false,
          kDecember6},
         {"C:\\A\\Src", "C:\\B\\src", "C:\\C\\Src (2)"},
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\Src",
                "xcopy C:\\A\\Src\\*.* D:\\B\\BK-20261206\\Src /D:12-6-2026",
                "MD \"D:\\B\\BK-20261206\\src (3)\"",
                "xcopy C:\\B\\src\\*.* \"D:\\B\\BK-20261206\\src (3)\" /D:12-6-2026",
                "MD \"D:\\B\\BK-20261206\\Src (2) (2)\"",
                "xcopy \"C:\\C\\Src (2)\\*.*\" \"D:\\B\\BK-20261206\\Src (2) (2)\" /D:12-6-2026"})},
#ifdef _WIN32
        // Letters outside ASCII fold as the system's file systems fold them:
        // "\334" and "\374" are U and u with umlaut in code page 1252.
        {"leaves equal but for the case of an umlaut",
         {"D:\\B", {"C:\\A\\\334bung", "C:\\B\\\374bung"}, {}, false, kDecember6},
         {"C:\\A\\\334bung", "C:\\B\\\374bung"},
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\\334bung",
                "xcopy C:\\A\\\334bung\\*.* D:\\B\\BK-20261206\\\334bung /D:12-6-2026",
                "MD \"D:\\B\\BK-20261206\\\374bung (2)\"",
                "xcopy C:\\B\\\374bung\\*.* \"D:\\B\\BK-20261206\\\374bung (2)\" /D:12-6-2026"})},
#endif
        {"two roots",
         {"D:\\B", {"C:\\", "E:\\"}, {}, false, kDecember6},
         {"C:\\", "E:\\"},
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\",
                "xcopy C:\\\\*.* D:\\B\\BK-20261206\\ /D:12-6-2026",
                "MD \"D:\\B\\BK-20261206\\ (2)\"",
                "xcopy E:\\\\*.* \"D:\\B\\BK-20261206\\ (2)\" /D:12-6-2026"})},
        {"*.* marker stops the list",
         {"D:\\B", {"C:\\S"}, {"*.doc", "*.*", "*.xls"}, true, kDecember6},
         {"C:\\S"},
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\S",
                "xcopy C:\\S\\*.doc D:\\B\\BK-20261206\\S /S /D:12-6-2026",
                "xcopy C:\\S\\*.* D:\\B\\BK-20261206\\S /S /D:12-6-2026"})},
        {"All first gives one copy line",
         {"D:\\B", {"C:\\S"}, {"All", "*.doc"}, false, kDecember6},
         {"C:\\S"},
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\S",
                "xcopy C:\\S\\*.* D:\\B\\BK-20261206\\S /D:12-6-2026"})},
        {"markers are case-sensitive and exact",
         {"D:\\B", {"C:\\S"}, {"all", "ALL", "*.*."}, false, {2027, 1, 5}},
         {"C:\\S"},
         lines({"MD D:\\B\\BK-20270105", "MD D:\\B\\BK-20270105\\S",
                "xcopy C:\\S\\all D:\\B\\BK-20270105\\S /D:1-5-2027",
                "xcopy C:\\S\\ALL D:\\B\\BK-20270105\\S /D:1-5-2027",
                "xcopy C:\\S\\*.*. D:\\B\\BK-20270105\\S /D:1-5-2027"})},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        CHECK_EQ(BackupScript(row.job, existing(row.existing), '\\'), row.expected);
    }
    CHECK(!isWholeDirectoryMarker("*.* "));
    CHECK(!isWholeDirectoryMarker("all"));
    CHECK(isWholeDirectoryMarker("All") && isWholeDirectoryMarker("*.*"));
}

TEST_CASE(argumentsThatTheInterpreterWouldSplitOrExpandAreQuoted)
{
    struct Row
    {
        const char* name;
        const char* backup;
        const char* source;
        const char* type;
        std::string expected;
        char separator = '\\';
    };
    const Row rows[] = {
        {"plain paths unchanged", "D:\\B", "C:\\Jo\\Docs", "*.txt",
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\Docs",
                "xcopy C:\\Jo\\Docs\\*.txt D:\\B\\BK-20261206\\Docs /D:12-6-2026"})},
        {"blank in the source", "D:\\B", "C:\\Users\\Jo Smith\\My Docs", "*.txt",
         lines({"MD D:\\B\\BK-20261206", "MD \"D:\\B\\BK-20261206\\My Docs\"",
                "xcopy \"C:\\Users\\Jo Smith\\My Docs\\*.txt\" \"D:\\B\\BK-20261206\\My Docs\" "
                "/D:12-6-2026"})},
        {"blank in the backup directory", "D:\\My Backups", "C:\\Src", "*.c",
         lines({"MD \"D:\\My Backups\\BK-20261206\"", "MD \"D:\\My Backups\\BK-20261206\\Src\"",
                "xcopy C:\\Src\\*.c \"D:\\My Backups\\BK-20261206\\Src\" /D:12-6-2026"})},
        {"ampersand, and a blank only in the mask", "D:\\B", "C:\\R&D", "a b.txt",
         lines({"MD D:\\B\\BK-20261206", "MD \"D:\\B\\BK-20261206\\R&D\"",
                "xcopy \"C:\\R&D\\a b.txt\" \"D:\\B\\BK-20261206\\R&D\" /D:12-6-2026"})},
        {"percent doubled, no quotes needed", "D:\\B", "C:\\100%", "%TEMP%.x",
         lines({"MD D:\\B\\BK-20261206", "MD D:\\B\\BK-20261206\\100%%",
                "xcopy C:\\100%%\\%%TEMP%%.x D:\\B\\BK-20261206\\100%% /D:12-6-2026"})},
        // A backslash before the closing quote would escape it for programs
        // that split their command line by the C run-time's rules.
        {"root source into a quoted folder", "D:\\My Backups", "C:\\", "*.c",
         lines({"MD \"D:\\My Backups\\BK-20261206\"", "MD \"D:\\My Backups\\BK-20261206\"",
                "xcopy C:\\\\*.c \"D:\\My Backups\\BK-20261206\" /D:12-6-2026"})},
        {"parentheses and the rest of the set", "D:\\B", "C:\\P(x86)", "a|b<c>d^e,f;g=h\ti",
         lines({"MD D:\\B\\BK-20261206", "MD \"D:\\B\\BK-20261206\\P(x86)\"",
                "xcopy \"C:\\P(x86)\\a|b<c>d^e,f;g=h\ti\" \"D:\\B\\BK-20261206\\P(x86)\" "
                "/D:12-6-2026"})},
        // Where the separator is "/", a backslash ends a name like any letter.
        {"a name ending in a backslash, on POSIX", "/b", "/d/My Dir\\", "*.c",
         lines({"MD /b/BK-20261206", "MD \"/b/BK-20261206/My Dir\\\"",
                "xcopy \"/d/My Dir\\/*.c\" \"/b/BK-20261206/My Dir\\\" /D:12-6-2026"}),
         '/'},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        const BackupJob job{row.backup, {row.source}, {row.type}, false, kDecember6};
        CHECK_EQ(BackupScript(job, existing({row.source}), row.separator), row.expected);
    }
}

TEST_CASE(textsThatGoIntoTheScriptAreCheckedAndOnlyThose)
{
    struct Row
    {
        const char* name;
        BackupJob job;
        const char* message; // nullptr: passes
    };
    const Row rows[] = {
        {"quote in the backup directory",
         {"D:\\\"B", {}, {}, false, kDecember6},
         "The backup directory \"D:\\\"B\" contains a double quote and cannot be written into "
         "the backup script"},
        {"line feed in a source",
         {"D:\\B", {"C:\\ok", "C:\\a\nb"}, {}, false, kDecember6},
         "The source directory \"C:\\a\nb\" contains a line break and cannot be written into "
         "the backup script"},
        {"carriage return in a type",
         {"D:\\B", {"C:\\ok"}, {"*.doc", "*.x\r"}, false, kDecember6},
         "The file type \"*.x\r\" contains a line break and cannot be written into the backup "
         "script"},
        // Stale entries get no line, so they stop nothing.
        {"quote in a missing source",
         {"D:\\B", {"C:\\ok", "C:\\gone\"x"}, {}, false, kDecember6},
         nullptr},
        {"types when no source is written",
         {"D:\\B", {"C:\\gone"}, {"*.x\r"}, false, kDecember6},
         nullptr},
        {"types after a marker",
         {"D:\\B", {"C:\\ok"}, {"*.doc", "All", "\"*.x"}, false, kDecember6},
         nullptr},
        // Everything else passes, however odd.
        {"odd but safe",
         {"D:\\a b&c%", {"C:\\(x)", ""}, {"*.x y", "All", ""}, true, kDecember6},
         nullptr},
    };
    const DirectoryTest isDirectory = existing({"C:\\ok", "C:\\a\nb", "C:\\(x)", ""});
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        if (row.message)
            CHECK_THROWS_WITH(UnsafeScriptText, checkScriptTexts(keptSources(row.job, isDirectory)),
                              row.message);
        else
            checkScriptTexts(keptSources(row.job, isDirectory));
    }
}

TEST_CASE(scriptAndFolderNamesFollowTheChangesFromDate)
{
    const BackupJob job{"D:\\Backups\\", {}, {}, false, {2027, 1, 5}};
    CHECK_EQ(scriptFileName(job, '\\'), "D:\\Backups\\\\backup20270105.bat");
    CHECK_EQ(backupFolder(job, '\\'), "D:\\Backups\\\\BK-20270105");
    CHECK_EQ(scriptFileName({"", {}, {}, false, kDecember6}, '/'), "/backup20261206.bat");
    CHECK_EQ(BackupScript(job, existing({}), '\\'), "MD D:\\Backups\\\\BK-20270105\r\n");
}
