// The record of a run never passes a backup as good when it is not: hostile
// names forge nothing, interrupted and killed runs show as such, failed
// writes are failures, the record survives bad history files, and every copy
// can be checked later.

#include "Check.h"
#include "ProgramRun.h"
#include "TestFiles.h"
#include "Trees.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sched.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

extern char** environ;

using namespace testfiles;

namespace {

const std::time_t kNew = localTime(2026, 12, 6, 9, 30);

// A test folder with its own state folder for the records, no desktop, and
// a notify-send that writes what it was given to `notified`.
struct Fixture
{
    TempDir dir;
    ScopedEnvironment environment;
    Fixture()
    {
        environment.set("XDG_STATE_HOME", (dir / "state").c_str());
        makeDirectory(dir / "bin");
        writeFile(dir / "bin/notify-send",
                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + (dir / "notified") + "'\n");
        ::chmod((dir / "bin/notify-send").c_str(), 0755);
        environment.hermetic(dir / "bin");
        environment.set("DISPLAY", ":0");
    }
    std::string records() const { return dir / "state/tarvikbackup"; }
    std::string history() const { return records() + "/history.tsv"; }
    // The last run's record whose name ends in `suffix`.
    std::string record(const char* suffix) const
    {
        std::string text;
        for (const std::string& entry : listTree(records()))
            if (entry.ends_with(suffix))
                text = readFile(records() + "/" + entry);
        return text;
    }
    std::string script(const std::string& lines) const
    {
        writeFile(dir / "run.bat", lines);
        return dir / "run.bat";
    }
    std::string copyAll() const
    {
        return "xcopy " + (dir / "src") + "/*.* " + (dir / "out") + " /S\r\n";
    }
    ProgramResult run(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> all{MINICMD_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runProgram(all);
    }
};

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

bool exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

// No line of `text` holds a control character, and none starts as the forged one.
void checkNothingRaw(const std::string& where, const std::string& text)
{
    CHECK_CONTEXT(where);
    for (const unsigned char c : text)
        CHECK(c >= 0x20 || c == '\n');
    CHECK(!contains(text, "\xc2\x9b"));
    CHECK(!contains("\n" + text, "\nSummary: 999"));
}

// Every file with its final name in `out` is whole: what its source holds.
// (A run killed outright leaves its temporary file; the next run removes it.)
void checkCopiesWhole(const Fixture& fixture)
{
    for (const std::string& entry : listTree(fixture.dir / "out")) {
        CHECK_CONTEXT(entry);
        if (!entry.ends_with("/") && !contains("/" + entry, "/.~minicmd"))
            CHECK(readFile(fixture.dir / ("out/" + entry)) ==
                  readFile(fixture.dir / ("src/" + entry)));
    }
}

} // namespace

TEST_CASE(hostileNamesAreEscapedInEveryOutput)
{
    struct Row
    {
        const char* name;
        const char* shown; // as every output shows it
    };
    const Row rows[] = {
        {"evil\nSummary: 999 file(s) copied (9.9 GiB) in 0.1 s, 0 left out by the date, 0 "
         "failure(s).",
         "evil\\nSummary: 999"},
        {"title\x1b]0;owned\x07\x1b[2J", "title\\x1b]0;owned\\x07\\x1b[2J"},
        {"<b>bold<i> & <a href='x'>", "&lt;b&gt;bold&lt;i&gt; &amp; &lt;a href='x'&gt;"},
        {"c1\xc2\x9b"
         "2J and \xff\xfe",
         "c1\\u009b2J and \\xff\\xfe"},
        {"tab\there\rcr", "tab\\there\\rcr"},
    };
    Fixture fixture;
    for (const auto& row : rows) {
        // Each name is copied once, and fails once: a folder stands where its copy goes.
        makeFile(fixture.dir / ("src/ok/" + std::string(row.name)), "content", kNew);
        makeFile(fixture.dir / ("src/bad/" + std::string(row.name)), "content", kNew);
        makeDirectory(fixture.dir / ("out/bad/" + std::string(row.name)));
    }
    const ProgramResult run = fixture.run({fixture.script(fixture.copyAll())});
    CHECK_EQ(run.exitCode, 1);
    const ProgramResult last = fixture.run({"--last"});
    CHECK_EQ(last.exitCode, 1);
    const ProgramResult history = fixture.run({"--history"});
    const std::string log = fixture.record(".log");
    const std::string notified = readFile(fixture.dir / "notified");
    const std::pair<const char*, std::string> outputs[] = {{"terminal", run.output},
                                                           {"log", log},
                                                           {"--last", last.output},
                                                           {"--history", history.output},
                                                           {"notification", notified}};
    for (const auto& [where, text] : outputs)
        checkNothingRaw(where, text);
    CHECK(contains(notified, "--urgency=critical\n"));
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.shown);
        const bool markup = contains(row.name, "<");
        for (const auto& [where, text] : outputs) {
            if (std::string(where) == "--history")
                continue; // names no file
            const bool escaped = std::string(where) == "notification";
            CHECK(contains(text, escaped || !markup ? row.shown : row.name));
        }
        CHECK(!contains(notified, "<b>"));
    }
}

