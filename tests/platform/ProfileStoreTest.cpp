// The profile calls on real files: defaults, the cut, refused writes, and a
// file that is never left half-written.
#include "Check.h"
#include "OneKeyEdit.h"
#include "TestFiles.h"
#include "core/ProfileValues.h"
#include "platform/Profile.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace tarvik::platform;
using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;
namespace fs = std::filesystem;

namespace {

// Files other than `name` in `folder`: a replaced file must leave none behind.
int otherFiles(const std::string& folder, const std::string& name)
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.path().filename() != name;
    return count;
}

// Whether `folder` holds a file whose name starts with `prefix` and ends with
// `suffix`.
bool holdsFileNamed(const std::string& folder, const std::string& prefix,
                    const std::string& suffix = "")
{
    std::error_code error;
    for (fs::directory_iterator entry(folder, error); !error && entry != fs::directory_iterator();
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(suffix))
            return true;
    }
    return false;
}

// The two ways a key is written: held until the flush, or as an edit that
// goes to the file at once.
enum class Writing
{
    Held,
    Edit
};
constexpr Writing kWritings[] = {Writing::Held, Writing::Edit};

const char* nameOf(Writing writing)
{
    return writing == Writing::Held ? "held until the flush" : "as an edit";
}

bool write(Writing writing, const std::string& section, const std::string& key,
           const std::string& value, const std::string& path)
{
    return writing == Writing::Held ? writeProfileString(section, key, value, path)
                                    : testfiles::editOneKey(section, key, value, path);
}

bool writeAndFlush(const std::string& path, const std::string& key, const std::string& value,
                   Writing writing = Writing::Held, const std::string& section = "S")
{
    const bool written = write(writing, section, key, value, path);
    return flushProfile(path) && written;
}

#ifndef _WIN32

// Runs `body` in a child that, when we are root, has become the user nobody
// first: root ignores file permissions, so a read-only file would not be
// read-only to it. True when the body says so.
bool inUnprivilegedChild(std::string (*body)(const std::string&), const std::string& path)
{
    return testfiles::inChild(body, path, true) == "yes";
}

std::string writeAndFlushAreRefused(const std::string& path)
{
    bool refused = true;
    for (const Writing writing : kWritings) {
        const bool written = write(writing, "S", "k", "new", path);
        refused = refused && !written && flushProfile(path);
    }
    return refused ? "yes" : "no";
}

// Whether "new" could be written to "k" in the given way, for a child to say.
template <Writing writing> std::string newValueWritten(const std::string& path)
{
    return writeAndFlush(path, "k", "new", writing) ? "yes" : "no";
}

// The child owns the folder and the file and takes their write permission
// away between the write and the flush.
std::string lateFailureIsReported(const std::string& path)
{
    if (!writeProfileString("S", "k", "new", path))
        return "write refused";
    fs::permissions(fs::path(path).parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    fs::permissions(fs::path(path), fs::perms::owner_read);
    const bool flushed = flushProfile(path);
    // A failed flush forgets the held copy: reads see the file again.
    return !flushed && getProfileString("S", "k", "", path) == "old" ? "yes" : "no";
}
#endif

} // namespace

TEST_CASE(whatIsMissingGivesTheDefault)
{
    TempDir folder;
    writeFile(folder / "Other.INI", "[T]\r\nk=v\r\n");
    fs::create_directory(folder / "Folder.INI");
    const std::string paths[] = {
        folder / "Missing.INI",
        folder / "NoFolder/Missing.INI",
        folder / "Other.INI",
        folder / "Folder.INI",
        "",
    };
    for (const auto& path : paths) {
        CHECK_CONTEXT(path);
        CHECK_EQ(getProfileString("S", "k", "dflt", path), "dflt");
        CHECK(getProfileSection("S", path).empty());
        CHECK(flushProfile(path));
    }
    CHECK_EQ(otherFiles(folder.path(), "Other.INI"), 1); // Folder.INI, nothing created
}

