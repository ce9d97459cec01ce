// The interpreter's copy against the system's tools on one generated tree:
// 20,000 files of 4 KiB in nested folders plus 8 files of 16 MiB.
//   full copy:   minicmd "xcopy src/*.* dst /S"  vs  cp -r --preserve=timestamps
//                (and vs rsync -a)
//   small files: minicmd "xcopy src/a0/*.* dst /S" (2,000 files of 4 KiB in
//                111 folders)  vs  cp -r --preserve=timestamps
//   incremental: minicmd "/S /D:<today>" with 1% of the files changed today
//                vs  find -newermt <today> | cp --parents --preserve=timestamps
//   daily run:   the program's script, one "/S /D:<today>" line per file type
//                (8 types)  vs  one find walk naming the 8 types + cp --parents
// Each time is measured from a clean page cache state to data on disk: `sync`
// before the command, and a final `sync` inside the time, so that no command
// pays for another's dirty pages. The commands run interleaved over several
// rounds and the medians are compared.
// Targets: full copy and incremental at most 1.10; small files at most 1.0;
// the daily run at most 1.0. Usage: MinicmdBench MINICMD [WORK_FOLDER]

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
#include <sys/stat.h>
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

// Seconds from the start of `command` until its data is on disk.
double timed(const std::string& command)
{
    run("sync");
    const auto start = Clock::now();
    run(command);
    run("sync");
    return std::chrono::duration<double>(Clock::now() - start).count();
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

// The tree: 10 x 10 x 10 folders of 20 small files each, plus the big files at
// the top; everything stamped ten days ago except 1% of the small files.
std::vector<fs::path> makeTree(const fs::path& source)
{
    std::mt19937 random(42);
    std::vector<char> small(4096), big(16 << 20);
    for (auto& byte : big)
        byte = static_cast<char>(random());
    const std::time_t old = std::time(nullptr) - 10 * 24 * 3600;
    std::vector<fs::path> files;
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b)
            for (int c = 0; c < 10; ++c) {
                const fs::path folder = source / ("a" + std::to_string(a)) /
                                        ("b" + std::to_string(b)) / ("c" + std::to_string(c));
                fs::create_directories(folder);
                for (int f = 0; f < 20; ++f) {
                    for (auto& byte : small)
                        byte = static_cast<char>(random());
                    const fs::path file =
                        folder / ("file" + std::to_string(f) + "." + kTypes[f % 8]);
                    std::ofstream(file, std::ios::binary).write(small.data(), small.size());
                    stamp(file, old);
                    files.push_back(file);
                }
            }
    for (int i = 0; i < 8; ++i) {
        const fs::path file = source / ("big" + std::to_string(i) + ".bin");
        big[0] = static_cast<char>(i);
        std::ofstream(file, std::ios::binary).write(big.data(), big.size());
        stamp(file, old);
    }
    std::vector<fs::path> touched;
    for (size_t i = 0; i < files.size(); i += 100)
        touched.push_back(files[i]);
    const std::time_t now = std::time(nullptr);
    for (const auto& file : touched)
        stamp(file, now);
    return touched;
}

