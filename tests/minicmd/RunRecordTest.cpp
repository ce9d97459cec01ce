// What the real interpreter tells about a run: its log and history, the
// summary, the terminal that stays open on failure, the notification, and
// the progress line.

#include "Check.h"
#include "ProgramRun.h"
#include "TestFiles.h"
#include "Trees.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <sys/stat.h>

using namespace tarvik;
using namespace testfiles;

namespace {

const std::time_t kNew = localTime(2026, 12, 6, 9, 30);
const std::time_t kOld = localTime(2026, 11, 1);

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

std::vector<std::string> logsIn(const std::string& folder)
{
    std::vector<std::string> logs;
    for (const std::string& entry : listTree(folder))
        if (entry.ends_with(".log"))
            logs.push_back(entry);
    return logs;
}

// A test folder with sources, a state folder of its own for the records,
// and a script that copies `good` (a file) and then tries `failing` missing
// folders.
struct Run
{
    TempDir dir;
    ScopedEnvironment environment;
    std::string state = dir / "state";

    Run()
    {
        environment.set("XDG_STATE_HOME", state.c_str());
        environment.set("DISPLAY", nullptr);
        environment.set("WAYLAND_DISPLAY", nullptr);
        makeFile(dir / "src/a.txt", "12345", kNew);
        makeFile(dir / "src/old.txt", "old", kOld);
    }
    std::string records() const { return state + "/tarvikbackup"; }
    std::string script(int failing, const std::string& name = "run.bat") const
    {
        std::string lines =
            "xcopy " + (dir / "src/*.txt") + " " + (dir / "out") + " /D:12-1-2026\r\n";
        for (int i = 0; i < failing; ++i)
            lines +=
                "xcopy " + (dir / "missing" + std::to_string(i)) + "/*.* " + (dir / "out") + "\r\n";
        writeFile(dir / name, lines);
        return dir / name;
    }
    ProgramResult run(int failing, const std::string& name = "run.bat") const
    {
        return runProgram({MINICMD_PATH, script(failing, name)});
    }
};

std::string missingFolder(const Run& run, int i)
{
    return "Cannot read folder " + (run.dir / "missing" + std::to_string(i)) +
           ": No such file or directory";
}

} // namespace

TEST_CASE(eachRunLeavesALogAndAHistoryLineThatTheInterpreterReadsBack)
{
    Run run;
    const ProgramResult good = run.run(0, "good.bat");
    const ProgramResult bad = run.run(1, "bad.bat");
    CHECK_EQ(good.exitCode, 0);
    CHECK_EQ(bad.exitCode, 1);

    const std::vector<std::string> logs = logsIn(run.records());
    REQUIRE(logs.size() == 2);
    // The log holds what the run showed, summary included.
    const std::string badLog = readFile(run.records() + "/" + logs[1]);
    CHECK(badLog.starts_with("Run of " + (run.dir / "bad.bat") + ", started "));
    CHECK(badLog.ends_with(bad.output));

    const std::string history = readFile(run.records() + "/history.tsv");
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> found;
        for (std::size_t at = 0, end; (end = history.find('\n', at)) != std::string::npos;
             at = end + 1)
            if (history[at] != '#' && contains(history.substr(at, end - at), "\tfinished\t"))
                found.push_back(history.substr(at, end - at));
        return found;
    }();
    REQUIRE(lines.size() == 2);
    const std::string bytes = "\t1\t5\t";
    CHECK(contains(lines[0], "\t" + (run.dir / "good.bat") + bytes + "0\t0\t" + logs[0]));
    CHECK(contains(lines[1], "\t" + (run.dir / "bad.bat") + bytes + "1\t1\t" + logs[1]));

    const ProgramResult last = runProgram({MINICMD_PATH, "--last"});
    CHECK_EQ(last.exitCode, 1); // the last run had a failure
    CHECK(contains(last.output, "Last run: " + (run.dir / "bad.bat") + "\n"));
    CHECK(contains(last.output, "exit status 1.\nSummary: 1 file(s) copied (5 B) in "));
    CHECK(contains(last.output, ", 1 left out by the date, 1 failure(s).\nFailures:\n  " +
                                    missingFolder(run, 0) + "\nLog: " + run.records() + "/" +
                                    logs[1] + "\n"));

    const ProgramResult table = runProgram({MINICMD_PATH, "--history"});
    CHECK_EQ(table.exitCode, 0);
    CHECK(table.output.starts_with("Started "));
    CHECK_EQ(count(table.output, "\n"), std::size_t(3));
    CHECK(
        contains(table.output, "      1         5 B         1       1  " + (run.dir / "bad.bat")));
}

