// The profile stand-in against the system's own profile calls: the same reads
// and writes on files of the same bytes must give the same values, and leave
// files that both read back alike. The stand-in's side is its reading and its
// edit of the bytes; the test reads and writes the file whole around them.
#include "Check.h"
#include "TestFiles.h"
#include "platform/IniFile.h"
#include "platform/Profile.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

using namespace tarvik::platform;
using testfiles::joined;
using testfiles::TempDir;

namespace {

struct Read
{
    const char* section;
    const char* key;
    std::string expected;
    // Where the system is known to differ from the stand-in: its value.
    std::optional<std::string> bySystem = std::nullopt;
};

struct Write
{
    const char* section;
    const char* key;
    std::string value;
    // Where the system reads the value back differently: what it gives.
    std::optional<std::string> readBySystem = std::nullopt;
};

// One side of the comparison: the stand-in or the system.
struct Side
{
    const char* name;
    std::string (*get)(const std::string&, const std::string&, const std::string&,
                       const std::string&);
    bool (*write)(const std::string&, const std::string&, const std::string&, const std::string&);
    bool (*flush)(const std::string&);
};

bool isSystem(const Side& side);

std::optional<std::string> bytesOf(const std::string& path)
{
    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return testfiles::readFile(path);
}

std::string standInGet(const std::string& section, const std::string& key,
                       const std::string& defaultValue, const std::string& path)
{
    const std::optional<std::string> bytes = bytesOf(path);
    const std::optional<std::string_view> found =
        bytes ? ini::findValue(*bytes, section, key) : std::nullopt;
    return std::string(found.value_or(defaultValue).substr(0, kProfileValueLimit));
}

// A file that takes no bytes (read-only, in a folder that is missing) refuses
// the write here as it does there.
bool standInWrite(const std::string& section, const std::string& key, const std::string& value,
                  const std::string& path)
{
    std::string edited = bytesOf(path).value_or("");
    KeyWrites edit({{key, value}});
    ini::Splice change;
    const ini::EditOutcome outcome = ini::editSection(edited, section, edit, change);
    if (outcome != ini::EditOutcome::Changed)
        return outcome == ini::EditOutcome::Unchanged;
    edited.replace(change.at, change.length, change.text);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(edited.data(), 1, edited.size(), file) == edited.size();
    return std::fclose(file) == 0 && written;
}

bool nothingHeld(const std::string&)
{
    return true;
}

const Side kSides[] = {
    {"stand-in", standInGet, standInWrite, nothingHeld},
    {"system", getProfileString, writeProfileString, flushProfile},
};

bool isSystem(const Side& side)
{
    return &side == &kSides[1];
}

constexpr const char* kDefault = "<default>";

// Calls `check(row, side, path)` for each row on each side, with both names
// as the context, on a file of its own ("<stem><number>.ini", in a fresh
// folder) that holds the row's `file` when it has one.
template <class Rows, class Check> void onEachSide(const char* stem, const Rows& rows, Check check)
{
    TempDir dir;
    int fileNumber = 0;
    for (const auto& row : rows) {
        for (const auto& side : kSides) {
            CHECK_CONTEXT(std::string(row.name) + " / " + side.name);
            const std::string path =
                dir.path() + "\\" + stem + std::to_string(fileNumber++) + ".ini";
            if (row.file)
                testfiles::writeFile(path, *row.file);
            check(row, side, path);
        }
    }
}

// The file's non-blank lines without blanks at their ends or around the
// first "=": the text both sides agree a file holds.
std::vector<std::string> meaningfulLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string_view line(bytes.data() + start, end - start);
        const auto trim = [](std::string_view text) {
            while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
                text.remove_prefix(1);
            while (!text.empty() &&
                   (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
                text.remove_suffix(1);
            return text;
        };
        line = trim(line);
        const size_t equals = line.find('=');
        if (!line.empty() && line.front() != '[' && equals != std::string_view::npos)
            lines.push_back(std::string(trim(line.substr(0, equals))) + "=" +
                            std::string(trim(line.substr(equals + 1))));
        else if (!line.empty())
            lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

TEST_CASE(readsGiveTheSameValues)
{
    const std::string longValue(3000, 'v');
    struct Row
    {
        const char* name;
        std::optional<std::string> file; // nullopt: no file at all
        std::vector<Read> reads;
    };
    const Row rows[] = {
        {"missing file", std::nullopt, {{"BackupDirEdt", "Text", kDefault}}},
        {"names without regard to case",
         "[BackUpForm]\r\nTop=10\r\ninitmax=1\r\n",
         {{"backupform", "TOP", "10"}, {"BACKUPFORM", "InitMax", "1"}}},
        {"blanks around the equals sign and the value",
         "[S]\r\n  Key  =  a value  \r\nTab\t=\tx\t\r\n",
         {{"S", "Key", "a value"}, {"S", "Tab", "x"}}},
        {"missing section and key",
         "[S]\r\nKey=1\r\n",
         {{"T", "Key", kDefault}, {"S", "Other", kDefault}, {"S", "", kDefault}}},
        {"empty value is a value", "[S]\r\nKey=\r\n", {{"S", "Key", ""}}},
        {"cut to 2047 characters",
         "[S]\r\nLong=" + longValue + "\r\nEdge=" + longValue.substr(0, 2047) + "\r\n",
         {{"S", "Long", longValue.substr(0, 2047)}, {"S", "Edge", longValue.substr(0, 2047)}}},
        {"first of two equal keys", "[S]\r\nKey=first\r\nKEY=second\r\n", {{"S", "Key", "first"}}},
        {"keys before any section belong to none", "Key=top\r\n[S]\r\n", {{"S", "Key", kDefault}}},
        {"line ends LF only", "[S]\nA=1\nB=2\n", {{"S", "A", "1"}, {"S", "B", "2"}}},
        {"comment lines", "[S]\r\n;Key=hidden\r\nKey=shown\r\n", {{"S", "Key", "shown"}}},
        {"blanks in section names", "[ Spaced ]\r\nKey=1\r\n", {{"Spaced", "Key", "1"}}},
        {"quotes around a value",
         "[S]\r\nBoth=\"C:\\My Files\"\r\nOpen=\"abc\r\nSingle='x'\r\nInner=a\"b\"c\r\n",
         {{"S", "Both", "\"C:\\My Files\"", "C:\\My Files"},
          {"S", "Open", "\"abc"},
          {"S", "Single", "'x'", "x"},
          {"S", "Inner", "a\"b\"c"}}},
        {"8-bit text",
         "[S]\r\nText=C:\\B\xE4"
         "ckup\r\n",
         {{"S", "Text",
           "C:\\B\xE4"
           "ckup"}}},
    };
    onEachSide("read", rows, [](const auto& row, const Side& side, const std::string& path) {
        for (const auto& read : row.reads) {
            CHECK_CONTEXT(std::string(read.section) + "." + read.key);
            const std::string& expected =
                isSystem(side) && read.bySystem ? *read.bySystem : read.expected;
            CHECK_EQ(side.get(read.section, read.key, kDefault, path), expected);
        }
        side.flush(path);
    });
}

TEST_CASE(writesLeaveFilesThatReadAlike)
{
    struct Row
    {
        const char* name;
        std::optional<std::string> file;
        std::vector<Write> writes;
        std::vector<std::string> lines; // meaningful lines afterwards
        // Where the system is known to differ from the stand-in: its lines.
        std::optional<std::vector<std::string>> bySystem = std::nullopt;
    };
    const Row rows[] = {
        {"new file in write order",
         std::nullopt,
         {{"BackUpForm", "Top", "10"},
          {"BackUpForm", "Left", "-1"},
          {"DirectoryListBox", "Number", "0"}},
         {"[BackUpForm]", "Top=10", "Left=-1", "[DirectoryListBox]", "Number=0"}},
        {"new key at the end of its section",
         "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n",
         {{"A", "z", "3"}},
         {"[A]", "x=1", "z=3", "[B]", "y=2"}},
        {"new section at the end of the file",
         "; kept\r\n[A]\r\nx=1\r\n",
         {{"B", "y", "2"}},
         {"; kept", "[A]", "x=1", "[B]", "y=2"}},
        {"existing key changed in its place",
         "[A]\r\nx=1\r\ny=2\r\n[B]\r\nx=9\r\n",
         {{"a", "X", "5"}},
         {"[A]", "X=5", "y=2", "[B]", "x=9"},
         // The system keeps the key's spelling from the file.
         std::vector<std::string>{"[A]", "x=5", "y=2", "[B]", "x=9"}},
        {"other programs' lines stay",
         "[Other]\r\nfoo = bar\r\n[A]\r\nx=1\r\n",
         {{"A", "x", "2"}, {"A", "w", "3"}},
         {"[Other]", "foo=bar", "[A]", "x=2", "w=3"}},
        {"blank value and blanks kept inside",
         std::nullopt,
         {{"BackupDirEdt", "Text", ""}, {"S", "v", "a  b"}},
         {"[BackupDirEdt]", "Text=", "[S]", "v=a  b"}},
        {"quotes around a value are written, but the system reads them away",
         std::nullopt,
         {{"BackupDirEdt", "Text", "\"D:\\My Backups\"", "D:\\My Backups"}},
         {"[BackupDirEdt]", "Text=\"D:\\My Backups\""}},
    };
    onEachSide("write", rows, [](const auto& row, const Side& side, const std::string& path) {
        for (const auto& write : row.writes)
            CHECK(side.write(write.section, write.key, write.value, path));
        side.flush(path);
        const auto bytes = bytesOf(path);
        REQUIRE(bytes.has_value());
        CHECK_EQ(joined(meaningfulLines(*bytes)),
                 joined(isSystem(side) && row.bySystem ? *row.bySystem : row.lines));
        // Each side reads what the other wrote.
        for (const auto& reader : kSides) {
            CHECK_CONTEXT(std::string("read by ") + reader.name);
            for (const auto& write : row.writes) {
                const std::string& expected =
                    isSystem(reader) && write.readBySystem ? *write.readBySystem : write.value;
                CHECK_EQ(reader.get(write.section, write.key, kDefault, path), expected);
            }
            reader.flush(path);
        }
    });
}

TEST_CASE(refusedWritesChangeNothing)
{
    TempDir dir;
    for (const auto& side : kSides) {
        CHECK_CONTEXT(side.name);
        const std::string readOnly = dir.path() + "\\" + side.name + "-readonly.ini";
        testfiles::writeFile(readOnly, "[A]\r\nx=1\r\n");
        ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
        CHECK(!side.write("A", "x", "2", readOnly));
        side.flush(readOnly);
        CHECK_EQ(side.get("A", "x", kDefault, readOnly), "1");
        side.flush(readOnly);
        ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
        CHECK_EQ(testfiles::readFile(readOnly), "[A]\r\nx=1\r\n");

        const std::string noFolder = dir.path() + "\\missing\\settings.ini";
        CHECK(!side.write("A", "x", "2", noFolder));
        side.flush(noFolder);
        CHECK(!bytesOf(noFolder).has_value());
    }
}

TEST_CASE(sectionReadsListTheSameKeys)
{
    const std::string longValue(2100, 'w');
    struct Row
    {
        const char* name;
        std::string file;
        const char* section;
        std::string expected; // key=value|... in file order
    };
    const Row rows[] = {
        {"list with gaps",
         "[DirectoryListBox]\r\nNumber=3\r\nsVal0=C:\\A\r\nsVal2=C:\\B\r\n[Other]\r\nx=1\r\n",
         "directorylistbox", "Number=3|sVal0=C:\\A|sVal2=C:\\B|"},
        {"blanks around names and values", "[S]\r\n  a  =  1  \r\n", "S", "a=1|"},
        {"missing section", "[S]\r\na=1\r\n", "T", ""},
        {"long value cut", "[S]\r\nv=" + longValue + "\r\n", "S",
         "v=" + longValue.substr(0, 2047) + "|"},
        {"many keys",
         [] {
             std::string text = "[S]\r\n";
             for (int i = 0; i < 500; ++i)
                 text += "sVal" + std::to_string(i) + "=item number " + std::to_string(i) + "\r\n";
             return text;
         }(),
         "S",
         [] {
             std::string text;
             for (int i = 0; i < 500; ++i)
                 text += "sVal" + std::to_string(i) + "=item number " + std::to_string(i) + "|";
             return text;
         }()},
    };
    TempDir dir;
    int fileNumber = 0;
    const auto listed = [](const ProfileSection& entries) {
        std::string text;
        for (const auto& entry : entries)
            text.append(entry.key).append("=").append(entry.value).append("|");
        return text;
    };
    for (const auto& row : rows) {
        const std::string path = dir.path() + "\\section" + std::to_string(fileNumber++) + ".ini";
        testfiles::writeFile(path, row.file);
        CHECK_CONTEXT(row.name);
        const std::string bytes = testfiles::readFile(path);
        std::vector<ProfileEntry> standIn = ini::sectionEntries(bytes, row.section);
        for (ProfileEntry& entry : standIn)
            entry.value = entry.value.substr(0, kProfileValueLimit);
        CHECK_EQ(listed(ProfileSection(nullptr, standIn)), row.expected);
        CHECK_EQ(listed(getProfileSection(row.section, path)), row.expected);
        flushProfile(path);
    }
}

TEST_CASE(aLineBreakInAValueCannotAddKeys)
{
    TempDir dir;
    for (const auto& side : kSides) {
        CHECK_CONTEXT(side.name);
        const std::string path = dir.path() + "\\" + side.name + "-breaks.ini";
        CHECK(side.write("S", "v", "first\r\nInjected=1\nAlso=2", path));
        side.flush(path);
        CHECK_EQ(side.get("S", "v", kDefault, path), "first");
        CHECK_EQ(side.get("S", "Injected", kDefault, path), kDefault);
        CHECK_EQ(side.get("S", "Also", kDefault, path), kDefault);
        side.flush(path);
    }
}

TEST_CASE(namesThatCouldNotBeReadBackAreRefused)
{
    const std::pair<const char*, const char*> rows[] = {
        {"S]x", "k"}, {"S\r\n[T", "k"}, {"S", ""},   {"S", "   "},
        {"S", "a=b"}, {"S", "[k"},      {"S", ";k"}, {"S", "k\nx"},
    };
    TempDir dir;
    for (const auto& side : kSides) {
        const std::string path = dir.path() + "\\" + side.name + "-names.ini";
        testfiles::writeFile(path, "[S]\r\nk=1\r\n");
        for (const auto& [section, key] : rows) {
            CHECK_CONTEXT(std::string(side.name) + " [" + section + "] " + key);
            CHECK(!side.write(section, key, "x", path));
        }
        side.flush(path);
        CHECK_EQ(testfiles::readFile(path), "[S]\r\nk=1\r\n");
    }
}