std::size_t countFiles(const fs::path& root)
{
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

struct Contender
{
    const char* name;
    std::string command;
    std::vector<double> times = {};
    double median = 0;
};

// Runs each contender `rounds` times, alternating, into a fresh destination.
void race(std::vector<Contender>& contenders, const fs::path& destination,
          std::size_t expectedFiles, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        for (auto& contender : contenders) {
            fs::remove_all(destination);
            contender.times.push_back(timed(contender.command));
            const std::size_t copied = countFiles(destination);
            if (copied != expectedFiles) {
                std::fprintf(stderr, "%s copied %zu files, expected %zu\n", contender.name, copied,
                             expectedFiles);
                std::exit(1);
            }
        }
    }
    fs::remove_all(destination);
    for (auto& contender : contenders)
        contender.median = median(contender.times);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: MinicmdBench MINICMD [WORK_FOLDER]\n");
        return 2;
    }
    const fs::path minicmd = fs::absolute(argv[1]);
    const fs::path work =
        fs::absolute(argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "minicmd-bench");
    fs::remove_all(work);
    const fs::path source = work / "src", destination = work / "dst";
    std::printf("Generating the tree in %s ...\n", work.c_str());
    std::fflush(stdout);
    const std::vector<fs::path> touched = makeTree(source);
    // The interpreter records each run; here, not in the user's own state.
    ::setenv("XDG_STATE_HOME", (work / "state").c_str(), 1);
    const std::size_t allFiles = countFiles(source);

    std::tm today{};
    const std::time_t now = std::time(nullptr);
    ::localtime_r(&now, &today);
    char xcopyDate[32], isoDate[32];
    std::snprintf(xcopyDate, sizeof xcopyDate, "%d-%d-%d", today.tm_mon + 1, today.tm_mday,
                  today.tm_year + 1900);
    std::strftime(isoDate, sizeof isoDate, "%Y-%m-%d", &today);

    const fs::path fullScript = work / "full.bat", incrementalScript = work / "incremental.bat";
    std::ofstream(fullScript) << "xcopy " << (source / "*.*").string() << " "
                              << destination.string() << " /S\r\n";
    std::ofstream(incrementalScript) << "xcopy " << (source / "*.*").string() << " "
                                     << destination.string() << " /S /D:" << xcopyDate << "\r\n";

    const fs::path dailyScript = work / "daily.bat";
    std::string findTypes;
    {
        std::ofstream daily(dailyScript);
        for (const char* type : kTypes) {
            daily << "xcopy " << (source / ("*." + std::string(type))).string() << " "
                  << destination.string() << " /S /D:" << xcopyDate << "\r\n";
            findTypes += std::string(findTypes.empty() ? "" : " -o") + " -name '*." + type + "'";
        }
    }
    const fs::path smallScript = work / "small.bat";
    std::ofstream(smallScript) << "xcopy " << (source / "a0" / "*.*").string() << " "
                               << destination.string() << " /S\r\n";

    std::vector<Contender> full{
        {"minicmd xcopy /S", quoted(minicmd) + " " + quoted(fullScript) + " >/dev/null"},
        {"cp -r --preserve=timestamps",
         "cp -r --preserve=timestamps " + quoted(source) + " " + quoted(destination)},
        {"rsync -a", "rsync -a " + quoted(source) + "/ " + quoted(destination) + "/"},
    };
    race(full, destination, allFiles, kFullRounds);

    std::vector<Contender> incremental{
        {"minicmd xcopy /S /D:", quoted(minicmd) + " " + quoted(incrementalScript) + " >/dev/null"},
        {"find -newermt + cp --parents",
         "mkdir -p " + quoted(destination) + " && cd " + quoted(source) +
             " && find . -type f -newermt " + isoDate +
             " -print0 | xargs -0 cp --parents --preserve=timestamps -t " + quoted(destination)},
    };
    race(incremental, destination, touched.size(), kIncrementalRounds);

    std::vector<Contender> small{
        {"minicmd xcopy a0 /S", quoted(minicmd) + " " + quoted(smallScript) + " >/dev/null"},
        {"cp -r a0 --preserve=timestamps",
         "cp -r --preserve=timestamps " + quoted(source / "a0") + " " + quoted(destination)},
    };
    race(small, destination, countFiles(source / "a0"), kIncrementalRounds);

    std::vector<Contender> daily{
        {"minicmd 8 types /S /D:", quoted(minicmd) + " " + quoted(dailyScript) + " >/dev/null"},
        {"find 8 types + cp --parents",
         "mkdir -p " + quoted(destination) + " && cd " + quoted(source) + " && find . -type f \\(" +
             findTypes + " \\) -newermt " + isoDate +
             " -print0 | xargs -0 cp --parents --preserve=timestamps -t " + quoted(destination)},
    };
    race(daily, destination, touched.size(), kIncrementalRounds);

    std::printf("%zu files (%zu changed today), median of %d full and %d incremental runs "
                "(sync before, final sync timed):\n",
                allFiles, touched.size(), kFullRounds, kIncrementalRounds);
    for (const auto* group : {&full, &incremental, &small, &daily})
        for (const auto& contender : *group)
            std::printf("  %-32s %8.3f s\n", contender.name, contender.median);
    std::printf("full copy:   minicmd / cp    = %.2f (target <= 1.10)\n",
                full[0].median / full[1].median);
    std::printf("full copy:   minicmd / rsync = %.2f\n", full[0].median / full[2].median);
    std::printf("incremental: minicmd / find+cp = %.2f (target <= 1.10)\n",
                incremental[0].median / incremental[1].median);
    std::printf("small files: minicmd / cp    = %.2f (target <= 1.0)\n",
                small[0].median / small[1].median);
    std::printf("daily run:   minicmd / find+cp = %.2f (target <= 1.0)\n",
                daily[0].median / daily[1].median);
    fs::remove_all(work);
    return 0;
}