TEST_CASE(aRecordThatCannotBeWrittenIsToldOnceAndTheCopyGoesOn)
{
    struct Row
    {
        const char* name;
        const char* told;
    };
    const Row rows[] = {
        {"no runs yet", nullptr},
        {"state folder is a file", "Cannot make the folder for the run log "},
        {"state folder is read-only", "Cannot write the run log in "},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Run run;
        if (row.told && contains(row.name, "file"))
            writeFile(run.state, "not a folder");
        if (row.told && contains(row.name, "read-only")) {
            makeDirectory(run.records());
            ::chmod(run.records().c_str(), 0555);
        }
        if (!row.told) {
            const ProgramResult none = runProgram({MINICMD_PATH, "--last"});
            CHECK_EQ(none.exitCode, 2); // no record is no good news
            CHECK_EQ(none.output, "No backup run is recorded in " + run.records() + ".\n");
            continue;
        }
        ::chmod((run.dir / "src").c_str(), 0755);
        ::chmod(run.dir.path().c_str(), 0777);
        // As root every folder is writable; the run is made as an unprivileged user.
        const ProgramResult result =
            runProgram({MINICMD_PATH, run.script(2)}, Input::DevNull, true);
        CHECK_EQ(result.exitCode, 1);
        CHECK_EQ(count(result.output, "The backup goes on without a record."), std::size_t(1));
        CHECK(contains(result.output, row.told));
        CHECK_EQ(readFile(run.dir / "out/a.txt"), std::string("12345"));
    }
}

TEST_CASE(theLastHundredLogsAreKept)
{
    Run run;
    makeDirectory(run.records());
    for (int i = 0; i < 105; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "20000101-%06d-000.log", i);
        writeFile(run.records() + "/" + name, "old");
    }
    writeFile(run.records() + "/notes.log", "not a run log");
    REQUIRE(logsIn(run.records()).size() == 106);
    CHECK_EQ(run.run(0).exitCode, 0);
    const std::vector<std::string> logs = logsIn(run.records());
    CHECK_EQ(logs.size(), std::size_t(101)); // the hundred newest, and notes.log
    CHECK(std::find(logs.begin(), logs.end(), "notes.log") != logs.end());
    CHECK(std::find(logs.begin(), logs.end(), "20000101-000005-000.log") == logs.end());
    CHECK(std::find(logs.begin(), logs.end(), "20000101-000006-000.log") != logs.end());
}

TEST_CASE(theSummaryNamesTheFailuresUpToFifty)
{
    struct Row
    {
        int failing;
        int listed;
        const char* more;
    };
    const Row rows[] = {
        {0, 0, nullptr}, {2, 2, nullptr}, {53, 50, "  ... and 3 more failure(s)\n"}};
    for (const auto& row : rows) {
        CHECK_CONTEXT(std::to_string(row.failing));
        Run run;
        const ProgramResult result = run.run(row.failing);
        const auto at = result.output.rfind("\nSummary: ");
        REQUIRE(at != std::string::npos);
        const std::string summary = result.output.substr(at + 1);
        CHECK(contains(summary, ", " + std::to_string(row.failing) + " failure(s).\n"));
        CHECK_EQ(contains(summary, "Failures:\n"), row.failing > 0);
        CHECK_EQ(count(summary, "\n  Cannot read folder "), std::size_t(row.listed));
        for (int i = 0; i < row.listed; ++i)
            CHECK(contains(summary, "\n  " + missingFolder(run, i) + "\n"));
        if (row.more)
            CHECK(summary.ends_with(row.more));
    }
}

