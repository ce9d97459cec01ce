// The real interpreter copies only what is true: a file that changes under the
// copy is not called copied, folders keep their privacy, holes stay holes, a
// file read from disk copies as one in memory, and what a killed copy left
// behind goes.

#include "Check.h"
#include "ProgramRun.h"
#include "TestFiles.h"
#include "Trees.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarvik;
using namespace testfiles;

namespace {

const std::time_t kNew = localTime(2026, 12, 6, 9, 30);
const std::time_t kOld = localTime(2026, 12, 1);

struct stat statOf(const std::string& path)
{
    struct stat info
    {};
    ::stat(path.c_str(), &info);
    return info;
}

ProgramResult xcopy(const TempDir& dir, const std::string& arguments)
{
    writeFile(dir / "run.bat", "xcopy " + arguments + "\r\n");
    return runProgram({MINICMD_PATH, dir / "run.bat"});
}

// Appends to `path` each time some process opens or reads it, at most
// `times` times: a user who saves a file just as the backup reads it.
class WriterOnOpen
{
  public:
    WriterOnOpen(const std::string& path, int times)
        : m_fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC)), m_watch(::inotify_init1(IN_CLOEXEC)),
          m_times(times)
    {
        ::inotify_add_watch(m_watch, path.c_str(), IN_OPEN | IN_ACCESS);
        m_thread = std::thread([this] { watch(); });
    }
    ~WriterOnOpen()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_watch);
        ::close(m_fd);
    }

  private:
    void watch()
    {
        int written = 0;
        while (!m_stop && written < m_times) {
            pollfd ready{m_watch, POLLIN, 0};
            if (::poll(&ready, 1, 20) <= 0)
                continue;
            alignas(inotify_event) char events[4096];
            if (::read(m_watch, events, sizeof events) <= 0)
                continue;
            // The size changes with each write, as a save that appends does.
            struct stat info
            {};
            ::fstat(m_fd, &info);
            [[maybe_unused]] const ssize_t put = ::pwrite(m_fd, "+", 1, info.st_size);
            ++written;
        }
    }

    int m_fd;
    int m_watch;
    int m_times;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST_CASE(aFileThatChangesWhileItIsCopiedIsNeverCalledCopied)
{
    struct Row
    {
        const char* name;
        int writes;   // writes made as the file is opened
        int exitCode; // 1: given up
    };
    const Row rows[] = {
        {"changed during the first attempt only", 1, 0},
        {"changed during both attempts", 1000, 1},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir dir;
        // Large enough that the write lands while the copy is under way.
        makeFile(dir / "src/big.bin", std::string(48 << 20, 'b'), kNew);
        makeFile(dir / "out/big.bin", "an older backup", kOld);
        ScopedEnvironment environment;
        environment.set("XDG_STATE_HOME", (dir / "state").c_str());
        ProgramResult result;
        {
            WriterOnOpen writer(dir / "src/big.bin", row.writes);
            result = xcopy(dir, (dir / "src/big.bin") + " " + (dir / "out"));
        }
        CHECK_EQ(result.exitCode, row.exitCode);
        if (row.exitCode == 0) {
            CHECK(readFile(dir / "out/big.bin") == readFile(dir / "src/big.bin"));
            CHECK_EQ(statOf(dir / "out/big.bin").st_mtime, statOf(dir / "src/big.bin").st_mtime);
            CHECK(contains(result.output, "1 File(s) copied"));
            // The bytes counted are those of the attempt that succeeded.
            const std::string history = readFile(dir / "state/tarvikbackup/history.tsv");
            CHECK(contains(history, "\t1\t" + std::to_string(statOf(dir / "out/big.bin").st_size) +
                                        "\t0\t0\t"));
        } else {
            CHECK(contains(result.output, "Cannot copy " + (dir / "src/big.bin") +
                                              ": changed while it was copied\n"));
            CHECK(contains(result.output, "0 File(s) copied"));
            CHECK(readFile(dir / "out/big.bin") == "an older backup");
            CHECK_EQ(modifiedAt(dir / "out/big.bin"), kOld);
        }
        CHECK_EQ(listed(listTree(dir / "out")), listed({"big.bin"}));
    }
}

