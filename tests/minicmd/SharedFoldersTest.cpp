// Backups into folders that others may write to (a shared folder, a FAT stick
// mounted for all): the real shell start and interpreter on real files, with
// a second user's folders and files made as root and given to "nobody".

#include "Check.h"
#include "ProgramRun.h"
#include "ScriptText.h"
#include "TestFiles.h"
#include "TestSystem.h"
#include "Trees.h"
#include "core/BackupScript.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"
#include "platform/posix/PosixShell.h"

#include <cstdio>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarvik;
using namespace testfiles;

namespace {

const std::time_t kNew = localTime(2026, 12, 6, 10);
constexpr uid_t kOtherUser = 65534;

bool skippedWithoutRoot()
{
    if (runningAsRoot())
        return false;
    std::puts("skipped: needs root to act as a second user");
    return true;
}

std::string folderOf(const std::string& path)
{
    return path.substr(0, path.rfind('/'));
}

void giveToOtherUser(const std::string& path)
{
    REQUIRE(::lchown(path.c_str(), kOtherUser, kOtherUser) == 0);
}

mode_t modeOf(const std::string& path)
{
    struct stat info
    {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A test folder with the run record kept inside it, two sources and the
// program's own script for them.
struct World
{
    TempDir dir;
    ScopedEnvironment environment;
    BackupJob job{dir / "Backups", {dir / "Work/Docs", dir / "Home/Mail"}, {}, true, {2026, 12, 6}};
    std::string dated = backupFolder(job);

    World()
    {
        environment.set("XDG_STATE_HOME", (dir / "state").c_str());
        environment.hermetic("/nonexistent");
        makeFile(dir / "Work/Docs/a.txt", "a", kNew);
        makeFile(dir / "Work/Docs/sub/b.txt", "b", kNew);
        makeFile(dir / "Home/Mail/m.txt", "m", kNew);
        makeDirectory(dir / "Backups");
        makeDirectory(dir / "elsewhere");
    }
    ProgramResult run(const std::string& lines)
    {
        writeFile(dir / "run.bat", lines);
        return runProgram({MINICMD_PATH, dir / "run.bat"});
    }
    ProgramResult backup() { return run(BackupScript(job, platform::directoryExists)); }
};

} // namespace

// The identity is taken by the shell start and checked by the interpreter on
// the file it reads; the file is swapped in between, with no race to win.
TEST_CASE(theInterpreterRunsOnlyTheScriptTheProgramHandedOver)
{
    struct Row
    {
        const char* name;
        std::function<void(const std::string& script, const std::string& dir)> swap;
        bool runs;
    };
    const auto other = [](const std::string& script, const std::string& dir) {
        writeFile(dir + "/theirs.bat", "MD " + dir + "/theirs\r\n");
        REQUIRE(::rename((dir + "/theirs.bat").c_str(), script.c_str()) == 0);
    };
    const auto link = [](const std::string& script, const std::string& dir) {
        REQUIRE(::rename(script.c_str(), (dir + "/moved.bat").c_str()) == 0);
        REQUIRE(::symlink((dir + "/moved.bat").c_str(), script.c_str()) == 0);
    };
    const Row rows[] = {
        {"left alone", [](const std::string&, const std::string&) {}, true},
        {"another file renamed over it", other, false},
        {"a link to it in its place", link, false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        World world;
        const std::string script = world.dir / "run.bat";
        writeFile(script, "MD " + (world.dir / "made") + "\r\n");
        // A terminal that notes the command it is given and runs nothing.
        const std::string terminal = world.dir / "bin/term";
        makeDirectory(world.dir / "bin");
        writeFile(terminal, "#!/bin/sh\nshift\nprintf '%s\\n' \"$@\" > '" +
                                (world.dir / "command") + "'\n: > '" + (world.dir / "written") +
                                "'\n");
        ::chmod(terminal.c_str(), 0755);
        world.environment.withTerminal(folderOf(MINICMD_PATH), terminal);
        TestSystem system(world.dir / "TarvikBackUp");
        platform::ScopedSystem scoped(system);

        CHECK(!platform::openBatchScript(script, nullptr, std::chrono::milliseconds(0)));
        REQUIRE(waitUntil([&] { return platform::fileExists(world.dir / "written"); }));
        row.swap(script, world.dir.path());
        std::vector<std::string> command;
        const std::string lines = readFile(world.dir / "command");
        for (std::size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos;
             at = end + 1)
            command.push_back(lines.substr(at, end - at));
        const ProgramResult result = runProgram(command);
        CHECK_EQ(result.exitCode, row.runs ? 0 : 1);
        CHECK_EQ(platform::directoryExists(world.dir / "made"), row.runs);
        CHECK(!platform::directoryExists(world.dir / "theirs"));
        if (!row.runs)
            CHECK(contains(result.output, "The script " + script +
                                              " is not the file the backup program wrote; "
                                              "nothing of it was run"));
    }
    // Swapped before the start: where every file shows as ours (FAT), the
    // file this process created tells; elsewhere its owner does too.
    for (const bool theirs : {false, true}) {
        CHECK_CONTEXT(theirs ? "another user's file" : "another file of ours");
        if (theirs && skippedWithoutRoot())
            continue;
        World world;
        const std::string script = world.dir / "run.bat";
        platform::TextFile created;
        REQUIRE(created.createNew(script) == 0);
        REQUIRE(created.writeLine("MD " + (world.dir / "made")) == 0);
        REQUIRE(created.close() == 0);
        writeFile(world.dir / "theirs.bat", "MD " + (world.dir / "theirs") + "\r\n");
        if (theirs)
            giveToOtherUser(world.dir / "theirs.bat");
        REQUIRE(::rename((world.dir / "theirs.bat").c_str(), script.c_str()) == 0);
        world.environment.hermetic(folderOf(MINICMD_PATH));
        TestSystem system(world.dir / "TarvikBackUp");
        platform::ScopedSystem scoped(system);
        CHECK_THROWS_WITH(std::runtime_error, platform::openBatchScript(script, nullptr),
                          "The backup script " + script +
                              " is not the file the program wrote; nothing was run.");
        CHECK(!platform::directoryExists(world.dir / "theirs"));
    }
}

TEST_CASE(nothingIsCopiedIntoAFolderOfAnotherUserOrThroughALink)
{
    struct Row
    {
        const char* name;
        bool needsRoot;
        std::function<void(World&)> prepare;
        int exitCode;
        const char* says; // {B} stands for the dated folder; "" for nothing refused
        std::vector<std::string> expected; // below the dated folder
    };
    const auto folder = [](const char* relative, bool theirs, mode_t mode = 0777) {
        return [=](World& world) {
            const std::string path = world.dated + relative;
            makeDirectory(path);
            ::chmod(path.c_str(), mode);
            if (theirs)
                giveToOtherUser(path);
        };
    };
    const auto link = [](const char* relative) {
        return [=](World& world) {
            const std::string path = world.dated + relative;
            makeDirectory(folderOf(path));
            REQUIRE(::symlink((world.dir / "elsewhere").c_str(), path.c_str()) == 0);
        };
    };
    const std::vector<std::string> all{"Docs/",          "Docs/a.txt", "Docs/sub/",
                                       "Docs/sub/b.txt", "Mail/",      "Mail/m.txt"};
    const Row rows[] = {
        {"dated folder made beforehand by another user",
         true,
         folder("", true),
         1,
         "{B} belongs to another user; nothing was copied into it\n",
         {}},
        {"target folder of another user",
         true,
         folder("/Docs", true),
         1,
         "{B}/Docs belongs to another user; nothing was copied into it\n",
         {"Docs/", "Mail/", "Mail/m.txt"}},
        {"dated folder is a link",
         false,
         link(""),
         1,
         "{B} is a symbolic link; nothing was copied into it\n",
         {}},
        {"target folder is a link",
         false,
         link("/Docs"),
         1,
         "{B}/Docs is a symbolic link; nothing was copied into it\n",
         {"Docs@", "Mail/", "Mail/m.txt"}},
        {"a sub-folder of the target is a link",
         false,
         [&](World& world) {
             makeDirectory(world.dated + "/Docs");
             link("/Docs/sub")(world);
         },
         1,
         "{B}/Docs/sub is a symbolic link; nothing was copied into it\n",
         {"Docs/", "Docs/a.txt", "Docs/sub@", "Mail/", "Mail/m.txt"}},
        // A FAT or exFAT drive shows everything as the mounting user's, open to all.
        {"folders of ours open to all", false,
         [&](World& world) {
             folder("", false)(world);
             folder("/Docs", false)(world);
         },
         0, "", all},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        if (row.needsRoot && skippedWithoutRoot())
            continue;
        World world;
        row.prepare(world);
        const ProgramResult result = world.backup();
        CHECK_EQ(result.exitCode, row.exitCode);
        if (*row.says)
            CHECK(contains(result.output, replaced(row.says, "{B}", world.dated)));
        CHECK_EQ(listed(listTree(world.dir / "elsewhere")), listed({}));
        CHECK_EQ(listed(listTree(world.dated)), listed(row.expected));
    }
}

// What changes between the walk's look and the copy: a backup drive
// unmounted, a dated folder or a source file another user swaps. The
// interpreter waits at its question about a copy already there while the
// test makes the change.
TEST_CASE(nothingIsWrittenOrCopiedThroughWhatWasSwappedMidRun)
{
    struct Row
    {
        const char* name;
        std::function<void(World&)> change;
        const char* says; // {B} stands for the dated folder
        bool copiesMoved; // the new copies are in the dated folder renamed away
    };
    const auto moveDated = [](World& world) {
        REQUIRE(::rename(world.dated.c_str(), (world.dated + ".moved").c_str()) == 0);
    };
    // The walk has looked at sub/b.txt, whose copy is there: the question
    // comes before its source is opened.
    const auto swapSource = [](const std::function<void(const std::string&)>& swap) {
        return [=](World& world) {
            const std::string source = world.dir / "Work/Docs/sub/b.txt";
            REQUIRE(::unlink(source.c_str()) == 0);
            swap(source);
        };
    };
    const char* gone = "{B} is gone or was replaced while the script ran; nothing was copied "
                       "into it\n";
    const Row rows[] = {
        {"the drive with the dated folder gone", moveDated, gone, true},
        {"the dated folder swapped for a link",
         [&](World& world) {
             moveDated(world);
             REQUIRE(::symlink((world.dir / "elsewhere").c_str(), world.dated.c_str()) == 0);
         },
         gone, true},
        {"a source swapped for a link to a private file", swapSource([](const std::string& source) {
             REQUIRE(::symlink((folderOf(folderOf(source)) + "/../private.txt").c_str(),
                               source.c_str()) == 0);
         }),
         "changed while it was copied", false},
        // Size and time as the walk saw them: only the file's identity tells.
        {"a source swapped for a hard link to a private file",
         swapSource([](const std::string& source) {
             REQUIRE(::link((folderOf(folderOf(source)) + "/../twin.txt").c_str(),
                            source.c_str()) == 0);
         }),
         "changed while it was copied", false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        World world;
        makeFile(world.dir / "Work/Docs/sub2/c.txt", "c", kNew);
        makeFile(world.dir / "Work/private.txt", "secret", kNew);
        makeFile(world.dir / "Work/twin.txt", "t", kNew);
        makeFile(world.dated + "/Docs/sub/b.txt", "old", kNew);
        writeFile(world.dir / "run.bat", BackupScript(world.job, platform::directoryExists));
        const ProgramResult result =
            runOnTerminal({MINICMD_PATH, world.dir / "run.bat"},
                          {"(Yes/No/All)? ", "Press Enter to close this window."}, {"a", ""},
                          std::chrono::seconds(60), [&](std::size_t answer) {
                              if (answer == 0)
                                  row.change(world);
                          });
        CHECK_EQ(result.exitCode, 1);
        CHECK(contains(replaced(result.output, "\r\n", "\n"),
                       replaced(row.says, "{B}", world.dated)));
        CHECK_EQ(listed(listTree(world.dir / "elsewhere")), listed({}));
        const std::string copies = row.copiesMoved ? world.dated + ".moved" : world.dated;
        CHECK_EQ(readFile(copies + "/Docs/sub/b.txt"), std::string(row.copiesMoved ? "b" : "old"));
        // The folder after the question's is reached as the line found its
        // destination, not by its name again.
        CHECK_EQ(readFile(copies + "/Docs/sub2/c.txt"), std::string("c"));
        if (row.copiesMoved)
            CHECK(!platform::entryExists(world.dated + "/Mail"));
    }
}

// The MD line makes a target folder before xcopy could give it the source
// folder's bits, and an earlier run of the day may have made its sub-folders
// while their sources were open: xcopy takes back what the source does not
// allow.
TEST_CASE(aTargetFolderIsNeverMoreOpenThanItsSource)
{
    struct Row
    {
        mode_t source, made, expected;
        mode_t subMade = 0; // of Docs/sub, whose source is 0700
    };
    const Row rows[] = {
        {0700, 0, 0700},          {0750, 0, 0750},    {0755, 0, 0755},
        {0700, 0777, 0700},       {0755, 0711, 0711}, // never opened further
        {0755, 0755, 0755, 0755},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(std::to_string(row.source) + " over " + std::to_string(row.made) + ", " +
                      std::to_string(row.subMade));
        World world;
        ::chmod((world.dir / "Work/Docs").c_str(), row.source);
        ::chmod((world.dir / "Work/Docs/sub").c_str(), 0700);
        if (row.made) {
            makeDirectory(world.dated + "/Docs");
            ::chmod((world.dated + "/Docs").c_str(), row.made);
        }
        if (row.subMade) {
            makeDirectory(world.dated + "/Docs/sub");
            ::chmod((world.dated + "/Docs/sub").c_str(), row.subMade);
        }
        CHECK_EQ(world.backup().exitCode, 0);
        CHECK_EQ(modeOf(world.dated + "/Docs"), row.expected);
        CHECK_EQ(modeOf(world.dated + "/Docs/sub"), mode_t(0700));
        CHECK_EQ(readFile(world.dated + "/Docs/a.txt"), std::string("a"));
    }
}

// A backup folder that passes its group on (set-group-ID, as shared folders
// are set up) would give each copy that group: its members could read what
// they could not read at the source.
TEST_CASE(aCopyIsOpenToNoGroupTheSourceWasNotOpenTo)
{
    struct Row
    {
        const char* name;
        bool unprivileged; // the run is nobody's, whose files the sources are
        gid_t sourceGroup;
        gid_t copyGroup;
        mode_t copyMode;
    };
    const Row rows[] = {
        {"the source's group kept", false, 1000, 1000, 0640},
        {"no group bits where the source's group cannot be had", true, 1000, 65534, 0600},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        if (skippedWithoutRoot())
            return;
        World world;
        const std::string source = world.dir / "Work/Docs/a.txt";
        ::chmod(source.c_str(), 0640);
        REQUIRE(::chown(source.c_str(), row.unprivileged ? kOtherUser : 0, row.sourceGroup) == 0);
        const std::string backups = world.dir / "Backups";
        REQUIRE(::chown(backups.c_str(), row.unprivileged ? kOtherUser : 0, 6) == 0);
        ::chmod(backups.c_str(), 02770);
        makeDirectory(world.dir / "state");
        giveToOtherUser(world.dir / "state");
        writeFile(world.dir / "run.bat", BackupScript(world.job, platform::directoryExists));
        CHECK_EQ(runProgram({MINICMD_PATH, world.dir / "run.bat"}, Input::DevNull, row.unprivileged)
                     .exitCode,
                 0);
        struct stat copy
        {};
        REQUIRE(::stat((world.dated + "/Docs/a.txt").c_str(), &copy) == 0);
        CHECK_EQ(copy.st_gid, row.copyGroup);
        CHECK_EQ(copy.st_mode & 07777, row.copyMode);
        // Their folders (root's, group 0) show their names to no other group.
        for (const char* folder : {"/Docs", "/Docs/sub"}) {
            CHECK_CONTEXT(folder);
            REQUIRE(::stat((world.dated + folder).c_str(), &copy) == 0);
            CHECK(copy.st_gid == 0 || (copy.st_mode & 070) == 0);
        }
    }
}

// With the first of two sources of one name missing, the second still goes to
// its own folder; however the list changes, it leaves the first one's backup
// of the day alone.
TEST_CASE(aSourceKeepsItsTargetFolderWhenAnotherOfItsNameIsMissing)
{
    World world;
    makeFile(world.dir / "DriveA/Docs/report.txt", "drive A", kNew);
    makeFile(world.dir / "Home/Docs/report.txt", "home", kNew);
    world.job.sourceDirectories = {world.dir / "DriveA/Docs", world.dir / "Home/Docs"};
    CHECK_EQ(world.backup().exitCode, 0);
    REQUIRE(::rename((world.dir / "DriveA").c_str(), (world.dir / "Unplugged").c_str()) == 0);
    makeFile(world.dir / "Home/Docs/report.txt", "home, later", kNew + 60);
    CHECK_EQ(world.backup().exitCode, 0);
    CHECK_EQ(readFile(world.dated + "/Docs/report.txt"), std::string("drive A"));
    CHECK_EQ(readFile(world.dated + "/Docs (2)/report.txt"), std::string("home, later"));
    // With the first source gone from the list, the folder it filled is refused.
    world.job.sourceDirectories = {world.dir / "Home/Docs"};
    const ProgramResult third = world.backup();
    CHECK_EQ(third.exitCode, 1);
    CHECK(contains(third.output, "/Docs holds the backup of "));
    CHECK(contains(third.output, "/DriveA/Docs; nothing was copied into it\n"));
    CHECK_EQ(readFile(world.dated + "/Docs/report.txt"), std::string("drive A"));
}

// Runs that start together each keep their claim on the folder they fill,
// whatever its source's name holds; another source is then refused each one.
TEST_CASE(everyRunsClaimOnItsTargetFolderIsKept)
{
    for (const std::string name : {"Docs", "Docs\t2024", "Do\\cs"}) {
        CHECK_CONTEXT(name);
        World world;
        const auto script = [&world](const std::string& source, int run) {
            const std::string target = world.dir / "Backups/T" + std::to_string(run);
            return "MD \"" + target + "\"\r\nxcopy \"" + source + "/*.*\" \"" + target +
                   "\" /S\r\n";
        };
        constexpr int kRuns = 8;
        std::vector<std::thread> runs;
        for (int run = 0; run < kRuns; ++run) {
            const std::string source = world.dir / name + std::to_string(run);
            const std::string file = world.dir / "run" + std::to_string(run) + ".bat";
            makeFile(source + "/report.txt", "mine", kNew);
            writeFile(file, script(source, run));
            runs.emplace_back([file] { runProgram({MINICMD_PATH, file}); });
        }
        for (std::thread& run : runs)
            run.join();
        makeFile(world.dir / "Other/report.txt", "other", kNew);
        for (int run = 0; run < kRuns; ++run) {
            CHECK_EQ(world.run(script(world.dir / "Other", run)).exitCode, 1);
            CHECK_EQ(readFile(world.dir / "Backups/T" + std::to_string(run) + "/report.txt"),
                     std::string("mine"));
        }
    }
}

// On a file system that ignores letter case (a FAT stick, a Windows share),
// sources named "Docs" and "docs" get target folders of two names but one
// place; a bind mount stands in for it. The first source's backup is kept.
TEST_CASE(aTargetFolderOfAnotherNameIsStillAnotherSourcesFolder)
{
    struct Row
    {
        const char* name;
        const char* second; // the second source, below the test folder
        int exitCode;
    };
    const Row rows[] = {
        {"another source", "Home/docs", 1},
        {"the same source through a link", "Work/docs", 0},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        if (skippedWithoutRoot())
            return;
        // The mount is this process's alone, and gone with the row.
        REQUIRE(::unshare(CLONE_NEWNS) == 0);
        REQUIRE(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
        World world;
        makeFile(world.dir / "Work/Docs/report.txt", "work", kNew);
        makeFile(world.dir / "Home/docs/report.txt", "home", kNew);
        REQUIRE(::symlink("Docs", (world.dir / "Work/docs").c_str()) == 0);
        world.job.sourceDirectories = {world.dir / "Work/Docs", world.dir / row.second};
        makeDirectory(world.dated + "/Docs");
        makeDirectory(world.dated + "/docs");
        REQUIRE(::mount((world.dated + "/Docs").c_str(), (world.dated + "/docs").c_str(), nullptr,
                        MS_BIND, nullptr) == 0);
        const ProgramResult result = world.backup();
        ::umount2((world.dated + "/docs").c_str(), MNT_DETACH);
        CHECK_EQ(result.exitCode, row.exitCode);
        CHECK_EQ(readFile(world.dated + "/Docs/report.txt"), std::string("work"));
        if (row.exitCode != 0)
            CHECK(contains(result.output, "/docs is the folder " + world.dated +
                                              "/Docs, which holds the backup of " +
                                              (world.dir / "Work/Docs") +
                                              "; nothing was copied into it\n"));
    }
}

// Only a regular file of ours, of exactly the temporary name the interpreter
// writes, whose writer has gone, is a leftover to remove or to leave out.
TEST_CASE(onlyOurOwnLeftoversAreRemovedAndNoFileIsLeftOutSilently)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    REQUIRE(::waitpid(child, nullptr, 0) == child);
    const std::string gone = std::to_string(child);
    struct Row
    {
        std::string name;
        bool theirs; // made by the second user
        bool removed;
    };
    const Row rows[] = {
        {".~minicmd" + gone + "-0.tmp", false, true},
        {".~minicmd" + gone + "-0.tmp", true, false},
        {".~minicmd1-0.tmp", false, false}, // its writer runs
        {".~minicmd-notes.tmp", false, false},
        {".~minicmd" + gone + "-x.tmp", false, false},
        {".~minicmd0" + gone + "-0.tmp", false, false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name + (row.theirs ? " of another user" : ""));
        if (row.theirs && skippedWithoutRoot())
            continue;
        World world;
        makeFile(world.dated + "/Mail/" + row.name, "left", kNew);
        if (row.theirs)
            giveToOtherUser(world.dated + "/Mail/" + row.name);
        CHECK_EQ(world.backup().exitCode, 0);
        CHECK_EQ(platform::fileExists(world.dated + "/Mail/" + row.name), !row.removed);
    }
    // In a source folder the user's own file is copied; one of the exact
    // shape is left out, and the run says so.
    World world;
    for (const std::string& name :
         {std::string(".~minicmd-notes.tmp"), ".~minicmd" + gone + "-3.tmp"})
        makeFile(world.dir / "Home/Mail/" + name, "mine", kNew);
    const ProgramResult result = world.backup();
    CHECK_EQ(result.exitCode, 1);
    CHECK(contains(result.output, "Skipped " + (world.dir / "Home/Mail/.~minicmd") + gone +
                                      "-3.tmp: named like a temporary file of a copy\n"));
    CHECK_EQ(listed(listTree(world.dated + "/Mail")), listed({".~minicmd-notes.tmp", "m.txt"}));
}

// A run killed outright leaves its temporary file where it was copying; the
// record in the state folder tells the next run where that was.
TEST_CASE(theNextRunRemovesAKilledRunsLeftoverWhereverItLies)
{
    World world;
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    REQUIRE(::waitpid(child, nullptr, 0) == child);
    // Copies still in flight when it was killed: the record names each folder.
    std::string record;
    const std::vector<std::string> leftovers{
        world.dir / "Old/BK-20261205/Docs/.~minicmd" + std::to_string(child) + "-0.tmp",
        world.dir / "Old/BK-20261205/Mail/.~minicmd" + std::to_string(child) + "-1.tmp"};
    for (const std::string& leftover : leftovers) {
        makeFile(leftover, "423 MB, once", kNew);
        record += folderOf(leftover) + "\n";
    }
    const std::string records = world.dir / "state/tarvikbackup";
    makeDirectory(records);
    writeFile(records + "/copying-" + std::to_string(child), record);

    CHECK_EQ(world.backup().exitCode, 0);
    for (const std::string& leftover : leftovers)
        CHECK(!platform::fileExists(leftover));
    // Neither the ended run's record nor this run's own stays.
    for (const std::string& entry : listTree(records))
        CHECK(!entry.starts_with("copying-"));
}

// One open file per level would end a deep copy at the usual limit of 1,024.
TEST_CASE(aDeepTreeCopiesWithTheUsualOpenFileLimit)
{
    World world;
    std::string below, middle; // below the source folder
    for (int level = 0; level < 1500; ++level) {
        below += "/d";
        if (level == 700)
            middle = below;
    }
    makeFile(world.dir / "Work/Docs" + middle + "/f.txt", "middle", kNew);
    makeFile(world.dir / "Work/Docs" + below + "/f.txt", "bottom", kNew);
    writeFile(world.dir / "run.bat", BackupScript(world.job, platform::directoryExists));
    const ProgramResult result =
        runProgram({"/bin/sh", "-c", "ulimit -n 1024 && exec \"$0\" \"$1\"", MINICMD_PATH,
                    world.dir / "run.bat"});
    CHECK_EQ(result.exitCode, 0);
    CHECK(!contains(result.output, "Too many open files"));
    CHECK_EQ(readFile(world.dated + "/Docs" + middle + "/f.txt"), std::string("middle"));
    CHECK_EQ(readFile(world.dated + "/Docs" + below + "/f.txt"), std::string("bottom"));
}
