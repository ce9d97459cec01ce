#include "core/BackupRun.h"

#include "Check.h"
#include "ScriptText.h"
#include "TestFiles.h"
#include "TestSystem.h"
#include "core/FileError.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using testfiles::readFile;
using testfiles::TempDir;
using testfiles::TestSystem;

namespace {

constexpr char kSep = platform::kNativeSeparator;
constexpr CivilDate kDecember6{2026, 12, 6};
void* const kOwner = reinterpret_cast<void*>(0x1234);

// A backup directory with two real source folders and one missing one.
struct Setup
{
    TempDir dir;
    TestSystem system;
    platform::ScopedSystem scoped{system};
    BackupJob job;

    Setup()
    {
        testfiles::makeDirectory(dir / "Backups");
        testfiles::makeDirectory(dir / "Work/Src");
        testfiles::makeDirectory(dir / "Work/Docs");
        job = {dir / "Backups",
               {dir / "Work/Src", dir / "Old", dir / "Work/Docs"},
               {"*.doc"},
               true,
               kDecember6};
    }
    std::string script() const { return dir / "Backups/backup20261206.bat"; }
    // The script the job should produce, from the pure generator.
    std::string expected() const
    {
        return BackupScript(job, [](const std::string& p) { return platform::directoryExists(p); });
    }
};

} // namespace

TEST_CASE(runWritesTheScriptAndHasTheShellOpenIt)
{
    Setup s;
    BackupRun run;
    CHECK_EQ(run.ScriptFileName(), "");
    run.RunBackup(s.job, kOwner);
    CHECK_EQ(run.ScriptFileName(), s.script());
    const std::string bytes = readFile(s.script());
    CHECK_EQ(bytes, s.expected());
    CHECK(bytes.find("Old") == std::string::npos);
    CHECK_EQ(bytes.substr(0, bytes.find('\r')),
             "MD " + s.dir.path() + kSep + "Backups" + kSep + "BK-20261206");
    REQUIRE_EQ(s.system.shellCalls.size(), size_t{1});
    const auto& call = s.system.shellCalls[0];
    CHECK(call.owner == kOwner);
    CHECK_EQ(call.verb, "open");
    CHECK_EQ(call.file, s.script());
    // The interpreter that ships for POSIX names the folder left out.
    CHECK_EQ(call.parameters, kSep == '/' ? s.dir / "Old\n" : std::string());
    CHECK(!call.withDirectory);
    CHECK_EQ(call.showCommand, 1);
    // A line break in a missing folder's name never makes it two folders.
    s.job.sourceDirectories[1] = s.dir / "Old\n" + s.dir / "Work/Src";
    run.RunBackup(s.job, kOwner);
    REQUIRE_EQ(s.system.shellCalls.size(), size_t{2});
    CHECK_EQ(s.system.shellCalls[1].parameters,
             kSep == '/' ? s.dir / "Old\\n" + s.dir / "Work/Src\n" : std::string());
}

// Whatever has the script's name (a leftover of a killed run, or a file or
// link someone else put there) is replaced, never appended to or followed.
TEST_CASE(theScriptIsAlwaysANewFileOfThisRun)
{
    struct Row
    {
        const char* name;
        void (*prepare)(Setup&);
    };
    const Row rows[] = {
        {"leftover of a killed run",
         [](Setup& s) { testfiles::writeFile(s.script(), "xcopy /home/other x\r\n"); }},
        {"link to the user's own file",
         [](Setup& s) { ::symlink((s.dir / "profile").c_str(), s.script().c_str()); }},
        {"second name of the user's own file",
         [](Setup& s) { ::link((s.dir / "profile").c_str(), s.script().c_str()); }},
        {"link to a device", [](Setup& s) { ::symlink("/dev/full", s.script().c_str()); }},
        {"pipe", [](Setup& s) { ::mkfifo(s.script().c_str(), 0666); }},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Setup s;
        testfiles::writeFile(s.dir / "profile", "PATH=/usr/bin\n");
        row.prepare(s);
        BackupRun run;
        run.RunBackup(s.job, kOwner);
        struct stat info
        {};
        REQUIRE(::lstat(s.script().c_str(), &info) == 0);
        CHECK(S_ISREG(info.st_mode) && info.st_nlink == 1);
        CHECK_EQ(readFile(s.script()), s.expected());
        CHECK_EQ(readFile(s.dir / "profile"), "PATH=/usr/bin\n");
        CHECK_EQ(s.system.shellCalls.size(), size_t{1});
    }
}