TEST_CASE(readsAreCutTo2047Characters)
{
    TempDir folder;
    const std::string path = folder / "Long.INI";
    const std::string value(5000, 'x');
    REQUIRE(writeAndFlush(path, "k", value));
    CHECK(readFile(path).find(value) != std::string::npos); // written whole
    const std::pair<size_t, size_t> rows[] = {
        {2046, 2046}, {2047, 2047}, {2048, 2047}, {5000, 2047}};
    for (const auto& [length, expected] : rows) {
        CHECK_CONTEXT(std::to_string(length));
        REQUIRE(writeAndFlush(path, "k", std::string(length, 'y')));
        CHECK_EQ(getProfileString("S", "k", "", path).size(), expected);
        const auto entries = getProfileSection("S", path);
        REQUIRE_EQ(entries.size(), size_t{1});
        CHECK_EQ(entries[0].value.size(), expected);
    }
    CHECK_EQ(getProfileString("S", "none", std::string(3000, 'd'), path).size(), size_t{2047});
}

TEST_CASE(filesAreReadToTheirLastByteWhateverTheirSize)
{
    TempDir folder;
    const std::string path = folder / "Sized.INI";
    // Around the sizes a read may take in one piece or in several.
    for (const size_t size : {size_t{0}, size_t{100}, size_t{65535}, size_t{65536}, size_t{65537},
                              size_t{131072}, size_t{700001}}) {
        CHECK_CONTEXT(std::to_string(size));
        std::string bytes = "[S]\r\n";
        size_t keys = 0;
        while (bytes.size() + 9 < size)
            bytes += "k" + std::to_string(keys++) + "=" + std::string(40, 'v') + "\r\n";
        bytes += "last=end";
        writeFile(path, bytes);
        CHECK_EQ(getProfileString("S", "last", "", path), "end");
        const auto entries = getProfileSection("S", path);
        REQUIRE_EQ(entries.size(), keys + 1);
        CHECK_EQ(entries.back().key, "last");
        CHECK_EQ(entries.back().value, "end");
    }
}

TEST_CASE(writesAreHeldUntilTheFlushAndThenReplaceTheFile)
{
    TempDir folder;
    const std::string path = folder / "Held.INI";
    writeFile(path, "; mine\r\n[S]\r\nk=old\r\n");
    REQUIRE(writeProfileString("S", "k", "new", path));
    REQUIRE(writeProfileString("T", "j", "1", path));
    CHECK_EQ(getProfileString("S", "k", "", path), "new"); // the held copy
    CHECK_EQ(getProfileSection("T", path).size(), size_t{1});
    CHECK_EQ(readFile(path), "; mine\r\n[S]\r\nk=old\r\n"); // not yet on disk
    REQUIRE(flushProfile(path));
    CHECK_EQ(readFile(path), "; mine\r\n[S]\r\nk=new\r\n[T]\r\nj=1\r\n");
    CHECK_EQ(otherFiles(folder.path(), "Held.INI"), 0);
    // After the flush, reads go to the file again.
    writeFile(path, "[S]\r\nk=edited\r\n");
    CHECK_EQ(getProfileString("S", "k", "", path), "edited");
    // An edit made while writes are held joins them.
    REQUIRE(writeProfileString("S", "k", "held", path));
    REQUIRE(testfiles::editOneKey("S", "j", "2", path));
    CHECK_EQ(readFile(path), "[S]\r\nk=edited\r\n");
    REQUIRE(flushProfile(path));
    CHECK_EQ(readFile(path), "[S]\r\nk=held\r\nj=2\r\n");
}

