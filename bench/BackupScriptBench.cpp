// How much the backup script costs beyond the bytes it holds: generating and
// writing the script for 1,000 source folders x 100 file types, against
// writing the same bytes line by line with a plain stdio loop. Prints the
// ratio of the two best times; below 2 is the target.

#include "core/BackupScript.h"
#include "core/TextFileWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

template <class Work> double bestSeconds(int rounds, Work work)
{
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main()
{
    const auto everySource = [](const std::string&) { return true; };
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("tarvik-bench-" +
         std::to_string(std::chrono::system_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder);
    const std::string scriptPath = (folder / "backup20261206.bat").string();
    const std::string referencePath = (folder / "reference.bat").string();

    BackupJob job{folder.string(), {}, {}, true, {2026, 12, 6}};
    for (int i = 0; i < 1000; ++i)
        job.sourceDirectories.push_back("/home/jo/Projects/Client " + std::to_string(i) + "/Src");
    for (int i = 0; i < 100; ++i)
        job.fileTypes.push_back("*.ext" + std::to_string(i));

    const auto ours = [&] {
        checkScriptTexts(job);
        TextFileWriter file;
        file.createNew(scriptPath);
        writeBackupScript(job, everySource, [&](std::string_view line) { file.writeLine(line); });
        file.flushAndClose();
        std::filesystem::remove(scriptPath);
    };
    std::vector<std::string> lines;
    writeBackupScript(job, everySource, [&](std::string_view line) { lines.emplace_back(line); });
    const auto reference = [&] {
        std::FILE* out = std::fopen(referencePath.c_str(), "wb");
        for (const auto& line : lines) {
            std::fwrite(line.data(), 1, line.size(), out);
            std::fwrite("\r\n", 1, 2, out);
        }
        std::fclose(out);
        std::filesystem::remove(referencePath);
    };

    std::size_t bytes = 0;
    for (const auto& line : lines)
        bytes += line.size() + 2;
    const double referenceTime = bestSeconds(7, reference);
    const double ourTime = bestSeconds(7, ours);
    std::filesystem::remove_all(folder);

    const double ratio = ourTime / referenceTime;
    std::printf("backup script: %zu lines, %zu bytes\n", lines.size(), bytes);
    std::printf("  generate + write: %.1f ms, plain write loop: %.1f ms, ratio %.2f (target < 2)\n",
                ourTime * 1e3, referenceTime * 1e3, ratio);
    return ratio < 2.0 ? 0 : 1;
}
