// Shell execute on POSIX with the real interpreter: what it starts, where it
// finds it, and that the program may delete the script at once.

#include "platform/posix/PosixShell.h"

#include "Check.h"
#include "ProgramRun.h"
#include "ScriptText.h"
#include "TestFiles.h"
#include "TestSystem.h"
#include "Trees.h"
#include "core/BackupScript.h"
#include "platform/FileSystem.h"

#include <csignal>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvik;
using namespace testfiles;

namespace {

std::string folderOf(const std::string& path)
{
    return path.substr(0, path.rfind('/'));
}

void makeProgram(const std::string& path, const std::string& body, mode_t mode = 0755)
{
    makeDirectory(folderOf(path));
    writeFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), mode);
}

bool fileHolds(const std::string& path, const std::string& content)
{
    return platform::fileExists(path) && readFile(path) == content;
}

const std::time_t kNew = localTime(2026, 12, 6, 10);

// A job over two source folders of a few files each, its script written.
struct Job
{
    BackupJob job;
    std::string script;
    std::vector<std::string> expected; // below the dated backup folder

    explicit Job(const TempDir& dir)
    {
        for (const char* name : {"a.txt", "b.txt", "sub/c.txt", "sub/deeper/d.txt"})
            makeFile(dir / "Src/" + name, name, kNew);
        for (const char* name : {"e.txt", "f g.txt"})
            makeFile(dir / "My Docs/" + name, name, kNew);
        makeDirectory(dir / "Backups");
        job = {dir / "Backups", {dir / "Src", dir / "My Docs"}, {}, true, {2026, 12, 6}};
        script = scriptFileName(job);
        writeFile(script, BackupScript(job, platform::directoryExists));
        expected = {"My Docs/",        "My Docs/e.txt",       "My Docs/f g.txt", "Src/",
                    "Src/a.txt",       "Src/b.txt",           "Src/sub/",        "Src/sub/c.txt",
                    "Src/sub/deeper/", "Src/sub/deeper/d.txt"};
    }

    bool done() const { return listTree(backupFolder(job)) == expected; }
};

} // namespace

TEST_CASE(theInterpreterIsFoundBesideTheProgramFirstThenOnPath)
{
    struct Row
    {
        const char* name;
        bool beside;       // an executable minicmd beside the program
        bool besideNotRun; // a minicmd beside it that may not be executed
        bool onPath;
        const char* found; // "app", "bin" or ""
    };
    const Row rows[] = {
        {"both", true, false, true, "app"},
        {"beside only", true, false, false, "app"},
        {"path only", false, false, true, "bin"},
        {"beside but not executable", false, true, true, "bin"},
        {"none", false, false, false, ""},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir dir;
        makeDirectory(dir / "app");
        makeDirectory(dir / "bin");
        if (row.beside || row.besideNotRun)
            makeProgram(dir / "app/minicmd", "exit 0\n", row.beside ? 0755 : 0644);
        if (row.onPath)
            makeProgram(dir / "bin/minicmd", "exit 0\n");
        ScopedEnvironment environment;
        environment.hermetic("/nonexistent:" + (dir / "bin"));
        const std::string expected = *row.found ? dir / row.found + "/minicmd" : "";
        CHECK_EQ(platform::findInterpreter(dir / "app/TarvikBackUp"), expected);
    }
}

