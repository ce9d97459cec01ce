// The interpreter's copy against the system's tools, each as the median of
// the ratios of interleaved rounds after one that is not counted, with `sync`
// before every command. A round's commands run seconds apart, so its ratios
// hold still while the shared disk moves between fast and slow spells that a
// ratio of two medians would feel whenever the spells split unevenly; the
// comparisons take turns round by round, so that no spell covers all the
// rounds of one:
//   full copy:   20,000 files of 4 KiB in 1,000 folders plus 8 files of
//                16 MiB, "xcopy src\*.* dst /S" against cp -r and rsync -a;
//                data on disk (final sync timed). Target at most 1.10.
//   incremental: the same tree with 1% changed today, "/S /D:<today>" against
//                find -newermt + cp --parents; final sync timed. Target 1.10.
//   small files: 10,000 files of 4 KiB in 100 folders against cp -r, warm
//                cache: without the final sync (target at most 0.75) and with
//                it timed (target at most 1.0); and, without a target, with
//                their content let go of by the cache before each command.
//   large file:  one 1 GiB file against cp, without and with the final sync
//                timed. Target at most 1.0 both.
//   daily run:   the program's script, one "/S /D:<today>" line for each of 8
//                file types, over 40,000 files of which 1 in 97 changed today,
//                against one find walk naming the 8 types + cp --parents of its
//                picks; warm cache, no final sync. Target at most 1.0.
//   memory:      peak resident size of a copy of 100,000 files against cp's.
//                Target at most 32 MB.
// Usage: MinicmdBench MINICMD [WORK_FOLDER]; the work folder holds up to
// about 5 GiB while the bench runs. A run that follows another within six
// minutes first waits for the other's deleted files to be out of the way.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The file types of the daily run, one xcopy line each in the program's script.
const char* const kTypes[] = {"doc", "xls", "ppt", "pdf", "txt", "jpg", "png", "dat"};

// Full copies write 210 MiB each; incremental runs are cheap, so they get
// more rounds against the noise of a shared machine.
constexpr int kFullRounds = 5;
constexpr int kIncrementalRounds = 9;
constexpr int kSmallRounds = 7;
// A gigabyte's time on disk swings by half from round to round on a shared
// virtual disk; more rounds keep the median still.
constexpr int kLargeRounds = 9;

// Whether a command's time runs until its data is on disk.
enum class Until
{
    Returned,
    OnDisk
};

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// Seconds from the start of `command` until it returned or its data is on
// disk. Other commands' dirty pages are put on disk before, untimed.
double timed(const std::string& command, Until until)
{
    run("sync");
    const auto start = Clock::now();
    run(command);
    if (until == Until::OnDisk)
        run("sync");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (until == Until::Returned)
        run("sync");
    return seconds;
}

