// The interpreter's pieces: words of a line, masks, xcopy's date and
// arguments, the progress line, the record of folders copied into, the copy
// of one file.

#include "Check.h"
#include "TestFiles.h"
#include "minicmd/CommandLine.h"
#include "minicmd/Console.h"
#include "minicmd/FileCopy.h"
#include "minicmd/Leftovers.h"
#include "minicmd/Wildcard.h"
#include "minicmd/Xcopy.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace tarvik::minicmd;

namespace {

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const auto& word : words)
        text += "[" + word + "]";
    return text;
}

} // namespace

TEST_CASE(linesSplitIntoWordsAsTheCommandInterpreterDoes)
{
    struct Row
    {
        const char* line;
        const char* words; // each word in brackets; "" with a refusal
        bool refused;
    };
    const Row rows[] = {
        {"MD /srv/BK-1", "[MD][/srv/BK-1]", false},
        {"  xcopy\t/a/*.* /b  /S ", "[xcopy][/a/*.*][/b][/S]", false},
        {"MD \"/srv/My Backups/BK-1\"", "[MD][/srv/My Backups/BK-1]", false},
        {"MD \"/a & b|c<d>e^f\"", "[MD][/a & b|c<d>e^f]", false},
        {"MD \"/100%% sure\"", "[MD][/100% sure]", false},
        {"MD /100%%", "[MD][/100%]", false},
        {"MD a^&b^^c^ d", "[MD][a&b^c d]", false},
        {"MD \"/Program Files (x86)\"/sub", "[MD][/Program Files (x86)/sub]", false},
        {"MD /x\"y z\"w", "[MD][/xy zw]", false},
        {"MD \"\"", "[MD][]", false},
        {"MD \"/open quote to the end", "[MD][/open quote to the end]", false},
        {"MD a;b,c=d", "[MD][a;b,c=d]", false},
        {"", "", false},
        {"xcopy a & del b", "", true},
        {"xcopy a | more", "", true},
        {"xcopy a > out.txt", "", true},
        {"xcopy a < in.txt", "", true},
        {"xcopy a^", "[xcopy][a]", false},
        {"MD %TEMP%", "", true},
        {"MD 100%", "", true},
        {"MD \"50% off\"", "", true},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.line);
        const ParsedLine parsed = parseCommandLine(row.line);
        CHECK_EQ(!parsed.refusal.empty(), row.refused);
        CHECK_EQ(joined(parsed.words), std::string(row.words));
    }
}

TEST_CASE(overlongLinesAreRefusedWhole)
{
    const std::string longest = "MD /" + std::string(kMaxLineLength - 4, 'x');
    CHECK(parseCommandLine(longest).refusal.empty());
    const ParsedLine tooLong = parseCommandLine(longest + "y");
    CHECK_EQ(tooLong.refusal, std::string("The input line is too long."));
    CHECK(tooLong.words.empty());
}