TEST_CASE(aTerminalIsUsedOnlyWithADisplay)
{
    struct Row
    {
        const char* name;
        const char* display;
        const char* wayland;
        const char* terminal; // "{bin}" stands for the folder on PATH
        std::vector<std::string> installed;
        std::vector<std::string> expected; // program (relative to {bin}), then switch
    };
    const Row rows[] = {
        {"no display", nullptr, nullptr, "xterm", {"xterm"}, {}},
        {"empty display", "", "", nullptr, {"xterm"}, {}},
        {"X display", ":0", nullptr, nullptr, {"xterm"}, {"xterm", "-e"}},
        {"Wayland, first of the list",
         nullptr,
         "wayland-0",
         nullptr,
         {"xterm", "foot", "kitty"},
         {"kitty"}},
        {"the user's choice",
         ":0",
         nullptr,
         "myterm",
         {"myterm", "x-terminal-emulator"},
         {"myterm", "-e"}},
        {"the user's choice by path",
         ":0",
         nullptr,
         "{bin}/gnome-terminal",
         {"gnome-terminal", "xterm"},
         {"gnome-terminal", "--"}},
        {"the user's choice missing",
         ":0",
         nullptr,
         "gone",
         {"xfce4-terminal", "x-terminal-emulator"},
         {"x-terminal-emulator", "-e"}},
        {"none installed", ":0", nullptr, nullptr, {}, {}},
        {"switch by name", ":0", nullptr, nullptr, {"mate-terminal"}, {"mate-terminal", "-x"}},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir dir;
        makeDirectory(dir / "bin");
        for (const auto& name : row.installed)
            makeProgram(dir / "bin/" + name, "exit 0\n");
        ScopedEnvironment environment;
        environment.hermetic(dir / "bin");
        environment.set("DISPLAY", row.display);
        environment.set("WAYLAND_DISPLAY", row.wayland);
        std::string terminal = row.terminal ? row.terminal : "";
        if (terminal.starts_with("{bin}"))
            terminal.replace(0, 5, dir / "bin");
        environment.set("TERMINAL", row.terminal ? terminal.c_str() : nullptr);
        std::vector<std::string> expected = row.expected;
        if (!expected.empty())
            expected.front() = dir / "bin/" + expected.front();
        CHECK_EQ(listed(platform::terminalCommand()), listed(expected));
    }
}

TEST_CASE(theScriptDeletedAtOnceAfterShellExecuteStillCompletes)
{
    struct Row
    {
        const char* extension;
        const char* verb;
    };
    const Row rows[] = {{".bat", "open"}, {".CMD", "open"}, {".Bat", nullptr}};
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.extension);
        TempDir dir;
        Job job(dir);
        const std::string script = folderOf(job.script) + "/run" + row.extension;
        REQUIRE(::rename(job.script.c_str(), script.c_str()) == 0);
        ScopedEnvironment environment;
        environment.hermetic(dir / "nothing-here");
        // The real interpreter, found beside the program as it is installed.
        TestSystem system(folderOf(MINICMD_PATH) + "/TarvikBackUp");
        platform::ScopedSystem scoped(system);

        platform::posixShellExecute(nullptr, row.verb, script.c_str(), nullptr, nullptr,
                                    platform::ShowNormal);
        CHECK(platform::deleteFile(script));
        CHECK(waitUntil([&] { return job.done(); }));
        CHECK_EQ(listed(listTree(backupFolder(job.job))), listed(job.expected));
        CHECK_EQ(readFile(backupFolder(job.job) + "/My Docs/f g.txt"), std::string("f g.txt"));
    }
}

TEST_CASE(theScriptRunsInTheFolderGivenToTheShell)
{
    TempDir dir;
    makeDirectory(dir / "work");
    writeFile(dir / "relative.bat", "MD made here\r\n");
    ScopedEnvironment environment;
    environment.hermetic(folderOf(MINICMD_PATH));
    environment.set("XDG_STATE_HOME", (dir / "state").c_str());
    TestSystem system(dir / "TarvikBackUp");
    platform::ScopedSystem scoped(system);

    // The parameters are the source folders left out, one a line.
    platform::posixShellExecute(nullptr, "open", (dir / "relative.bat").c_str(),
                                "/gone/drive\n/gone/other one\n", (dir / "work").c_str(),
                                platform::ShowNormal);
    CHECK(waitUntil([&] { return platform::directoryExists(dir / "work/made"); }));
    CHECK(waitUntil([&] { return platform::directoryExists(dir / "work/here"); }));
    const std::string records = dir / "state/tarvikbackup";
    CHECK(waitUntil([&] {
        return platform::fileExists(records + "/history.tsv") &&
               contains(readFile(records + "/history.tsv"), "\tfinished\t");
    }));
    std::string log;
    for (const std::string& entry : listTree(records))
        if (entry.ends_with(".log"))
            log += readFile(records + "/" + entry);
    for (const char* folder : {"/gone/drive\n", "/gone/other one\n"})
        CHECK(contains(log, std::string("Folder not found, not backed up: ") + folder));
}