// Peak resident size of `command` (run by the shell with exec), in MiB.
double peakMebibytes(const std::string& command)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void stamp(const fs::path& file, std::time_t when)
{
    const timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

// `folders` folders (nested three deep when `nested`) of `perFolder` files
// of `size` bytes each, typed in turn by kTypes, stamped ten days ago; every
// `changedEvery`-th file is stamped now. Returns the files stamped now.
std::vector<fs::path> makeFiles(const fs::path& source, int folders, int perFolder,
                                std::size_t size, std::size_t changedEvery, bool nested)
{
    std::mt19937 random(42);
    std::vector<char> content(size);
    const std::time_t old = std::time(nullptr) - 10 * 24 * 3600, now = std::time(nullptr);
    std::vector<fs::path> touched;
    std::size_t count = 0;
    for (int index = 0; index < folders; ++index) {
        const fs::path folder = nested ? source / ("a" + std::to_string(index / 100)) /
                                             ("b" + std::to_string(index / 10 % 10)) /
                                             ("c" + std::to_string(index % 10))
                                       : source / ("f" + std::to_string(index));
        fs::create_directories(folder);
        for (int f = 0; f < perFolder; ++f) {
            for (auto& byte : content)
                byte = static_cast<char>(random());
            const fs::path file = folder / ("file" + std::to_string(f) + "." + kTypes[f % 8]);
            std::ofstream(file, std::ios::binary).write(content.data(), content.size());
            const bool changed = changedEvery && count++ % changedEvery == 0;
            stamp(file, changed ? now : old);
            if (changed)
                touched.push_back(file);
        }
    }
    return touched;
}

// The main tree: 1,000 nested folders of 20 small files, 1% changed today,
// plus 8 big files at the top.
std::vector<fs::path> makeTree(const fs::path& source)
{
    std::vector<fs::path> touched = makeFiles(source, 1000, 20, 4096, 100, true);
    std::mt19937 random(7);
    std::vector<char> big(16 << 20);
    for (auto& byte : big)
        byte = static_cast<char>(random());
    for (int i = 0; i < 8; ++i) {
        const fs::path file = source / ("big" + std::to_string(i) + ".bin");
        big[0] = static_cast<char>(i);
        std::ofstream(file, std::ios::binary).write(big.data(), big.size());
        stamp(file, std::time(nullptr) - 10 * 24 * 3600);
    }
    return touched;
}

std::size_t countFiles(const fs::path& root)
{
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

// Lets the machine's cache go of the content of every file under `tree`, as
// a machine's cache turns over in use; the files' names and attributes stay
// in memory.
void letGoOfContent(const fs::path& tree)
{
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        if (!entry.is_regular_file())
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

// Trees and copies of many files are set aside in the work folder, not
// deleted, until the bench ends. A file system without a journal (ext4 on
// many virtual machines) will not reuse an inode freed in the last minute,
// and every file made after the deletion of thousands of others pays for
// skipping each of them: after a round of 20,000 files, several times the
// cost of the copy itself, growing round by round.
// Their cached pages are let go, as a machine's cache turns over in use. Kept,
// they would push each later copy into memory the machine has not used yet,
// which a virtual machine's host may hand over only page by page as it is
// first touched: here a gigabyte copied into such memory took 2 s instead of
// 0.2, and whichever contender came first after other rows paid it.
void setAside(const fs::path& tree)
{
    static int count = 0;
    if (!fs::exists(tree))
        return;
    const fs::path aside = tree.parent_path() / "aside" / std::to_string(count++);
    fs::create_directories(aside.parent_path());
    fs::rename(tree, aside);
    run("sync");
    letGoOfContent(aside);
}

// Where the time the work folder was last deleted is kept.
fs::path deletionStamp(const fs::path& work)
{
    return work.string() + ".deleted";
}

// Deletes the work folder and notes when. The hundreds of thousands of files
// a run leaves stay in the way of the next: ext4 without a journal does not
// reuse an inode freed in the last minute (six, while its table block has
// changes not yet written), and each file made meanwhile pays for skipping
// every one of them in its group, several times the cost of the copy itself.
void deleteWork(const fs::path& work)
{
    if (!fs::exists(work))
        return;
    fs::remove_all(work);
    run("sync");
    std::ofstream{deletionStamp(work)};
}

// Waits until the last deletion of the work folder no longer slows the making
// of files, so that a run started right after another times its copies, not
// the other's deletion.
void waitForDeletedFiles(const fs::path& work)
{
    constexpr auto kInodesHeld = std::chrono::seconds(6 * 60 + 10);
    std::error_code error;
    const auto deleted = fs::last_write_time(deletionStamp(work), error);
    if (error)
        return;
    const auto age = fs::file_time_type::clock::now() - deleted;
    if (age >= kInodesHeld)
        return;
    const auto wait = std::chrono::ceil<std::chrono::seconds>(kInodesHeld - age);
    std::printf("Waiting %lld s until the files of the last run, deleted %lld s ago, no longer "
                "slow the making of new ones.\n",
                static_cast<long long>(wait.count()),
                static_cast<long long>(std::chrono::floor<std::chrono::seconds>(age).count()));
    std::fflush(stdout);
    std::this_thread::sleep_for(wait);
}

struct Contender
{
    const char* name;
    std::string command;
    std::vector<double> times = {};
    double median = 0;
};

// One comparison the bench reports: its contenders, what a copy must hold,
// how many rounds it counts and whether a time runs until the data is on disk.
struct Row
{
    std::string heading; // printed above the row's report, when not empty
    std::string what;
    std::vector<Contender> contenders;
    std::size_t expectedFiles;
    int rounds;
    Until until;
    double target; // none when 0
    // A tree whose content the cache lets go of before each command, if any.
    fs::path uncached = {};
};

// Where the last copy of a single file waits for the next round of its row.
fs::path heldCopy(const fs::path& destination)
{
    return destination.parent_path() / "held";
}

// Makes way for the next copy: a copy of many files is set aside, a copy of
// a single file deleted, with the one held from the last round. A gigabyte a
// round is too much to keep, and one inode is nothing to skip.
void clear(const fs::path& destination, std::size_t copiedFiles)
{
    if (copiedFiles > 1) {
        setAside(destination);
    } else {
        fs::remove_all(destination);
        fs::remove_all(heldCopy(destination));
    }
}

// One round of `row`: each contender copies into a fresh destination, the
// one going first taking turns from round to round, so that a stall of the
// machine that follows a round (the disk catching up, freed memory coming
// back) does not always fall on the same one. Round -1 is not counted: the
// first touch of a tree and of memory the machine has not used for a while is
// nobody's time. The round leaves no copy in the destination for the next row
// to clear. The last copy of a single file is held until the row's next
// round, so that every contender there, first or not, copies into the memory
// a gigabyte's deletion has just freed: memory freed a while ago may have gone
// back to a virtual machine's host, to be handed over again page by page, at
// up to 2 s a gigabyte here, on whichever contender came first.
void raceRound(Row& row, int round, const fs::path& destination)
{
    std::vector<Contender>& contenders = row.contenders;
    for (std::size_t turn = 0; turn < contenders.size(); ++turn) {
        Contender& contender = contenders[(round + 1 + turn) % contenders.size()];
        clear(destination, row.expectedFiles);
        if (!row.uncached.empty())
            letGoOfContent(row.uncached);
        const double seconds = timed(contender.command, row.until);
        if (round >= 0)
            contender.times.push_back(seconds);
        const std::size_t copied = countFiles(destination);
        if (copied != row.expectedFiles) {
            std::fprintf(stderr, "%s copied %zu files, expected %zu\n", contender.name, copied,
                         row.expectedFiles);
            std::exit(1);
        }
    }
    if (row.expectedFiles > 1)
        setAside(destination);
    else
        fs::rename(destination, heldCopy(destination));
}

// Races every row, the rows taking turns round by round, so that each row's
// rounds are spread over the whole bench. A slow or fast spell of the shared
// disk lasts about as long as a row's rounds would take one after another,
// and then decides that row's median; spread out, a spell falls on a round or
// two of each row, and the medians leave it out.
void raceInTurns(std::vector<Row>& rows, const fs::path& destination)
{
    int rounds = 0;
    for (const Row& row : rows)
        rounds = std::max(rounds, row.rounds);
    for (int round = -1; round < rounds; ++round)
        for (Row& row : rows)
            if (round < row.rounds)
                raceRound(row, round, destination);
    for (Row& row : rows)
        for (auto& contender : row.contenders)
            contender.median = median(contender.times);
}

// What the commands are raced on: the interpreter's scripts and the
// references' command lines, all in one work folder.
class Bench
{
  public:
    Bench(fs::path minicmd, fs::path work) : m_minicmd(std::move(minicmd)), m_work(std::move(work))
    {
        std::tm today{};
        const std::time_t now = std::time(nullptr);
        ::localtime_r(&now, &today);
        char xcopyDate[32], isoDate[32];
        std::snprintf(xcopyDate, sizeof xcopyDate, "%d-%d-%d", today.tm_mon + 1, today.tm_mday,
                      today.tm_year + 1900);
        std::strftime(isoDate, sizeof isoDate, "%Y-%m-%d", &today);
        m_xcopyDate = xcopyDate;
        m_isoDate = isoDate;
    }

    fs::path destination() const { return m_work / "dst"; }

    // The interpreter running a script of one xcopy line from `source` per
    // mask, with `switches`.
    Contender xcopy(const char* name, const fs::path& source, const std::vector<std::string>& masks,
                    const std::string& switches) const
    {
        const fs::path script =
            m_work / (std::string(name).substr(0, 1) + std::to_string(m_scripts++) + ".bat");
        std::ofstream lines(script);
        for (const std::string& mask : masks)
            lines << "xcopy " << (source / mask).string() << " " << destination().string() << " "
                  << switches << "\r\n";
        return {name, quoted(m_minicmd) + " " + quoted(script) + " >/dev/null"};
    }

    std::string since() const { return "/S /D:" + m_xcopyDate; }

    // One find walk under `source` with `tests`, its picks copied by cp --parents.
    Contender findAndCopy(const char* name, const fs::path& source, const std::string& tests) const
    {
        return {name, "mkdir -p " + quoted(destination()) + " && cd " + quoted(source) +
                          " && find . -type f " + tests + " -newermt " + m_isoDate +
                          " -print0 | xargs -0 cp --parents --preserve=timestamps -t " +
                          quoted(destination())};
    }

  private:
    fs::path m_minicmd, m_work;
    std::string m_xcopyDate, m_isoDate;
    mutable int m_scripts = 0;
};

// The medians with each round's time, then the first contender's against each
// other's as the median of the rounds' own ratios (the first of them carries
// the target), with the ratio of the medians beside it.
void report(const Row& row)
{
    for (const auto& contender : row.contenders) {
        std::printf("  %-34s %8.3f s  (rounds:", contender.name, contender.median);
        for (const double seconds : contender.times)
            std::printf(" %.3f", seconds);
        std::printf(")\n");
    }
    const Contender& ours = row.contenders[0];
    for (std::size_t other = 1; other < row.contenders.size(); ++other) {
        const Contender& theirs = row.contenders[other];
        std::vector<double> ratios;
        for (std::size_t round = 0; round < ours.times.size(); ++round)
            ratios.push_back(ours.times[round] / theirs.times[round]);
        std::printf("%s %s / %s = %.2f", row.what.c_str(), ours.name, theirs.name, median(ratios));
        if (other == 1 && row.target > 0)
            std::printf(" (target <= %.2f)", row.target);
        std::printf(", of the medians %.2f\n", ours.median / theirs.median);
    }
    std::fflush(stdout);
}

std::string cpTree(const fs::path& source, const fs::path& destination)
{
    return "cp -r --preserve=timestamps " + quoted(source) + " " + quoted(destination);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: MinicmdBench MINICMD [WORK_FOLDER]\n");
        return 2;
    }
    const fs::path work =
        fs::absolute(argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "minicmd-bench");
    deleteWork(work);
    waitForDeletedFiles(work);
    fs::create_directories(work);
    const Bench bench(fs::absolute(argv[1]), work);
    const fs::path destination = bench.destination();
    // The interpreter records each run; here, not in the user's own state.
    ::setenv("XDG_STATE_HOME", (work / "state").c_str(), 1);
    std::printf("Trees are made in %s; each ratio the median of interleaved rounds' own, "
                "sync before each.\n",
                work.c_str());
    std::fflush(stdout);

    const fs::path source = work / "src";
    const std::vector<fs::path> touched = makeTree(source);
    const std::size_t allFiles = countFiles(source);
    const fs::path small = work / "small";
    makeFiles(small, 100, 100, 4096, 0, false);
    const fs::path large = work / "large";
    fs::create_directories(large);
    {
        std::vector<char> block(1 << 20);
        std::mt19937 random(1);
        std::ofstream file(large / "one.bin", std::ios::binary);
        for (int mebibyte = 0; mebibyte < 1024; ++mebibyte) {
            for (auto& byte : block)
                byte = static_cast<char>(random());
            file.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    const fs::path daily = work / "daily";
    const std::size_t changed = makeFiles(daily, 400, 100, 4096, 97, true).size();

    const std::vector<Contender> smallCopy{
        bench.xcopy("minicmd xcopy /S", small, {"*.*"}, "/S"),
        {"cp -r --preserve=timestamps", cpTree(small, destination)},
    };
    const std::vector<Contender> largeCopy{
        bench.xcopy("minicmd xcopy", large, {"*.bin"}, ""),
        {"cp --preserve=timestamps", "mkdir -p " + quoted(destination) +
                                         " && cp --preserve=timestamps " +
                                         quoted(large / "one.bin") + " " + quoted(destination)},
    };
    std::vector<std::string> masks;
    std::string findTypes;
    for (const char* type : kTypes) {
        masks.push_back("*." + std::string(type));
        findTypes += std::string(findTypes.empty() ? "" : " -o") + " -name '*." + type + "'";
    }
    const std::string fullHeading = std::to_string(allFiles) + " files, " +
                                    std::to_string(touched.size()) +
                                    " changed today; data on disk:";
    const std::string dailyHeading = "the daily run: 8 types over 40,000 files, " +
                                     std::to_string(changed) + " changed today, warm cache:";
    std::vector<Row> rows{
        {fullHeading,
         "full copy:",
         {bench.xcopy("minicmd xcopy /S", source, {"*.*"}, "/S"),
          {"cp -r --preserve=timestamps", cpTree(source, destination)},
          {"rsync -a", "rsync -a " + quoted(source) + "/ " + quoted(destination) + "/"}},
         allFiles,
         kFullRounds,
         Until::OnDisk,
         1.10},
        {"",
         "incremental:",
         {bench.xcopy("minicmd xcopy /S /D:", source, {"*.*"}, bench.since()),
          bench.findAndCopy("find -newermt + cp --parents", source, "")},
         touched.size(),
         kIncrementalRounds,
         Until::OnDisk,
         1.10},
        {"10,000 files of 4 KiB in 100 folders, warm cache:", "small files, until returned:",
         smallCopy, 10000, kSmallRounds, Until::Returned, 0.75},
        {"", "small files, data on disk:", smallCopy, 10000, kSmallRounds, Until::OnDisk, 1.0},
        {"the same files, their content not in memory:", "small files, read from disk:", smallCopy,
         10000, kSmallRounds, Until::Returned, 0, small},
        {"one file of 1 GiB, warm cache:", "large file, until returned:", largeCopy, 1,
         kLargeRounds, Until::Returned, 1.0},
        {"", "large file, data on disk:", largeCopy, 1, kLargeRounds, Until::OnDisk, 1.0},
        {dailyHeading,
         "daily run, until returned:",
         {bench.xcopy("minicmd 8 types /S /D:", daily, masks, bench.since()),
          bench.findAndCopy("find 8 types + cp --parents", daily, "\\(" + findTypes + " \\)")},
         changed,
         kIncrementalRounds,
         Until::Returned,
         1.0},
    };
    std::printf("%zu comparisons, taking turns round by round.\n", rows.size());
    std::fflush(stdout);
    raceInTurns(rows, destination);
    for (const Row& row : rows) {
        if (!row.heading.empty())
            std::printf("%s\n", row.heading.c_str());
        report(row);
    }

    const fs::path many = work / "many";
    makeFiles(many, 1000, 100, 16, 0, false);
    const Contender manyCopy = bench.xcopy("minicmd xcopy /S", many, {"*.*"}, "/S");
    setAside(destination);
    const double ours = peakMebibytes(manyCopy.command);
    setAside(destination);
    const double cps = peakMebibytes(cpTree(many, destination));
    std::printf("100,000 files: peak resident %.1f MiB, cp %.1f MiB: ratio %.2f "
                "(target <= 32 MiB)\n",
                ours, cps, ours / cps);
    deleteWork(work);
    return 0;
}