// Held writes change the held bytes where they are, but never those a section
// read before them still views: it keeps what it read.
TEST_CASE(aSectionReadKeepsItsValuesThroughLaterHeldWrites)
{
    TempDir folder;
    const std::string path = folder / "Views.INI";
    writeFile(path, "[S]\r\nk=old\r\nj=1\r\n");
    REQUIRE(writeProfileString("T", "n", "1", path));
    const ProfileSection before = getProfileSection("S", path);
    const std::string longer(200, 'v'); // outgrows the held bytes
    REQUIRE(writeProfileString("S", "k", "new", path));
    REQUIRE(writeProfileString("S", "j", longer, path));
    CHECK_EQ(before[0].value, "old");
    CHECK_EQ(before[1].value, "1");
    CHECK_EQ(getProfileString("S", "k", "", path), "new");
    REQUIRE(flushProfile(path));
    CHECK_EQ(readFile(path), "[S]\r\nk=new\r\nj=" + longer + "\r\n[T]\r\nn=1\r\n");
}

#ifndef _WIN32
// A write that leaves every byte as it was needs no new file: the file keeps
// its identity (and its time), as at an exit that changed no setting.
TEST_CASE(writesThatChangeNothingLeaveTheFileAlone)
{
    struct Row
    {
        const char* name;
        const char* key;
        const char* value;
        bool replaced;
        const char* after;
    };
    const Row rows[] = {
        {"same value", "k", "old", false, "[S]\r\nk=old\r\n; note\r\n"},
        {"other value", "k", "new", true, "[S]\r\nk=new\r\n; note\r\n"},
        {"other spelling of the key", "K", "old", true, "[S]\r\nK=old\r\n; note\r\n"},
        {"new key", "j", "", true, "[S]\r\nk=old\r\n; note\r\nj=\r\n"},
    };
    TempDir folder;
    const std::string path = folder / "Same.INI";
    const auto inode = [&] {
        struct stat status
        {};
        return ::stat(path.c_str(), &status) == 0 ? status.st_ino : ino_t{0};
    };
    for (const Writing writing : kWritings) {
        CHECK_CONTEXT(nameOf(writing));
        for (const auto& row : rows) {
            CHECK_CONTEXT(row.name);
            writeFile(path, "[S]\r\nk=old\r\n; note\r\n");
            const ino_t before = inode();
            REQUIRE(writeAndFlush(path, row.key, row.value, writing));
            CHECK_EQ(inode() != before, row.replaced);
            CHECK_EQ(readFile(path), row.after);
        }
    }
}
#endif

// A byte order mark some editors put first is no part of the first section.
TEST_CASE(aByteOrderMarkIsReadPastAndKept)
{
    const std::string mark = "\xEF\xBB\xBF";
    // section written, file before, what the section's key read, file after
    const std::tuple<const char*, std::string, const char*, std::string> rows[] = {
        {"S", mark + "[S]\r\nk=old\r\n", "old", mark + "[S]\r\nk=new\r\n"},
        {"T", mark + "[S]\r\nk=old\r\n", "", mark + "[S]\r\nk=old\r\n[T]\r\nk=new\r\n"},
        {"S", mark, "", mark + "[S]\r\nk=new\r\n"},
    };
    for (const Writing writing : kWritings) {
        CHECK_CONTEXT(nameOf(writing));
        for (const auto& [section, before, old, after] : rows) {
            CHECK_CONTEXT(after);
            TempDir folder;
            const std::string path = folder / "Marked.INI";
            writeFile(path, before);
            CHECK_EQ(getProfileString(section, "k", "", path), old);
            CHECK_EQ(getProfileSection(section, path).size(), *old ? 1u : 0u);
            REQUIRE(writeAndFlush(path, "k", "new", writing, section));
            CHECK_EQ(readFile(path), after);
        }
    }
}

TEST_CASE(aFileThatCannotBeCreatedRefusesTheWrite)
{
    TempDir folder;
    writeFile(folder / "plain", "x");
    fs::create_directory(folder / "Folder.INI");
    const std::string paths[] = {
        folder / "NoFolder/Settings.INI",
        folder / "plain/Settings.INI", // the folder is a file
        folder / "Folder.INI",         // the file is a folder
    };
    for (const auto& path : paths) {
        CHECK_CONTEXT(path);
        CHECK(!writeProfileString("S", "k", "v", path));
        CHECK(flushProfile(path)); // nothing held
        CHECK(!writeAndFlush(path, "k", "v", Writing::Edit));
        CHECK_EQ(getProfileString("S", "k", "dflt", path), "dflt");
    }
    CHECK_EQ(readFile(folder / "plain"), "x");
}