TEST_CASE(interruptedAndKilledRunsAreNeverTakenForGood)
{
    struct Row
    {
        int signal;
        const char* told; // by --last; nullptr: the process had no say
    };
    const Row rows[] = {
        {SIGTERM, "interrupted by SIGTERM"},
        {SIGINT, "interrupted by SIGINT"},
        {SIGHUP, "interrupted by SIGHUP"},
        {SIGKILL, nullptr},
    };
    std::mt19937 random(std::random_device{}());
    for (const auto& row : rows) {
        CHECK_CONTEXT(strsignal(row.signal));
        Fixture fixture;
        // A good run first: it must never stand in for the one interrupted.
        makeFile(fixture.dir / "src/first.txt", "first", kNew);
        REQUIRE(fixture.run({fixture.script(fixture.copyAll())}).exitCode == 0);
        for (int i = 0; i < 400; ++i)
            makeFile(fixture.dir / ("src/d" + std::to_string(i % 20) + "/f" + std::to_string(i)),
                     std::string(std::size_t(1) << (i % 18), 'x'), kNew);
        std::string lines;
        for (int i = 0; i < 50; ++i)
            lines += fixture.copyAll();
        const std::string script = fixture.script(lines);
        const std::string program = MINICMD_PATH;
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(script.c_str()),
                        nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t child = -1;
        REQUIRE(posix_spawn(&child, argv[0], &actions, nullptr, argv, environ) == 0);
        posix_spawn_file_actions_destroy(&actions);
        // Stopped once its start is recorded, at a random point of the copy.
        REQUIRE(waitUntil([&] { return count(readFile(fixture.history()), "running") == 2; }));
        usleep(std::uniform_int_distribution<useconds_t>(0, 40'000)(random));
        ::kill(child, SIGSTOP);
        const bool ended = contains(readFile(fixture.history()), "interrupted") ||
                           count(readFile(fixture.history()), "\tfinished\t") == 2;
        REQUIRE(!ended); // the run is long enough to be cut short
        ::kill(child, row.signal);
        ::kill(child, SIGCONT);
        int status = 0;
        ::waitpid(child, &status, 0);
        CHECK(WIFSIGNALED(status) && WTERMSIG(status) == row.signal);

        const ProgramResult last = fixture.run({"--last"});
        CHECK_EQ(last.exitCode, 2);
        CHECK(contains(last.output, row.told ? row.told : "did not finish"));
        CHECK(!contains(last.output, "exit status 0"));
        const ProgramResult history = fixture.run({"--history"});
        CHECK(contains(history.output, row.told ? row.told : "did not finish"));
        // The first run's notification is replaced by the interrupted one's, if any.
        const std::string notified = readFile(fixture.dir / "notified");
        CHECK_EQ(contains(notified, "--urgency=critical\nBackup interrupted by SIG"),
                 row.told != nullptr);
        checkCopiesWhole(fixture);
        // A run that had its say removed its unfinished copies, a worker's too.
        if (row.told)
            for (const std::string& entry : listTree(fixture.dir / "out"))
                CHECK(!contains("/" + entry, "/.~minicmd"));
    }
}

TEST_CASE(aFailedWriteIsAFailureAndLeavesNoPartialCopy)
{
    struct Row
    {
        const char* plan; // which write of a copy fails, and how
        const char* said;
        std::size_t size; // of the file whose copy fails
    };
    const Row rows[] = {
        {"ENOSPC 1", "No space left on device", 3 << 20},
        {"EIO 3", "Input/output error", 3 << 20},
        // Large enough for the kernel to copy it.
        {"ENOSPC 2", "No space left on device", 20 << 20},
        {"EIO 3", "Input/output error", 20 << 20},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.plan);
        Fixture fixture;
        makeFile(fixture.dir / "src/big.bin", std::string(row.size, 'b'), kNew);
        makeFile(fixture.dir / "src/small.txt", "small", kNew);
        fixture.environment.set("LD_PRELOAD", FAILING_WRITES_PATH);
        fixture.environment.set("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
        fixture.environment.set("TARVIK_FAIL_WRITE", row.plan);
        const ProgramResult run = fixture.run({fixture.script(fixture.copyAll())});
        fixture.environment.set("LD_PRELOAD", nullptr);
        CHECK_EQ(run.exitCode, 1);
        CHECK(contains(run.output,
                       "Cannot write " + (fixture.dir / "out/big.bin") + ": " + row.said));
        // Neither the failed copy nor its temporary file is left.
        CHECK_EQ(listed(listTree(fixture.dir / "out")), listed({"small.txt"}));
        const ProgramResult last = fixture.run({"--last"});
        CHECK_EQ(last.exitCode, 1);
        CHECK(contains(last.output, ", 1 failure(s).\n"));
    }
}

namespace {

// Runs the script in `dir` with the temporary folder a tmpfs of 128 KiB, in
// a mount namespace of its own; "skipped" when that cannot be had.
std::string runWithSmallTemporaryDisk(const std::string& dir)
{
    const std::string tiny = dir + "/tiny", name = dir.substr(dir.rfind('/'));
    if (dir.substr(0, dir.rfind('/')) != "/tmp" || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return "skipped";
    makeDirectory(tiny);
    if (::mount("tmpfs", tiny.c_str(), "tmpfs", 0, "size=128k") != 0)
        return "skipped";
    makeDirectory(tiny + name);
    if (::mount(dir.c_str(), (tiny + name).c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(tiny.c_str(), "/tmp", nullptr, MS_BIND | MS_REC, nullptr) != 0)
        return "skipped";
    const ProgramResult run = runProgram({MINICMD_PATH, dir + "/run.bat"});
    return std::to_string(run.exitCode) + "\n" + run.output;
}

} // namespace

// A line that shares its walk with the one before keeps what it says for its
// turn, mostly in an unnamed file; when that file's disk fills, memory keeps
// the rest, and every copy is still counted and listed.
TEST_CASE(aLineKeepsEveryCopyToTellWhenItsTemporaryFileFails)
{
    Fixture fixture;
    constexpr int kFiles = 3000;
    for (int file = 0; file < kFiles; ++file)
        makeFile(fixture.dir / "src/f" + std::to_string(file) + ".txt", "x", kNew);
    fixture.script("xcopy " + (fixture.dir / "src") + "/*.doc " + (fixture.dir / "out") +
                   " /S\r\nxcopy " + (fixture.dir / "src") + "/*.txt " + (fixture.dir / "out") +
                   " /S\r\n");
    const std::string run = inChild(runWithSmallTemporaryDisk, fixture.dir.path(), false);
    if (run == "skipped") {
        std::puts("skipped: needs root for a mount namespace");
        return;
    }
    CHECK(run.starts_with("0\n"));
    CHECK(contains(run, "\n3000 File(s) copied\n"));
    CHECK(contains(run, "Summary: 3000 file(s) copied"));
    CHECK_EQ(count(fixture.record(".copies"), "\n"), std::size_t(kFiles));
}

TEST_CASE(verifyNamesEveryCopyThatIsNotAsCopied)
{
    struct Row
    {
        const char* name;
        void (*spoil)(const std::string& copy);
        const char* said; // nullptr: intact
    };
    const Row rows[] = {
        {"intact", [](const std::string&) {}, nullptr},
        {"missing", [](const std::string& copy) { ::unlink(copy.c_str()); }, ": missing\n"},
        {"shorter", [](const std::string& copy) { (void)::truncate(copy.c_str(), 3); },
         ": shorter than copied (3 of 7 bytes)\n"},
        {"touched", [](const std::string& copy) { ::utime(copy.c_str(), nullptr); },
         ": changed in time\n"},
        {"bytes changed, time put back",
         [](const std::string& copy) {
             struct stat before
             {};
             ::stat(copy.c_str(), &before);
             writeFile(copy, "CONTENT");
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, copy.c_str(), times, 0);
         },
         ": changed in content\n"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Fixture fixture;
        makeFile(fixture.dir / "src/a.txt", "content", kNew);
        makeFile(fixture.dir / "src/sub/b.txt", "content", kNew);
        makeFile(fixture.dir / "src/empty.txt", "", kNew);
        // Copied by the kernel in steps and hashed as each lands, read back
        // in pieces of which the last is partly filled.
        std::string large((72 << 20) + 12345, '\0');
        for (std::size_t at = 0; at < large.size(); ++at)
            large[at] = static_cast<char>(at * 7 + at / 4099);
        makeFile(fixture.dir / "src/large.bin", large, kNew);
        REQUIRE(fixture.run({fixture.script(fixture.copyAll())}).exitCode == 0);
        // The digest is XXH3's with 128 bits however this processor computes
        // it, so that copies recorded by any earlier run still verify.
        CHECK(contains(fixture.record(".copies"),
                       "11ca681d696c5b5b4e8c6bc0c56f5fcc\t" + std::to_string(large.size()) + "\t"));
        // The backup alone is read: the sources may be gone.
        std::filesystem::remove_all(fixture.dir / "src");
        row.spoil(fixture.dir / "out/sub/b.txt");
        const ProgramResult verified = fixture.run({"--verify"});
        CHECK_EQ(verified.exitCode, row.said ? 1 : 0);
        if (row.said)
            CHECK_EQ(verified.output.substr(0, verified.output.find('\n') + 1),
                     (fixture.dir / "out/sub/b.txt") + row.said);
        else
            CHECK(verified.output.starts_with("Verified: all 4 copies are intact"));
    }
}

// A list of copies proves only the copies it names: one that lacks some of
// the run's (its disk filled, the run was killed) is not "all intact".
TEST_CASE(verifySaysWhenTheListLacksCopiesOfTheRun)
{
    struct Row
    {
        const char* name;
        const char* dropped; // the lines of this record file that go
        const char* record;
        const char* said;
    };
    const Row rows[] = {
        {"the list lost a line", "/out/b.txt", ".copies",
         "The list names 1 of the 2 copies the run made; 1 cannot be checked.\n"},
        {"the run's end was never recorded", "\tfinished\t", "history.tsv",
         "The run did not finish: copies it made after the last one listed cannot be "
         "checked.\n"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Fixture fixture;
        makeFile(fixture.dir / "src/a.txt", "a", kNew);
        makeFile(fixture.dir / "src/b.txt", "b", kNew);
        REQUIRE(fixture.run({fixture.script(fixture.copyAll())}).exitCode == 0);
        std::string path;
        for (const std::string& entry : listTree(fixture.records()))
            if (entry.ends_with(row.record))
                path = fixture.records() + "/" + entry;
        std::string kept;
        const std::string text = readFile(path);
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos;
             at = end + 1)
            if (!contains(text.substr(at, end - at), row.dropped))
                kept += text.substr(at, end + 1 - at);
        REQUIRE(kept != text);
        writeFile(path, kept);
        const ProgramResult verified = fixture.run({"--verify"});
        CHECK_EQ(verified.exitCode, 1);
        CHECK(contains(verified.output, " copies are intact (list "));
        CHECK(verified.output.ends_with(row.said));
    }
}

// The walk copies as deep as a tree goes; --verify reads a copy whose path is
// longer than the system takes in one call one folder at a time.
TEST_CASE(verifyReadsCopiesDeeperThanOnePathCanName)
{
    Fixture fixture;
    makeDirectory(fixture.dir / "src");
    const std::string level(200, 'd');
    int folder = ::open((fixture.dir / "src").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int depth = 0; depth < 25 && folder >= 0; ++depth) {
        ::mkdirat(folder, level.c_str(), 0755);
        const int next = ::openat(folder, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    const int file = ::openat(folder, "deep.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    REQUIRE(file >= 0 && ::write(file, "deep", 4) == 4);
    ::close(file);
    ::close(folder);
    REQUIRE(fixture.run({fixture.script(fixture.copyAll())}).exitCode == 0);
    const ProgramResult verified = fixture.run({"--verify"});
    // Deeper than the temporary folder's own removal goes.
    runProgram({"/bin/rm", "-rf", fixture.dir / "src", fixture.dir / "out"});
    CHECK_EQ(verified.exitCode, 0);
    CHECK(verified.output.starts_with("Verified: all 1 copies are intact"));
}

// A run that could not write its line (its history unwritable, or killed at
// its start) still leaves its log: --last does not pass the run before it off
// as the last word.
TEST_CASE(lastDoesNotVouchForARunWhenALaterOneLeftNoLine)
{
    for (const bool later : {false, true}) {
        CHECK_CONTEXT(later ? "a later log" : "none");
        Fixture fixture;
        makeFile(fixture.dir / "src/a.txt", "a", kNew);
        REQUIRE(fixture.run({fixture.script(fixture.copyAll())}).exitCode == 0);
        if (later)
            writeFile(fixture.records() + "/99991231-235959-999.log", "Run of x\n");
        const ProgramResult last = fixture.run({"--last"});
        CHECK_EQ(last.exitCode, later ? 2 : 0);
        CHECK_EQ(contains(last.output, "A later run left no line in the history; it may have "
                                       "failed. Its log: " +
                                           fixture.records() + "/99991231-235959-999.log\n"),
                 later);
    }
}

TEST_CASE(aBadHistoryFileNeverStopsARunNorLies)
{
    struct Row
    {
        const char* name;
        void (*prepare)(const Fixture& fixture);
        bool recorded; // the run's own lines are in the history
    };
    const Row rows[] = {
        {"a line cut by a full disk",
         [](const Fixture& f) {
             writeFile(f.history(), "2026-12-01 10:00:00\t2026-12-01 10:00:01\t/x.bat\t1992\t9");
         },
         true},
        {"a FIFO", [](const Fixture& f) { ::mkfifo(f.history().c_str(), 0600); }, false},
        {"a link to another file",
         [](const Fixture& f) {
             writeFile(f.dir / "elsewhere", "untouched");
             ::symlink((f.dir / "elsewhere").c_str(), f.history().c_str());
         },
         false},
        {"4 GiB of history before the last run",
         [](const Fixture& f) {
             writeFile(f.history(), "");
             (void)::truncate(f.history().c_str(), off_t(4) << 30);
             const int fd = ::open(f.history().c_str(), O_WRONLY | O_APPEND);
             (void)::write(fd, "\n", 1);
             ::close(fd);
         },
         true},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Fixture fixture;
        makeDirectory(fixture.records());
        row.prepare(fixture);
        makeFile(fixture.dir / "src/a.txt", "12345", kNew);
        const ProgramResult run = fixture.run({fixture.script(fixture.copyAll())});
        CHECK(!run.timedOut);
        CHECK_EQ(run.exitCode, 0);
        CHECK_EQ(count(run.output, "The backup goes on without a record."),
                 std::size_t(row.recorded ? 0 : 1));
        const ProgramResult last =
            runProgram({MINICMD_PATH, "--last"}, Input::DevNull, false, std::chrono::seconds(20));
        CHECK(!last.timedOut);
        CHECK_EQ(last.exitCode, row.recorded ? 0 : 2);
        if (row.recorded)
            CHECK(contains(last.output, "Summary: 1 file(s) copied (5 B) in "));
        CHECK(!contains(last.output, "1992"));
        if (exists(fixture.dir / "elsewhere"))
            CHECK_EQ(readFile(fixture.dir / "elsewhere"), std::string("untouched"));
    }
}

TEST_CASE(theRecordKeepsItsBounds)
{
    Fixture fixture;
    makeDirectory(fixture.records());
    // 1,500 old runs with long script names, and three logs of 30 MB.
    const std::string script = "/" + std::string(800, 's') + ".bat";
    std::string old = "# start\tend\tscript\tfiles copied\tbytes\tfailures\texit status\tlog\n";
    for (int i = 0; i < 1500; ++i)
        old += "2026-01-01 00:00:00\t2026-01-01 00:00:01\t" + script + "\t" + std::to_string(i) +
               "\t0\t0\t0\t\n";
    writeFile(fixture.history(), old);
    for (const char* log :
         {"20000101-000000-000.log", "20000102-000000-000.log", "20000103-000000-000.copies"}) {
        writeFile(fixture.records() + "/" + log, "x");
        (void)::truncate((fixture.records() + "/" + log).c_str(), 30 << 20);
    }
    makeFile(fixture.dir / "src/a.txt", "12345", kNew);
    REQUIRE(fixture.run({fixture.script(fixture.copyAll())}).exitCode == 0);
    const std::string history = readFile(fixture.history());
    CHECK_EQ(count(history, script), std::size_t(999)); // with this run, 1,000
    CHECK(contains(history, "\t1499\t") && !contains(history, "\t500\t"));
    // The two oldest went; the newest old one fits under the bound with this run's.
    CHECK(!exists(fixture.records() + "/20000101-000000-000.log"));
    CHECK(!exists(fixture.records() + "/20000102-000000-000.log"));
    CHECK(exists(fixture.records() + "/20000103-000000-000.copies"));
}

TEST_CASE(foldersLeftOutAndGapsInCoverageAreNamed)
{
    struct Row
    {
        const char* name;
        std::vector<std::string> missing;
        const char* since; // the second run's date
        int exitCode;
        std::vector<std::string> said; // in the summary, --last and the notification
    };
    const Row rows[] = {
        {"one folder not found",
         {"/gone/drive"},
         "1-1-2000",
         0,
         {"Folder not found, not backed up: /gone/drive"}},
        {"no folder found",
         {"/gone/a", "/gone/b"},
         nullptr,
         1,
         {"Folder not found, not backed up: /gone/b",
          "Nothing was backed up: none of the source folders exists."}},
        {"a file type matching nothing",
         {},
         "1-1-2000",
         0,
         {"No file matched doc in any source folder."}},
        {"a date after the last run",
         {},
         "1-1-2099",
         0,
         {"Not in any backup: files changed between ",
          " and 2099-01-01 00:00:00; to include them, run once with Changes From "}},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        Fixture fixture;
        makeFile(fixture.dir / "src/a.txt", "12345", kNew);
        REQUIRE(fixture.run({fixture.script(fixture.copyAll())}).exitCode == 0);
        std::vector<std::string> arguments;
        for (const std::string& folder : row.missing)
            arguments.insert(arguments.end(), {"--missing", folder});
        std::string lines;
        if (row.since)
            lines = "xcopy " + (fixture.dir / "src") + "/*.* " + (fixture.dir / "out") +
                    " /S /D:" + row.since + "\r\nxcopy " + (fixture.dir / "src/doc") + " " +
                    (fixture.dir / "out") + "\r\n";
        arguments.push_back(fixture.script(lines));
        const ProgramResult run = fixture.run(arguments);
        CHECK_EQ(run.exitCode, row.exitCode);
        const std::string summary = run.output.substr(run.output.rfind("\nSummary: "));
        const ProgramResult last = fixture.run({"--last"});
        CHECK_EQ(last.exitCode, row.exitCode);
        const std::string notified = readFile(fixture.dir / "notified");
        CHECK(contains(notified, row.exitCode ? "--urgency=critical" : "--urgency=normal"));
        for (const std::string& text : row.said) {
            CHECK(contains(summary, text));
            CHECK(contains(last.output, text));
            CHECK(contains(notified, text));
        }
        const bool gap = std::string(row.name).starts_with("a date");
        CHECK_EQ(contains(run.output, "Not in any backup"), gap);
    }
}

TEST_CASE(runsEndingTogetherBothKeepTheirCoverage)
{
    Fixture fixture;
    makeFile(fixture.dir / "src/a.txt", "12345", kNew);
    makeDirectory(fixture.records());
    const std::string sources = fixture.records() + "/sources.tsv";
    // Another run, recording what it covered, holds the record folder.
    const int other = ::open(fixture.records().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    REQUIRE(::flock(other, LOCK_EX) == 0);
    const std::string script = fixture.script(fixture.copyAll());
    std::thread run([&] { fixture.run({script}); });
    REQUIRE(waitUntil([&] { return exists(fixture.history()); }));
    CHECK(!waitUntil([&] { return exists(sources); }, std::chrono::milliseconds(300)));
    writeFile(sources, "946684800\t/other/folder\n");
    ::close(other);
    run.join();
    const std::string covered = readFile(sources);
    CHECK(contains(covered, "\t/other/folder\n"));
    CHECK(contains(covered, "\t" + (fixture.dir / "src") + "\n"));
}

TEST_CASE(aHistoryLineIsWrittenWholeOrNotAtAll)
{
    Fixture fixture;
    makeDirectory(fixture.records());
    // The disk takes only ten more bytes of the history: neither line fits.
    std::string before = "# start\tend\tscript\tfiles copied\tbytes\tfailures\texit status\tlog\n";
    while (before.size() < 4096 - 10)
        before += "2026-01-01 00:00:00\t2026-01-01 00:00:01\t/old.bat\t1\t0\t0\t0\t\n";
    before.resize(4096 - 10);
    before.back() = '\n';
    writeFile(fixture.history(), before);
    makeFile(fixture.dir / "src/a.txt", "12345", kNew);
    const ProgramResult run =
        runProgram({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$1\"", MINICMD_PATH,
                    fixture.script(fixture.copyAll())});
    CHECK_EQ(run.exitCode, 0);
    CHECK(contains(run.output, "Cannot write the run history "));
    CHECK_EQ(count(run.output, "The backup goes on without a record."), std::size_t(1));
    CHECK(readFile(fixture.history()) == before);
    CHECK_EQ(readFile(fixture.dir / "out/a.txt"), std::string("12345"));
}