TEST_CASE(masksMatchAsOnWindows)
{
    struct Row
    {
        const char* mask;
        const char* name;
        bool matches;
    };
    const Row rows[] = {
        {"*.doc", "report.doc", true},
        {"*.doc", "REPORT.DOC", true},
        {"*.doc", "report.docx", false},
        {"*.doc", "report.doc.bak", false},
        {"*.doc", ".doc", true},
        {"*.doc", "doc", false},
        {"a?c.*", "abc.txt", true},
        {"a?c.*", "AXC.doc", true},
        {"a?c.*", "ac.txt", false},
        {"a?c.*", "abbc.txt", false},
        {"a?c.*", "abc", true},
        {"*.*", "noextension", true},
        {"*.*", ".hidden", true},
        {"*", "a.b.c", true},
        {"*.", "noextension", true},
        {"*.", "has.dot", false},
        {"notes", "NOTES", true},
        {"notes", "notes.txt", false},
        {"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"*2026*", "x-20261206-y", true},
        {"[ab]", "[ab]", true},
        {"[ab]", "a", false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(std::string(row.mask) + " ~ " + row.name);
        CHECK_EQ(matchesMask(row.name, row.mask), row.matches);
    }
}

// Valid dates are checked against real files at the day boundary elsewhere;
// here, what is not a month-day-year date.
TEST_CASE(malformedXcopyDatesAreRefused)
{
    for (const char* text : {"2-29-2026", "13-1-2026", "0-1-2026", "4-31-2026", "12-6", "12/6/2026",
                             "12-6-2026x", "-12-6-2026", "12--6-2026", ""}) {
        CHECK_CONTEXT(text);
        CHECK(!parseXcopyDate(text));
    }
    CHECK(parseXcopyDate("2-29-2024"));
}

TEST_CASE(xcopyArgumentsTakeSwitchesOnlyAtTheEnd)
{
    struct Row
    {
        std::vector<std::string> arguments;
        const char* folder; // nullptr: refused with `refusal`
        const char* mask;
        const char* destination;
        bool subfolders;
        bool dated;
        const char* refusal;
    };
    const Row rows[] = {
        {{"/w/Src/*.doc", "/b/Src", "/S", "/D:12-6-2026"},
         "/w/Src",
         "*.doc",
         "/b/Src",
         true,
         true,
         ""},
        {{"/w/Src/*.*", "/b/Src", "/d:1-2-2026", "/s"}, "/w/Src", "*.*", "/b/Src", true, true, ""},
        {{"/w/Src/*.*", "/b/Src"}, "/w/Src", "*.*", "/b/Src", false, false, ""},
        {{"//*.*", "/b/"}, "/", "*.*", "/b/", false, false, ""},
        {{"/*.doc", "/S"}, "/", "*.doc", ".", true, false, ""},
        {{"/S/*.doc", "/S", "/S"}, "/S", "*.doc", "/S", true, false, ""},
        {{"*.doc", "/b"}, ".", "*.doc", "/b", false, false, ""},
        {{"/w/Src/"}, "/w/Src", "*", ".", false, false, ""},
        {{"/w/a", "/b", "/c"}, nullptr, "", "", false, false, "Invalid number of parameters"},
        {{"/S"}, nullptr, "", "", false, false, "Invalid number of parameters"},
        {{"/w/*.*", "/b", "/D:2-30-2026"},
         nullptr,
         "",
         "",
         false,
         false,
         "Invalid parameter - /D:2-30-2026"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(joined(row.arguments));
        const auto parsed = parseXcopy(row.arguments);
        if (!row.folder) {
            const auto* refusal = std::get_if<std::string>(&parsed);
            REQUIRE(refusal);
            CHECK_EQ(*refusal, std::string(row.refusal));
            continue;
        }
        const auto* request = std::get_if<XcopyRequest>(&parsed);
        REQUIRE(request);
        CHECK_EQ(request->sourceFolder, std::string(row.folder));
        CHECK_EQ(request->mask, std::string(row.mask));
        CHECK_EQ(request->destination, std::string(row.destination));
        CHECK_EQ(request->subfolders, row.subfolders);
        CHECK_EQ(request->since.has_value(), row.dated);
    }
}

// The progress line of a live console: the current file's bytes, the total
// and the rate, drawn at most ten times a second; a console that is not live
// draws nothing.
TEST_CASE(theProgressLineFollowsTheFileBeingCopiedAtMostTenTimesASecond)
{
    for (const bool live : {true, false}) {
        CHECK_CONTEXT(live ? "live" : "plain");
        std::FILE* out = std::tmpfile();
        REQUIRE(out);
        auto written = [out] {
            std::fflush(out);
            std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
            std::rewind(out);
            text.resize(std::fread(text.data(), 1, text.size(), out));
            std::fseek(out, 0, SEEK_END);
            return text;
        };
        Console console(out, nullptr, false, live);
        const auto started = std::chrono::steady_clock::now();
        console.folder("/src");
        console.copying("/src/big.bin", 800ull << 20);
        // Keeps reporting progress until a line for the file is drawn (a
        // tenth of a second after the first line), within a bound.
        std::uint64_t done = 0;
        while (!written().ends_with(" of 800.0 MiB") &&
               std::chrono::steady_clock::now() - started < std::chrono::seconds(live ? 10 : 1))
            console.progress(done = std::min<std::uint64_t>(done + (1 << 20), 800ull << 20));
        const double tenths =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() * 10;
        const std::string text = written();
        std::fclose(out);
        if (!live) {
            CHECK_EQ(text, std::string());
            continue;
        }
        CHECK(text.starts_with("[0 file(s), 0 B, 0 B/s] /src"));
        const std::string last = text.substr(text.rfind("\r\033[K") + 4);
        CHECK(last.starts_with("[0 file(s), "));
        CHECK(last.find("/s] /src/big.bin ") != std::string::npos);
        CHECK(last.ends_with(" of 800.0 MiB"));
        std::size_t draws = 1;
        for (auto at = text.find("\r\033[K"); at != std::string::npos;
             at = text.find("\r\033[K", at + 1))
            ++draws;
        CHECK(double(draws) <= tenths + 1);
    }
}

// A copy still in flight when the walk moves on keeps its folder in the
// record, so that a kill leaves nothing the next run cannot find.
TEST_CASE(theRecordOfCopiesNamesEveryFolderACopyMayStillBeIn)
{
    const testfiles::TempDir state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    testfiles::makeDirectory(state / "tarvikbackup");
    const std::string record = state / ("tarvikbackup/copying-" + std::to_string(::getpid()));
    std::shared_ptr<const void> holdA, holdB;
    struct Step
    {
        const char* note;                  // the folder noted, if any
        std::shared_ptr<const void>* hold; // taken on it
        std::shared_ptr<const void>* drop; // released before
        const char* listed;
    } steps[] = {
        {"/a", &holdA, nullptr, "/a\n"},     {"/b", &holdB, nullptr, "/a\n/b\n"},
        {"/c", nullptr, &holdA, "/b\n/c\n"}, // a released hold lets its folder go
        {"/c", nullptr, &holdB, "/b\n/c\n"}, // ... once another folder is noted
        {"/d", nullptr, nullptr, "/d\n"},    // the latest goes unless held
    };
    for (const Step& step : steps) {
        CHECK_CONTEXT(step.note);
        if (step.drop)
            step.drop->reset();
        noteCopyFolder(step.note);
        if (step.hold)
            *step.hold = holdCopyFolder();
        CHECK_EQ(testfiles::readFile(record), std::string(step.listed));
    }
    endCopyRecord();
    CHECK(::access(record.c_str(), F_OK) != 0);
}

TEST_CASE(aFileWhoseNameNowLeadsToADeviceIsNotCalledCopied)
{
    // The walk saw a file; by the time it was opened a link to a device had
    // taken its name, which reads as nothing at all.
    const testfiles::TempDir dir;
    ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    testfiles::writeFile(dir / "seen.txt", std::string(4096, 's'));
    struct stat seen
    {};
    REQUIRE(::stat((dir / "seen.txt").c_str(), &seen) == 0);
    const int device = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    REQUIRE(device >= 0 && folder >= 0);
    CopiedFile copied;
    const CopyFailure failure = copyFileInto(device, seen, folder, "copy.txt", {}, &copied);
    ::close(device);
    ::close(folder);
    CHECK(failure.changed);
    CHECK(::access((dir / "copy.txt").c_str(), F_OK) != 0);
}
