#include "BackupRun.h"

#include "Check.h"
#include "FileError.h"
#include "FileSystem.h"
#include "TestFiles.h"
#include "TestSystem.h"

#include <cstdio>
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
    CHECK(!call.withParameters && !call.withDirectory);
    CHECK_EQ(call.showCommand, 1);
}

TEST_CASE(runAppendsToALeftoverScriptButRecreatesItsOwn)
{
    Setup s;
    testfiles::writeFile(s.script(), "MD leftover\r\n");
    BackupRun run;
    run.RunBackup(s.job, kOwner);
    CHECK_EQ(readFile(s.script()), "MD leftover\r\n" + s.expected());
    // The second run deletes its own first script, so the file is made anew.
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
        {"a full disk", [](Setup& s) { ::symlink("/dev/full", s.script().c_str()); }, "Disk full"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        if (std::string(row.message) == "Disk full" && ::access("/dev/full", W_OK) != 0) {
            std::puts("skipped a full disk: this system has no writable /dev/full");
            continue;
        }
        Setup s;
        row.prepare(s);
        BackupRun run;
        CHECK_THROWS_WITH(FileError, run.RunBackup(s.job, kOwner), row.message);
        CHECK_EQ(run.ScriptFileName(), s.job.backupDirectory + kSep + "backup20261206.bat");
        CHECK(s.system.shellCalls.empty());
    }
}