TEST_CASE(foldersMadeForCopiesAreNoMoreOpenThanTheirSources)
{
    struct Row
    {
        const char* name;
        mode_t root, sub;
        bool made; // the destination was made by MD beforehand
        mode_t expectedRoot, expectedSub;
        mode_t umask = 022;
    };
    const Row rows[] = {
        {"private sub-folder", 0755, 0700, true, 0755, 0700},
        {"group sub-folder", 0755, 0750, true, 0755, 0750},
        {"private root, no MD", 0700, 0755, false, 0700, 0755},
        {"read-only source stays writable by its owner", 0755, 0500, true, 0755, 0700},
        // Open to all, its copies must not be for all to delete.
        {"shared sub-folder stays sticky", 0755, 01777, true, 0755, 01777, 0},
    };
    const mode_t previous = ::umask(022);
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        ::umask(row.umask);
        TempDir dir;
        makeFile(dir / "src/top.txt", "top", kNew);
        makeFile(dir / "src/sub/deeper/f.txt", "f", kNew);
        ::chmod((dir / "src/sub").c_str(), row.sub);
        ::chmod((dir / "src").c_str(), row.root);
        std::string script;
        if (row.made)
            script = "MD " + (dir / "out") + "\r\n";
        writeFile(dir / "run.bat",
                  script + "xcopy " + (dir / "src/*.*") + " " + (dir / "out") + " /S\r\n");
        const ProgramResult result = runProgram({MINICMD_PATH, dir / "run.bat"});
        ::chmod((dir / "src").c_str(), 0755);
        ::chmod((dir / "src/sub").c_str(), 0755);
        CHECK_EQ(result.exitCode, 0);
        CHECK_EQ(statOf(dir / "out").st_mode & 07777, row.expectedRoot);
        CHECK_EQ(statOf(dir / "out/sub").st_mode & 07777, row.expectedSub);
        CHECK_EQ(readFile(dir / "out/sub/deeper/f.txt"), std::string("f"));
    }
    ::umask(previous);
}

TEST_CASE(sparseFilesStaySparse)
{
    struct Row
    {
        const char* name;
        std::vector<std::pair<off_t, std::string>> data; // written at offsets
        off_t size;
    };
    const std::string block(64 << 10, 'd');
    const Row rows[] = {
        {"only a hole", {}, 8 << 20},
        {"data, hole, data", {{0, block}, {5 << 20, block}}, 8 << 20},
        {"hole at the end", {{0, block}}, 8 << 20},
        {"long data between holes", {{4 << 20, std::string(9 << 20, 'd')}}, 24 << 20},
        {"no hole at all", {{0, block}}, 64 << 10},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir dir;
        makeDirectory(dir / "src");
        const int fd = ::open((dir / "src/disk.img").c_str(), O_WRONLY | O_CREAT, 0644);
        for (const auto& [offset, bytes] : row.data)
            REQUIRE(::pwrite(fd, bytes.data(), bytes.size(), offset) == ssize_t(bytes.size()));
        REQUIRE(::ftruncate(fd, row.size) == 0);
        ::close(fd);
        const ProgramResult result = xcopy(dir, (dir / "src/disk.img") + " " + (dir / "out"));
        CHECK_EQ(result.exitCode, 0);
        const struct stat source = statOf(dir / "src/disk.img"),
                          copy = statOf(dir / "out/disk.img");
        CHECK_EQ(copy.st_size, source.st_size);
        // The copy takes no more room than its source (a little slack for
        // how the file system lays out blocks).
        CHECK(copy.st_blocks <= source.st_blocks + 128);
        CHECK(readFile(dir / "out/disk.img") == readFile(dir / "src/disk.img"));
    }
}