TEST_CASE(onATerminalARunThatFailedOrWarnsWaitsForEnter)
{
    using std::chrono::milliseconds;
    struct Row
    {
        const char* name;
        int failing;
        bool missingSource; // a source folder not found: a warning
        std::vector<std::string> answers;
        bool asks;
        bool waitsStill; // still waiting when the bound ends
    };
    const Row rows[] = {
        {"failure, Enter pressed", 1, false, {""}, true, false},
        {"failure, nobody there", 1, false, {}, true, true},
        {"warning only, Enter pressed", 0, true, {""}, true, false},
        {"all copied", 0, false, {}, false, false},
    };
    const std::string prompt = "Press Enter to close this window.";
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Run run;
        std::vector<std::string> arguments{MINICMD_PATH, run.script(row.failing)};
        if (row.missingSource)
            arguments.insert(arguments.begin() + 1, {"--missing", run.dir / "unplugged"});
        const ProgramResult result =
            runOnTerminal(arguments, {prompt}, row.answers, milliseconds(3000));
        CHECK_EQ(result.timedOut, row.waitsStill);
        CHECK_EQ(contains(result.output, prompt), row.asks);
        if (!row.waitsStill)
            CHECK_EQ(result.exitCode, row.failing ? 1 : 0);
        // The progress line is drawn on the terminal (with the total and the
        // rate) and never reaches the log.
        CHECK(contains(result.output, "\r\033[K"));
        CHECK(contains(result.output, "[0 file(s), 0 B, "));
        const std::vector<std::string> logs = logsIn(run.records());
        REQUIRE(logs.size() == 1);
        const std::string log = readFile(run.records() + "/" + logs[0]);
        CHECK(!contains(log, "\033") && !contains(log, "file(s), 0 B"));
    }
    // Without a terminal nothing is asked, even when input stays open.
    Run run;
    const ProgramResult result = runProgram({MINICMD_PATH, run.script(1)}, Input::SilentPipe);
    CHECK(!result.timedOut);
    CHECK(!contains(result.output, prompt));
}

TEST_CASE(withoutATerminalADesktopNotificationTellsTheOutcome)
{
    struct Row
    {
        const char* name;
        const char* display;
        bool notifier;
        int failing;
        const char* expected; // first lines of the notifier's arguments; nullptr: not called
    };
    const Row rows[] = {
        {"all copied", ":0", true, 0,
         "--app-name=TarvikBackUp\n--urgency=normal\nBackup finished\nSummary: 1 file(s) "},
        {"failures", ":0", true, 2,
         "--app-name=TarvikBackUp\n--urgency=critical\nBackup finished with 2 failure(s)\n"},
        {"no desktop", nullptr, true, 1, nullptr},
        {"no notify-send", ":0", false, 1, nullptr},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Run run;
        makeDirectory(run.dir / "bin");
        if (row.notifier) {
            writeFile(run.dir / "bin/notify-send",
                      "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + (run.dir / "notified") + "'\n");
            ::chmod((run.dir / "bin/notify-send").c_str(), 0755);
        }
        run.environment.set("PATH", (run.dir / "bin").c_str());
        run.environment.set("DISPLAY", row.display);
        const ProgramResult result = run.run(row.failing);
        CHECK_EQ(result.exitCode, row.failing ? 1 : 0);
        CHECK_EQ(platform::fileExists(run.dir / "notified"), row.expected != nullptr);
        if (!row.expected)
            continue;
        const std::string notified = readFile(run.dir / "notified");
        CHECK(notified.starts_with(row.expected));
        if (row.failing)
            CHECK(contains(notified, "\n  " + missingFolder(run, 1) + "\n"));
        CHECK(contains(notified, "\nLog: " + run.records() + "/"));
    }
}