// Permissions, links, users and processes as POSIX has them.
#ifndef _WIN32

TEST_CASE(permissionsAndLinksOfTheFileAreKept)
{
    TempDir folder;
    const std::string path = folder / "Kept.INI";
    writeFile(path, "[S]\r\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    REQUIRE(writeAndFlush(path, "k", "v"));
    CHECK(fs::status(path).permissions() ==
          (fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read));

    const std::string link = folder / "Link.INI";
    fs::create_symlink(path, link);
    REQUIRE(writeAndFlush(link, "j", "w"));
    CHECK(fs::is_symlink(link));
    CHECK_EQ(readFile(path), "[S]\r\nk=v\r\nj=w\r\n");
    CHECK_EQ(otherFiles(folder.path(), "Kept.INI"), 1); // the link

    REQUIRE(writeAndFlush(link, "i", "x", Writing::Edit));
    CHECK(fs::is_symlink(link));
    CHECK(fs::status(path).permissions() ==
          (fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read));
    CHECK_EQ(readFile(path), "[S]\r\nk=v\r\nj=w\r\ni=x\r\n");
    CHECK_EQ(otherFiles(folder.path(), "Kept.INI"), 1);

    // A link to a file not made yet, as a set of linked settings files has.
    const std::string ahead = folder / "Ahead.INI";
    fs::create_symlink("Made.INI", ahead);
    REQUIRE(writeAndFlush(ahead, "h", "y"));
    CHECK(fs::is_symlink(ahead));
    CHECK_EQ(readFile(folder / "Made.INI"), "[S]\r\nh=y\r\n");
}

TEST_CASE(aReadOnlyFileOrFolderRefusesTheWriteAndKeepsItsContent)
{
    struct Row
    {
        const char* name;
        fs::perms folder;
        fs::perms file;
        bool exists;
    };
    const fs::perms all = fs::perms::all;
    const fs::perms readOnly =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const fs::perms noWrite = all & ~(fs::perms::group_write | fs::perms::others_write);
    const Row rows[] = {
        // In a folder where anyone may rename, the file's own permission must hold.
        {"read-only file", all, readOnly, true},
        {"read-only file in a folder that takes no new file", noWrite, readOnly, true},
        {"new file in a folder that takes none", noWrite, all, false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        TempDir folder;
        const std::string path = folder / "Locked.INI";
        const std::string content = "; hand\r\n[S]\r\nk=old\r\n";
        if (row.exists) {
            writeFile(path, content);
            fs::permissions(path, row.file);
        }
        fs::permissions(folder.path(), row.folder);
        CHECK(inUnprivilegedChild(writeAndFlushAreRefused, path));
        CHECK_EQ(fs::exists(path), row.exists);
        if (row.exists)
            CHECK_EQ(readFile(path), content);
        CHECK_EQ(otherFiles(folder.path(), "Locked.INI"), 0);
    }
}

TEST_CASE(aFailedFlushReportsAndKeepsTheOldContent)
{
    TempDir folder;
    const std::string path = folder / "Late.INI";
    const std::string content = "[S]\r\nk=old\r\n";
    writeFile(path, content);
    fs::permissions(path, fs::perms::all);
    REQUIRE_EQ(::chown(folder.path().c_str(), 65534, 65534), 0);
    REQUIRE_EQ(::chown(path.c_str(), 65534, 65534), 0);
    const bool reported = inUnprivilegedChild(lateFailureIsReported, path);
    CHECK(reported);
    CHECK_EQ(readFile(path), content);
    CHECK_EQ(otherFiles(folder.path(), "Late.INI"), 0);
}

// The letter of the first item as the file holds it now: an in-place save
// writes from the start of the file on.
char firstLetter(const std::string& path)
{
    char head[64] = {};
    const int handle = ::open(path.c_str(), O_RDONLY);
    const ssize_t read = handle < 0 ? 0 : ::pread(handle, head, sizeof head, 0);
    ::close(handle);
    const std::string_view text(head, read > 0 ? static_cast<size_t>(read) : 0);
    const size_t at = text.find("sVal0=");
    return at == text.npos || at + 6 >= text.size() ? '?' : text[at + 6];
}

// Waits (bounded) for the child's next byte: the start of its next save.
bool nextSave(int pipe)
{
    pollfd ready{pipe, POLLIN, 0};
    char byte = 0;
    return ::poll(&ready, 1, 60000) == 1 && ::read(pipe, &byte, 1) == 1;
}

// Item `index` of the list saved in a round whose letter is `letter`; every
// other round's items are longer, so that the end of a save shows.
std::string itemOf(char letter, int index)
{
    return letter + std::string(30 + (letter - 'a') % 2 * 20, '-') + std::to_string(index);
}

// Saves section S as a list of `items` items of round `round`'s letter, as
// one edit.
bool saveRound(const std::string& path, int round, int items)
{
    std::vector<std::string> texts;
    for (int i = 0; i < items; ++i)
        texts.push_back(itemOf(static_cast<char>('a' + round % 26), i));
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    tarvik::ListSectionSave edit(views);
    return editProfileSection("S", edit, path);
}

// How many of the `items` items section S holds now are not those of one
// round, all of its letter; -1 when the section holds another count.
int itemsNotOfOneRound(const std::string& path, int items)
{
    const auto entries = getProfileSection("S", path);
    if (entries.size() != static_cast<size_t>(items) + 1)
        return -1;
    const char letter = entries[1].value.empty() ? '?' : entries[1].value[0];
    int wrong = 0;
    for (int i = 0; i < items; ++i)
        wrong += entries[static_cast<size_t>(i) + 1].value != itemOf(letter, i);
    return wrong;
}

// A child saves a large list again and again, as one edit, each round with its
// own letter, and is killed at one of several moments spread over a save, or
// (a few times over) as soon as its new bytes start to go out (a new file beside, or the file's
// own bytes changing): the next read must find one round's list whole,
// whichever way the file is written (a file with a second name is written in
// place).
TEST_CASE(aKilledSaveLeavesOneWholeContent)
{
    TempDir state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    constexpr int kItems = 40000;
    constexpr int kMoments = 11;
    constexpr int kAsWritten = 4;
    const auto save = [&](const std::string& path, int round) {
        return saveRound(path, round, kItems);
    };
    for (const bool inPlace : {false, true}) {
        CHECK_CONTEXT(inPlace ? "in place" : "replaced");
        // What stands while the new bytes go out: the old ones kept aside, or
        // the new file beside.
        const auto writing = [&](const TempDir& folder) {
            return inPlace ? holdsFileNamed(state / "tarvikbackup", "settings-", ".old")
                           : holdsFileNamed(folder.path(), "Killed.INI.~");
        };
        int midWrite = 0;
        for (int moment = 0; moment < kMoments + kAsWritten; ++moment) {
            CHECK_CONTEXT("moment " + std::to_string(moment));
            TempDir folder;
            const std::string path = folder / "Killed.INI";
            REQUIRE(save(path, 0));
            if (inPlace)
                fs::create_hard_link(path, folder / "Second.INI");
            int starts[2];
            REQUIRE_EQ(::pipe(starts), 0);
            const pid_t child = ::fork();
            REQUIRE(child >= 0);
            if (child == 0) {
                for (int round = 1;; ++round) {
                    if (::write(starts[1], "s", 1) != 1 || !save(path, round))
                        ::_exit(1);
                }
            }
            // One save's time, then a kill that far into a later save.
            REQUIRE(nextSave(starts[0]));
            const auto first = std::chrono::steady_clock::now();
            REQUIRE(nextSave(starts[0]));
            const auto lasting = std::chrono::steady_clock::now() - first;
            REQUIRE(nextSave(starts[0]));
            const auto at = std::chrono::steady_clock::now() + lasting * moment / kMoments;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            const char before = firstLetter(path);
            const auto goingOut = [&] {
                return inPlace ? firstLetter(path) != before : writing(folder);
            };
            while (moment < kMoments ? std::chrono::steady_clock::now() < at
                                     : !goingOut() && std::chrono::steady_clock::now() < deadline) {
            }
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(starts[0]);
            ::close(starts[1]);
            midWrite += writing(folder);

            CHECK_EQ(itemsNotOfOneRound(path, kItems), 0);
            CHECK(!holdsFileNamed(state / "tarvikbackup", "settings-", ".old"));
        }
        // The kills reach into the writing of the new bytes, not only around it.
        CHECK(midWrite > 0);
    }
}

// Another program saves the file in place again and again while this one
// reads it: every read finds one save's list whole, and none puts the old
// bytes kept aside back over a save under way.
TEST_CASE(readsTakeTurnsWithASaveInPlaceInAnotherProgram)
{
    TempDir state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    constexpr int kItems = 20000;
    TempDir folder;
    const std::string path = folder / "Shared.INI";
    REQUIRE(saveRound(path, 0, kItems));
    fs::create_hard_link(path, folder / "Second.INI");
    const pid_t child = ::fork();
    REQUIRE(child >= 0);
    if (child == 0) {
        for (int round = 1; saveRound(path, round, kItems); ++round) {
        }
        ::_exit(1);
    }
    int notWhole = 0;
    for (int read = 0; read < 300; ++read)
        notWhole += itemsNotOfOneRound(path, kItems) != 0;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    CHECK_EQ(notWhole, 0);
    CHECK_EQ(itemsNotOfOneRound(path, kItems), 0);
}

// A save the system stops at a chosen byte of the new content (the file size
// limit, whose signal ends the process): the next read finds the old content
// whole, whichever way the file is written.
TEST_CASE(aSaveStoppedAtAnyByteLeavesTheOldContent)
{
    TempDir state;
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    const auto save = [](const std::string& path, int items) {
        std::vector<std::string> texts(static_cast<size_t>(items), std::string(30, 'x'));
        const std::vector<std::string_view> views(texts.begin(), texts.end());
        tarvik::ListSectionSave edit(views);
        return editProfileSection("S", edit, path);
    };
    for (const bool inPlace : {false, true}) {
        for (const int percent : {1, 25, 50, 75, 99}) {
            CHECK_CONTEXT(std::string(inPlace ? "in place, " : "replaced, ") +
                          std::to_string(percent) + "%");
            TempDir folder;
            const std::string path = folder / "Stopped.INI";
            REQUIRE(save(path, 1));
            if (inPlace)
                fs::create_hard_link(path, folder / "Second.INI");
            const std::string before = readFile(path);
            // Room for the old bytes kept aside, and part of the new ones.
            const rlim_t kept = path.size() + 1 + before.size();
            const rlim_t limit = kept + (800000 - kept) * static_cast<rlim_t>(percent) / 100;
            const pid_t child = ::fork();
            REQUIRE(child >= 0);
            if (child == 0) {
                const rlimit size{limit, limit};
                ::setrlimit(RLIMIT_FSIZE, &size);
                ::_exit(save(path, 20000) ? 0 : 1);
            }
            int status = 0;
            REQUIRE_EQ(::waitpid(child, &status, 0), child);
            CHECK(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
            CHECK_EQ(getProfileSection("S", path).size(), size_t{2});
            CHECK(readFile(path) == before);
            CHECK(!holdsFileNamed(state / "tarvikbackup", "settings-", ".old"));
        }
    }
}

// What the save of a file finds beside it: only its own killed saves' new
// files go.
TEST_CASE(aSaveRemovesTheLeftoversOfKilledSaves)
{
    struct Row
    {
        const char* name;
        const char* file;
        const char* content;
        bool old;
        bool locked;
        uid_t owner;
        bool removed;
    };
    const Row rows[] = {
        {"killed while writing", "Settings.INI.~0123456789ab", "[S]\r\n", false, false, 0, true},
        {"killed before writing", "Settings.INI.~00000000beef", "", true, false, 0, true},
        {"a save under way", "Settings.INI.~0123456789ab", "[S]\r\n", true, true, 0, false},
        {"only just created", "Settings.INI.~00000000beef", "", false, false, 0, false},
        {"another user's", "Settings.INI.~0123456789ab", "[S]\r\n", true, false, 65534, false},
        {"not our pattern", "Settings.INI.~0123456789A", "[S]\r\n", true, false, 0, false},
    };
    for (const Writing writing : kWritings) {
        CHECK_CONTEXT(nameOf(writing));
        for (const auto& row : rows) {
            CHECK_CONTEXT(row.name);
            TempDir folder;
            const std::string leftover = folder / row.file;
            writeFile(leftover, row.content);
            REQUIRE_EQ(::chown(leftover.c_str(), row.owner, row.owner), 0);
            if (row.old)
                fs::last_write_time(leftover,
                                    fs::file_time_type::clock::now() - std::chrono::hours(1));
            // A lock of another open file description stands for a living writer.
            const int writer = ::open(leftover.c_str(), O_RDONLY);
            REQUIRE(writer >= 0);
            if (row.locked)
                REQUIRE_EQ(::flock(writer, LOCK_EX), 0);
            REQUIRE(writeAndFlush(folder / "Settings.INI", "k", "v", writing));
            ::close(writer);
            CHECK_EQ(!fs::exists(leftover), row.removed);
        }
    }
}

// A save that a rename would spoil (a new owner, a broken link, or no rename
// at all in a folder we may not write) writes the file in place: its name,
// links and owner stay, and it takes the new content.
TEST_CASE(filesARenameWouldChangeAreWrittenInPlace)
{
    // name, the file's owner, the folder's owner and mode, a second name
    const std::tuple<const char*, uid_t, uid_t, mode_t, bool> rows[] = {
        {"a folder we may not write", 65534, 0, 0755, false},
        {"another user's file in a shared folder", 0, 0, 01777, false},
        {"a file with a second name", 65534, 65534, 0755, true},
    };
    // The state folder of the user nobody, where in-place saves keep the old bytes.
    TempDir state;
    REQUIRE_EQ(::chown(state.path().c_str(), 65534, 65534), 0);
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    for (const Writing writing : kWritings) {
        CHECK_CONTEXT(nameOf(writing));
        for (const auto& [name, fileOwner, folderOwner, folderMode, secondName] : rows) {
            CHECK_CONTEXT(name);
            TempDir folder;
            const std::string path = folder / "Shared.INI";
            writeFile(path, "; kept\r\n[S]\r\nk=old\r\n");
            if (secondName)
                fs::create_hard_link(path, folder / "Second.INI");
            REQUIRE(::chmod(path.c_str(), 0666) == 0 && ::chown(path.c_str(), fileOwner, 0) == 0);
            REQUIRE(::chown(folder.path().c_str(), folderOwner, 0) == 0);
            REQUIRE(::chmod(folder.path().c_str(), folderMode) == 0);
            CHECK(inUnprivilegedChild(writing == Writing::Held ? newValueWritten<Writing::Held>
                                                               : newValueWritten<Writing::Edit>,
                                      path));
            CHECK_EQ(readFile(path), "; kept\r\n[S]\r\nk=new\r\n");
            struct stat info
            {};
            REQUIRE_EQ(::stat(path.c_str(), &info), 0);
            CHECK(info.st_uid == fileOwner && info.st_nlink == (secondName ? 2u : 1u));
            CHECK_EQ(otherFiles(folder.path(), "Shared.INI"), secondName ? 1 : 0);
            CHECK(!holdsFileNamed(state / "tarvikbackup", "settings-"));
        }
    }
}

#endif