TEST_CASE(filesReadFromDiskCopyAsFilesInMemory)
{
    struct Row
    {
        const char* name;
        off_t keptInMemory; // of each source's bytes, the rest let go; -1 all
    };
    const Row rows[] = {
        {"all in memory", -1},
        {"none in memory", 0},
        {"the first page in memory", 4096},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir dir;
        std::vector<std::string> names;
        for (int i = 0; i < 200; ++i) {
            names.push_back("d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".bin");
            // Many pages or few, and one file larger than workers take.
            const std::size_t size = i == 7 ? (3u << 20) : 1 + i * 997 % 70000;
            std::string bytes(size, '\0');
            for (std::size_t at = 0; at < size; ++at)
                bytes[at] = char(at * 131 + i);
            makeFile(dir / "src/" + names.back(), bytes, kNew);
        }
        for (const std::string& name : names) {
            const int fd = ::open((dir / "src/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            REQUIRE(fd >= 0);
            if (row.keptInMemory >= 0) {
                REQUIRE(::fdatasync(fd) == 0);
                ::posix_fadvise(fd, row.keptInMemory, 0, POSIX_FADV_DONTNEED);
            }
            ::close(fd);
        }
        const ProgramResult result = xcopy(dir, (dir / "src/*.*") + " " + (dir / "out") + " /S");
        CHECK_EQ(result.exitCode, 0);
        CHECK(contains(result.output, "200 File(s) copied"));
        for (const std::string& name : names) {
            CHECK_CONTEXT(name);
            CHECK(readFile(dir / "out/" + name) == readFile(dir / "src/" + name));
            CHECK_EQ(modifiedAt(dir / "out/" + name), kNew);
        }
    }
}

TEST_CASE(leftoversOfAKilledCopyGoWithTheNextCopyIntoTheirFolder)
{
    // A process that has ended: its temporary files have no writer any more.
    const pid_t gone = ::fork();
    REQUIRE(gone >= 0);
    if (gone == 0)
        ::_exit(0);
    REQUIRE(::waitpid(gone, nullptr, 0) == gone);
    const std::string dead = ".~minicmd" + std::to_string(gone) + "-0.tmp";
    const std::string alive = ".~minicmd" + std::to_string(::getpid()) + "-3.tmp";

    TempDir dir;
    makeFile(dir / "src/a.txt", "a", kNew);
    makeFile(dir / "src/sub/b.txt", "b", kNew);
    for (const char* folder : {"out/", "out/sub/", "elsewhere/"}) {
        makeFile(dir / folder + dead, "half a copy", kNew);
        makeFile(dir / folder + alive, "a copy in progress", kNew);
        makeFile(dir / folder + ".~minicmd-odd.tmp", "not ours to judge", kNew);
    }
    const ProgramResult result = xcopy(dir, (dir / "src/*.*") + " " + (dir / "out") + " /S");
    CHECK_EQ(result.exitCode, 0);
    CHECK_EQ(listed(listTree(dir / "out")),
             listed({".~minicmd-odd.tmp", alive, "a.txt", "sub/", "sub/.~minicmd-odd.tmp",
                     "sub/" + alive, "sub/b.txt"}));
    // A folder nothing was copied into is not looked at.
    CHECK(platform::fileExists(dir / "elsewhere/" + dead));
}

TEST_CASE(copiesMadeSideBySideAreToldInTheOrderOfTheWalk)
{
    // What becomes of file i of the tree, and what the run says of it.
    struct Row
    {
        int every, at;    // the files i with i % every == at
        const char* said; // "{src}" and "{out}" stand for the file's paths; null: nothing
    };
    const Row rows[] = {
        {7, 3, "Cannot read {src}: Permission denied"},
        {11, 5, "Cannot write {out}: Input/output error"},       // a write of 777 bytes
        {29, 17, "Cannot write {out}: Is a directory"},          // a folder holds its name
        {13, 6, "Cannot read {src}: No such file or directory"}, // a link to nothing
        {5, 1, nullptr},                                         // older than the date
        {9, 4, nullptr},                                         // of another type
        {1, 0, "{src}"},                                         // the rest is copied
    };
    // Two folders of more files than the walk looks at in one batch, then
    // one file a folder: copies overlap across folders too, and folders are
    // listed ahead of their turn.
    constexpr int kPerFolder = 270;
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    makeDirectory(dir / "out");
    ::chmod((dir / "out").c_str(), 0777);
    std::string expected;
    int copied = 0;
    for (int i = 0; i < 3 * kPerFolder; ++i) {
        const Row& row = *std::find_if(std::begin(rows), std::end(rows),
                                       [i](const Row& r) { return i % r.every == r.at; });
        const std::string number = std::to_string(1000 + i % kPerFolder);
        const std::string name = std::string(1, char('a' + i / kPerFolder)) +
                                 (i >= 2 * kPerFolder ? "/s" + number : "") + "/f" + number +
                                 (row.every == 9 ? ".txt" : ".dat");
        // Sizes vary, and one file in the middle is larger than workers take.
        const std::size_t size = i == 61 ? (3u << 20) : row.every == 11 ? 777 : 1 + i * 37 % 900;
        makeFile(dir / "src/" + name, std::string(size, char('A' + i % 26)),
                 row.every == 5 ? kOld : kNew);
        if (row.every == 13) {
            ::unlink((dir / "src/" + name).c_str());
            REQUIRE(::symlink("nothing", (dir / "src/" + name).c_str()) == 0);
        }
        if (row.every == 7)
            ::chmod((dir / "src/" + name).c_str(), 0);
        if (row.every == 29) {
            makeDirectory(dir / "out/" + name);
            ::chmod((dir / "out/" + name.substr(0, 1)).c_str(), 0777);
            ::chmod((dir / "out/" + name.substr(0, name.rfind('/'))).c_str(), 0777);
        }
        // Now and then a sub-folder of the third cannot be opened at all.
        if (i >= 2 * kPerFolder && i % 37 == 0) {
            ::chmod((dir / "src/c/s" + number).c_str(), 0);
            expected +=
                "Cannot read folder " + (dir / "src/c/s" + number) + ": Permission denied\n";
            continue;
        }
        copied += row.every == 1;
        if (!row.said)
            continue;
        std::string said = row.said;
        said.replace(said.find('{'), 5,
                     said.find("{src}") != std::string::npos ? dir / "src/" + name
                                                             : dir / "out/" + name);
        expected += said + "\n";
    }
    expected += std::to_string(copied) + " File(s) copied\n";

    ScopedEnvironment environment;
    environment.set("LD_PRELOAD", FAILING_WRITES_PATH);
    environment.set("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
    environment.set("TARVIK_FAIL_WRITE", "EIO =777");
    // Overlapping copies finish in an order of their own: several runs give
    // them the chance to. The last links its copies as a kernel that will not
    // link a descriptor makes it: through /proc.
    for (int run = 0; run < 3; ++run) {
        CHECK_CONTEXT("run " + std::to_string(run));
        environment.set("TARVIK_REFUSE_DIRECT_LINK", run == 2 ? "1" : nullptr);
        writeFile(dir / "run.bat",
                  "xcopy " + (dir / "src/*.dat") + " " + (dir / "out") + " /S /D:12-3-2026\r\n");
        // As root every file is readable; the copy runs as an unprivileged user.
        const ProgramResult result =
            runProgram({MINICMD_PATH, dir / "run.bat"}, Input::DevNull, true);
        CHECK_EQ(result.exitCode, 1);
        const auto start = result.output.find('\n', result.output.find(">xcopy")) + 1;
        CHECK_EQ(result.output.substr(start, result.output.find("\n\n", start) + 1 - start),
                 expected);
        for (const std::string& entry : listTree(dir / "out"))
            CHECK(!contains(entry, ".~minicmd"));
    }
}