TEST_CASE(laterRunsDeleteTheirOwnScriptFirst)
{
    Setup s;
    BackupRun run;
    run.RunBackup(s.job, kOwner);
    run.RunBackup(s.job, kOwner);
    CHECK_EQ(readFile(s.script()), s.expected());
    CHECK_EQ(s.system.shellCalls.size(), size_t{2});
    // A new Changes From date names a new script; the old one is gone.
    s.job.changesFrom = {2027, 1, 5};
    run.RunBackup(s.job, kOwner);
    CHECK(!platform::fileExists(s.script()));
    CHECK_EQ(run.ScriptFileName(), s.dir / "Backups/backup20270105.bat");
    CHECK(readFile(run.ScriptFileName()).find("/D:1-5-2027\r\n") != std::string::npos);
    run.deleteScript();
    CHECK(!platform::fileExists(run.ScriptFileName()));
    run.deleteScript(); // nothing left to delete: no error
}

// While the last script's interpreter runs, nothing waits for it: a second
// run is refused with a message, the window's end leaves the script, and the
// next start takes it (and only a script's name) once the interpreter is gone.
TEST_CASE(aScriptStillRunningIsNeitherAwaitedNorDeleted)
{
    Setup s;
    BackupRun run;
    run.RunBackup(s.job, kOwner);
    s.system.interpreterRunning = true;
    try {
        run.RunBackup(s.job, kOwner);
        CHECK(false);
    } catch (const RunRefused& refused) {
        CHECK_EQ(std::string(refused.what()), std::string(kStillRunning));
    }
    CHECK_EQ(s.system.shellCalls.size(), size_t{1});
    run.deleteScript();
    CHECK_EQ(readFile(s.script()), s.expected());

    s.system.interpreterRunning = false;
    const char* others[] = {"backup2026120.bat", "backup20261206.bat.txt", "Backup20261206.bat",
                            "backupABCDEFGH.bat", "notes.bat"};
    for (const char* name : others)
        testfiles::writeFile(s.dir / "Backups/" + name, "keep");
    testfiles::makeDirectory(s.dir / "Backups/backup20261207.bat");
    BackupRun::removeLeftoverScripts(s.dir / "Backups");
    CHECK(!platform::entryExists(s.script()));
    for (const char* name : others) {
        CHECK_CONTEXT(name);
        CHECK(platform::fileExists(s.dir / "Backups/" + name));
    }
    CHECK(platform::directoryExists(s.dir / "Backups/backup20261207.bat"));
}

// What a run as the unprivileged user raised ("ran" when nothing), and
// whether it launched anything.
Setup* g_runAsNobody = nullptr;
std::string runAsNobody(Setup& s)
{
    g_runAsNobody = &s;
    return testfiles::inChild(
        [](const std::string&) -> std::string {
            BackupRun run;
            try {
                run.RunBackup(g_runAsNobody->job, kOwner);
                return "ran";
            } catch (const std::exception& error) {
                return error.what() +
                       std::string(g_runAsNobody->system.shellCalls.empty() ? "" : " launched");
            }
        },
        "", true);
}

// Runs that must not go ahead, as an unprivileged user: in a shared folder
// (sticky, writable by all) another user's file cannot be removed, and a run
// gone wrong could not write into the root.
TEST_CASE(aRunThatCannotGoAheadWritesAndLaunchesNothing)
{
    if (!testfiles::runningAsRoot()) {
        std::puts("skipped: needs root to act as a second user");
        return;
    }
    const std::string planted = "xcopy /home/victim /tmp/mine\r\n";
    for (const bool plantedScript : {false, true}) {
        CHECK_CONTEXT(plantedScript ? "another user's script" : "empty backup directory");
        Setup s;
        if (plantedScript) {
            ::chmod((s.dir / "Backups").c_str(), 01777);
            testfiles::writeFile(s.script(), planted);
            ::chmod(s.script().c_str(), 0666);
        } else {
            s.job.backupDirectory = "";
        }
        CHECK_EQ(runAsNobody(s), plantedScript ? "The file \"" + s.script() +
                                                     "\" is in the way of the backup script and "
                                                     "cannot be removed"
                                               : "Choose a backup directory first.");
        CHECK(!platform::entryExists("/backup20261206.bat"));
        if (plantedScript)
            CHECK_EQ(readFile(s.script()), planted);
    }
}