TEST_CASE(withoutAPlaceForTheHandshakeTheScriptStillRuns)
{
    TempDir dir;
    Job job(dir);
    ScopedEnvironment environment;
    environment.hermetic(folderOf(MINICMD_PATH));
    environment.set("TMPDIR", (dir / "no such folder").c_str());
    TestSystem system(dir / "TarvikBackUp");
    platform::ScopedSystem scoped(system);

    CHECK(!platform::openBatchScript(job.script, nullptr));
    CHECK(waitUntil([&] { return job.done(); }));
}

TEST_CASE(aTerminalWindowRunsTheScriptWhenThereIsADisplay)
{
    TempDir dir;
    Job job(dir);
    // A terminal stand-in: notes how it was called and runs the command.
    makeProgram(dir / "bin/fake-term", "printf '%s\\n' \"$@\" > '" + (dir / "term-args") +
                                           "'\n[ \"$1\" = -e ] && shift\nexec \"$@\"\n");
    ScopedEnvironment environment;
    environment.withTerminal(folderOf(MINICMD_PATH), dir / "bin/fake-term");
    TestSystem system(dir / "TarvikBackUp");
    platform::ScopedSystem scoped(system);

    CHECK(platform::openBatchScript(job.script, nullptr));
    CHECK(platform::deleteFile(job.script));
    CHECK(waitUntil([&] { return job.done(); }));
    const std::string arguments = readFile(dir / "term-args");
    CHECK(arguments.starts_with("-e\n" + std::string(MINICMD_PATH) + "\n"));
    CHECK(arguments.ends_with("\n" + job.script + "\n"));
}

