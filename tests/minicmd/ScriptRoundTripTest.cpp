// Folder and file names that mean something to the command interpreter: the
// script the program writes must make the interpreter copy from and to
// exactly those folders.

#include "Check.h"
#include "ProgramRun.h"
#include "ScriptText.h"
#include "TestFiles.h"
#include "Trees.h"
#include "core/BackupScript.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <random>

using namespace tarvik;
using namespace testfiles;

namespace {

// Names every run tries, then random ones built mostly from the characters
// the interpreter treats specially.
std::vector<std::string> namesToTry(unsigned seed, int randomCount)
{
    std::vector<std::string> names{"with blanks", "a&b",    "100%",     "Program Files (x86)",
                                   "semi;colon",  "e=mc2",  "caret^up", "%%PATH%%",
                                   "a|b<c>d",     "comma,", " leading", "tab\there",
                                   "^&^",         "%1",     "!bang!",   "x86)"};
    const std::string alphabet = " &%()^;=,|<>!'`~$#@[]{}+-ab";
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> length(1, 10);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    while (static_cast<int>(names.size()) < 16 + randomCount) {
        std::string name;
        for (size_t n = length(random); n > 0; --n)
            name += alphabet[pick(random)];
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

} // namespace

TEST_CASE(specialCharactersInNamesSurviveTheScript)
{
    const unsigned seed = std::random_device{}();
    CHECK_CONTEXT("seed " + std::to_string(seed));
    const auto names = namesToTry(seed, 24);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        CHECK_CONTEXT("name " + check::escaped(name));
        TempDir dir;
        const std::string source = dir / "src/" + name;
        makeFile(source + "/plain.txt", "plain", localTime(2026, 12, 6, 8));
        makeFile(source + "/" + name + ".dat", "typed", localTime(2026, 12, 6, 8));
        makeFile(source + "/" + name + "/inner.txt", "inner", localTime(2026, 12, 6, 8));
        makeFile(source + "/skipped.bin", "skipped", localTime(2026, 12, 6, 8));
        // A folder whose name is only a prefix of the real one must stay untouched.
        makeFile(dir / "src/decoy.txt", "decoy", localTime(2026, 12, 6, 8));
        makeDirectory(dir / "bk/" + name);

        const BackupJob job{
            dir / "bk/" + name, {source}, {"*.txt", name + ".dat"}, true, {2026, 12, 6}};
        const std::string script = scriptFileName(job);
        writeFile(script, BackupScript(job, platform::directoryExists));
        const ProgramResult result = runProgram({MINICMD_PATH, script});
        CHECK_EQ(result.exitCode, 0);

        std::vector<std::string> expected{"BK-20261206/",
                                          "BK-20261206/" + name + "/",
                                          "BK-20261206/" + name + "/" + name + "/",
                                          "BK-20261206/" + name + "/" + name + "/inner.txt",
                                          "BK-20261206/" + name + "/" + name + ".dat",
                                          "BK-20261206/" + name + "/plain.txt",
                                          "backup20261206.bat"};
        std::sort(expected.begin(), expected.end());
        const auto actual = listTree(job.backupDirectory);
        CHECK_EQ(listed(actual), listed(expected));
        // Nothing was made anywhere else.
        CHECK_EQ(listed(listTree(dir / "bk")), listed([&] {
                     std::vector<std::string> all{name + "/"};
                     for (const auto& entry : expected)
                         all.push_back(name + "/" + entry);
                     std::sort(all.begin(), all.end());
                     return all;
                 }()));
        if (actual != expected)
            CHECK_EQ(BackupScript(job, platform::directoryExists), result.output);
    }
}