// Entries that get no line (a folder that is gone, types after "All") are
// not checked, so they cannot block every backup; two sources of one name
// keep their files apart.
TEST_CASE(staleEntriesAndRepeatedNamesDoNotSpoilTheRun)
{
    Setup s;
    testfiles::makeDirectory(s.dir / "Other");
    testfiles::makeDirectory(s.dir / "Other/Src");
    s.job.sourceDirectories = {s.dir / "Work/Src", s.dir / "Gone\"&calc", s.dir / "Other/Src"};
    s.job.fileTypes = {"All", "*.x\r\n"};
    BackupRun run;
    run.RunBackup(s.job, kOwner);
    const std::string bytes = readFile(s.script());
    CHECK_EQ(bytes, s.expected());
    CHECK(bytes.find("MD \"" + s.dir / "Backups/BK-20261206/Src (2)\"\r\n") != std::string::npos);
    CHECK_EQ(s.system.shellCalls.size(), size_t{1});
}

TEST_CASE(guardUsesTodayInTheUsersShortDateFormat)
{
    struct Row
    {
        const char* pattern;
        const char* existingFolder;
        bool stops;
    };
    const Row rows[] = {
        {"M/d/yyyy", "BK-1262026", true},
        {"dd.MM.yyyy", "BK-1262026", false},
        {"dd.MM.yyyy", "BK-06.12.2026", true},
        {"M/d/yyyy", "BK-06.12.2026", false},
        {"yyyy/MM/dd", "BK-20261206", true},
        // The guard looks at today, not at the Changes From date.
        {"M/d/yyyy", "BK-1212026", false},
        {"yyyy/MM/dd", "BK-20261201", false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(std::string(row.pattern) + " " + row.existingFolder);
        Setup s;
        s.system.shortDatePattern = row.pattern;
        s.job.changesFrom = {2026, 12, 5};
        BackupRun run;
        run.RunBackup(s.job, kOwner); // a first run leaves a script behind
        const std::string first = run.ScriptFileName();
        testfiles::makeDirectory(s.dir / ("Backups/" + std::string(row.existingFolder)));
        s.job.changesFrom = {2026, 12, 1};
        run.RunBackup(s.job, kOwner);
        const std::string second = s.dir / "Backups/backup20261201.bat";
        CHECK(!platform::fileExists(first));
        CHECK_EQ(platform::fileExists(second), !row.stops);
        CHECK_EQ(run.ScriptFileName(), row.stops ? first : second);
        CHECK_EQ(s.system.shellCalls.size(), size_t{row.stops ? 1u : 2u});
    }
}

TEST_CASE(unsafeTextStopsTheRunBeforeTheScriptExists)
{
    Setup s;
    BackupRun run;
    run.RunBackup(s.job, kOwner);
    const std::string first = run.ScriptFileName();
    s.job.fileTypes.push_back("*.x\"&calc");
    s.job.changesFrom = {2027, 1, 5};
    CHECK_THROWS_WITH(UnsafeScriptText, run.RunBackup(s.job, kOwner),
                      "The file type \"*.x\"&calc\" contains a double quote and cannot be "
                      "written into the backup script");
    CHECK(!platform::fileExists(first));
    CHECK(!platform::fileExists(s.dir / "Backups/backup20270105.bat"));
    CHECK_EQ(s.system.shellCalls.size(), size_t{1});
}

TEST_CASE(fileFailuresStopTheRunBeforeAnythingIsLaunched)
{
    struct Row
    {
        const char* name;
        void (*prepare)(Setup&);
        const char* message;
    };
    const Row rows[] = {
        {"missing backup directory", [](Setup& s) { s.job.backupDirectory = s.dir / "Nowhere"; },
         "Invalid filename"},
        {"a directory in the script's place",
         [](Setup& s) { testfiles::makeDirectory(s.script()); }, "File access denied"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Setup s;
        row.prepare(s);
        BackupRun run;
        CHECK_THROWS_WITH(FileError, run.RunBackup(s.job, kOwner), row.message);
        CHECK_EQ(run.ScriptFileName(), s.job.backupDirectory + kSep + "backup20261206.bat");
        CHECK(s.system.shellCalls.empty());
    }
}