TEST_CASE(theWaitForTheInterpreterIsBoundedAndAFailedStartIsRaised)
{
    using std::chrono::hours, std::chrono::milliseconds;
    struct Row
    {
        const char* name;
        const char* terminal;    // the terminal stand-in; nullptr: none
        const char* interpreter; // "real", "missing", or a stand-in beside the program
        milliseconds bound;
        const char* raises; // "" when nothing is raised; {d} is the test's folder
    };
    const Row rows[] = {
        {"terminal that starts nothing", "#!/bin/sh\nexit 0\n", "real", milliseconds(300), ""},
        {"no interpreter anywhere", nullptr, "missing", hours(1),
         "The command interpreter minicmd was not found beside the program or on PATH."},
        // With a bound far longer than the test's own time limit, only the
        // early wake-up on a failed start can let these return.
        {"terminal that cannot be started", "#!/nonexistent/interpreter\n", "real", hours(1),
         "The terminal {d}/bin/term could not be started: No such file or directory"},
        {"interpreter that cannot be started", nullptr, "#!/nonexistent/interpreter\n", hours(1),
         "The command interpreter {d}/minicmd could not be started: No such file or directory"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir dir;
        writeFile(dir / "run.bat", "MD " + (dir / "made") + "\r\n");
        ScopedEnvironment environment;
        const std::string interpreter = row.interpreter;
        const std::string path = interpreter == "real" ? folderOf(MINICMD_PATH) : dir / "bin";
        auto makeStandIn = [](const std::string& path, const char* content) {
            makeProgram(path, "");
            writeFile(path, content);
        };
        if (interpreter != "real" && interpreter != "missing")
            makeStandIn(dir / "minicmd", row.interpreter);
        if (row.terminal) {
            makeStandIn(dir / "bin/term", row.terminal);
            environment.withTerminal(path, dir / "bin/term");
        } else {
            environment.hermetic(path);
        }
        TestSystem system(dir / "TarvikBackUp");
        platform::ScopedSystem scoped(system);
        std::string raises = row.raises;
        if (const auto at = raises.find("{d}"); at != std::string::npos)
            raises.replace(at, 3, dir.path());
        if (raises.empty())
            CHECK(!platform::openBatchScript(dir / "run.bat", nullptr, row.bound));
        else
            CHECK_THROWS_WITH(std::runtime_error,
                              platform::openBatchScript(dir / "run.bat", nullptr, row.bound),
                              raises);
        CHECK(!platform::directoryExists(dir / "made"));
        // The script stays for the user to run by hand.
        CHECK(platform::fileExists(dir / "run.bat"));
    }
}

TEST_CASE(aHandshakeFolderLeftByAKilledProgramGoesWithTheNextRun)
{
    TempDir dir;
    makeDirectory(dir / "tmp");
    writeFile(dir / "run.bat", "MD " + (dir / "made") + "\r\n");
    makeProgram(dir / "bin/term", "exit 0\n"); // starts nothing: the handshake never ends
    // A folder whose maker still runs (init) is left alone.
    makeDirectory(dir / "tmp/tarvik-shell-1-alive0");
    ScopedEnvironment environment;
    environment.withTerminal(folderOf(MINICMD_PATH), dir / "bin/term");
    environment.set("TMPDIR", (dir / "tmp").c_str());
    TestSystem system(dir / "TarvikBackUp");
    platform::ScopedSystem scoped(system);

    const pid_t program = ::fork();
    REQUIRE(program >= 0);
    if (program == 0) {
        platform::openBatchScript(dir / "run.bat", nullptr, std::chrono::hours(1));
        ::_exit(0);
    }
    const std::string prefix = "tarvik-shell-" + std::to_string(program) + "-";
    auto leftBehind = [&] {
        std::vector<std::string> found;
        for (const std::string& entry : listTree(dir / "tmp"))
            if (entry.starts_with(prefix) && entry.ends_with("/"))
                found.push_back(entry);
        return found;
    };
    CHECK(waitUntil([&] { return !leftBehind().empty(); }));
    ::kill(program, SIGKILL);
    REQUIRE(::waitpid(program, nullptr, 0) == program);
    CHECK_EQ(leftBehind().size(), std::size_t(1));

    environment.hermetic(folderOf(MINICMD_PATH));
    CHECK(platform::openBatchScript(dir / "run.bat", nullptr));
    CHECK(leftBehind().empty());
    CHECK(platform::directoryExists(dir / "tmp/tarvik-shell-1-alive0"));
    CHECK(waitUntil([&] { return platform::directoryExists(dir / "made"); }));
}

TEST_CASE(webAddressesAndOtherFilesGoToTheDesktopOpener)
{
    TempDir dir;
    makeProgram(dir / "bin/xdg-open", "printf '%s\\n' \"$*\" >> '" + (dir / "opened") + "'\n");
    ScopedEnvironment environment;
    environment.hermetic(dir / "bin");
    TestSystem system(dir / "TarvikBackUp");
    platform::ScopedSystem scoped(system);

    platform::posixShellExecute(nullptr, "print", "https://printed.example/", nullptr, nullptr,
                                platform::ShowNormal);
    platform::posixShellExecute(nullptr, "Open", "https://www.example.com/", nullptr, nullptr,
                                platform::ShowNormal);
    CHECK(waitUntil([&] { return fileHolds(dir / "opened", "https://www.example.com/\n"); }));
    platform::posixShellExecute(nullptr, "open", (dir / "notes.txt").c_str(), nullptr, nullptr,
                                platform::ShowNormal);
    CHECK(waitUntil([&] {
        return fileHolds(dir / "opened", "https://www.example.com/\n" + (dir / "notes.txt") + "\n");
    }));
}
