#include "core/ProfileValues.h"

#include "Check.h"
#include "TestFiles.h"
#include "platform/Names.h"

#include <algorithm>

using namespace tarvik;

namespace {

struct ListItemWrite
{
    std::string key;
    std::string value;
};

// The item writes of a ListSectionSave of `items` to a section holding
// `stored`, in rising index order, without the one of "Number".
std::vector<ListItemWrite> listItemWrites(const std::vector<platform::ProfileEntry>& stored,
                                          const std::vector<std::string_view>& items)
{
    ListSectionSave save(items);
    std::vector<ListItemWrite> writes;
    const auto keep = [&](const platform::ProfileWrite& made) {
        if (!platform::sameName(made.key, settingsKey::Number))
            writes.push_back({std::string(made.key), std::string(made.value)});
    };
    for (const platform::ProfileEntry& entry : stored) {
        if (const std::optional<platform::ProfileWrite> made = save.change(entry.key, entry.value))
            keep(*made);
    }
    while (const std::optional<platform::ProfileWrite> made = save.nextAddition())
        keep(*made);
    const auto index = [](const ListItemWrite& write) { return std::stoll(write.key.substr(4)); };
    std::stable_sort(writes.begin(), writes.end(),
                     [&](const auto& a, const auto& b) { return index(a) < index(b); });
    return writes;
}

} // namespace

TEST_CASE(integersReadAsTheSettingsFileSpellsThem)
{
    struct Row
    {
        const char* text;
        std::int32_t expected; // with -7 as the default
    };
    const Row rows[] = {
        {"0", 0},
        {"42", 42},
        {"  42", 42},
        {"\t42", 42},
        {"+42", 42},
        {"-42", -42},
        {"007", 7},
        {"-0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", -7},
        {"-2147483649", -7},
        {"99999999999999999999", -7},
        {"$10", 16},
        {"x1f", 31},
        {"X1F", 31},
        {"0x1", 1},
        {"0XaB", 171},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$7fffffff", 2147483647},
        {"$000000001", 1},
        {"$100000000", -7},
        {"-$1", -1},
        {"-0x10", -16},
        {"  +$a", 10},
        {"", -7},
        {"   ", -7},
        {"-", -7},
        {"+", -7},
        {"$", -7},
        {"0x", -7},
        {"x", -7},
        {"42 ", -7},
        {"4 2", -7},
        {"- 4", -7},
        {"+-4", -7},
        {"$G", -7},
        {"0x1g", -7},
        {"00x1", -7},
        {"1e3", -7},
        {"true", -7},
        {"yes", -7},
        {"１", -7},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.text);
        CHECK_EQ(parseProfileInteger(row.text, -7), row.expected);
    }
}

TEST_CASE(integersWriteAsPlainSignedDecimalAndReadBack)
{
    const std::pair<std::int32_t, const char*> rows[] = {
        {0, "0"}, {101, "101"}, {-1, "-1"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"},
    };
    for (const auto& [value, text] : rows) {
        CHECK_CONTEXT(text);
        CHECK_EQ(formatProfileInteger(value), text);
        CHECK_EQ(parseProfileInteger(formatProfileInteger(value), 5), value);
    }
}

TEST_CASE(booleansAreAnyNumberButZeroAndDefaultOtherwise)
{
    struct Row
    {
        const char* text;
        bool whenDefaultFalse;
        bool whenDefaultTrue;
    };
    const Row rows[] = {
        {"1", true, true},    {"0", false, false},    {"-1", true, true},   {"2", true, true},
        {"0x1", true, true},  {"$0", false, false},   {"", false, true},    {"true", false, true},
        {"yes", false, true}, {"false", false, true}, {" 0", false, false}, {"1.0", false, true},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.text);
        CHECK_EQ(parseProfileBoolean(row.text, false), row.whenDefaultFalse);
        CHECK_EQ(parseProfileBoolean(row.text, true), row.whenDefaultTrue);
    }
    CHECK_EQ(formatProfileBoolean(true), "1");
    CHECK_EQ(formatProfileBoolean(false), "0");
}

TEST_CASE(settingsFileLiesBesideTheExecutable)
{
    const std::pair<const char*, const char*> windows[] = {
        {"C:\\Tools\\Backup.exe", "C:\\Tools\\Backup.INI"},
        {"C:\\Tools\\Backup", "C:\\Tools\\Backup.INI"},
        {"C:\\Tools.v2\\Backup", "C:\\Tools.v2\\Backup.INI"},
        {"C:\\Tools\\Back.up.exe", "C:\\Tools\\Back.up.INI"},
        {"C:Backup.exe", "C:Backup.INI"},
        {"C:Backup", "C:Backup.INI"},
        {"C.D:Backup", "C.D:Backup.INI"},
        {"Backup.exe", "Backup.INI"},
        {"C:\\Tools\\Backup.", "C:\\Tools\\Backup.INI"},
        {"", ".INI"},
    };
    for (const auto& [module, expected] : windows) {
        CHECK_CONTEXT(module);
        CHECK_EQ(settingsFileBeside(module, '\\'), expected);
    }
    const std::pair<const char*, const char*> posix[] = {
        {"/opt/tarvik/TarvikBackUp", "/opt/tarvik/TarvikBackUp.INI"},
        {"/opt/tarvik.d/TarvikBackUp", "/opt/tarvik.d/TarvikBackUp.INI"},
        {"/opt/tarvik/Backup.bin", "/opt/tarvik/Backup.INI"},
        {"/opt/a:b.c/Backup", "/opt/a:b.c/Backup.INI"},
        {"/opt/.hidden", "/opt/.INI"},
    };
    for (const auto& [module, expected] : posix) {
        CHECK_CONTEXT(module);
        CHECK_EQ(settingsFileBeside(module, '/'), expected);
    }
}

TEST_CASE(trimControlsRemovesCodesUpToBlankAtBothEnds)
{
    const std::pair<std::string, std::string> rows[] = {
        {"  *.doc  ", "*.doc"},
        {"\t\r\n*.doc\x01", "*.doc"},
        {std::string("\0*.doc\0", 7), "*.doc"},
        {" a b ", "a b"},
        {"   ", ""},
        {"", ""},
        {"\x7f", "\x7f"},
        {"\xA0x\xA0", "\xA0x\xA0"},
    };
    for (const auto& [input, expected] : rows) {
        CHECK_CONTEXT(input);
        CHECK_EQ(std::string(trimControls(input)), expected);
    }
}

TEST_CASE(listItemsAreReadByIndexUpToNumber)
{
    using Entries = std::vector<platform::ProfileEntry>;
    struct Row
    {
        const char* name;
        Entries entries;
        std::int32_t number;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"gap", {{"Number", "3"}, {"sVal0", "a"}, {"sVal2", "c"}}, 3, {"a", "c"}},
        {"leftover", {{"sVal0", "a"}, {"sVal1", "b"}, {"sVal2", "c"}}, 2, {"a", "b"}},
        {"index order, not file order",
         {{"sVal2", "c"}, {"sVal0", "a"}, {"sVal1", "b"}},
         3,
         {"a", "b", "c"}},
        {"first of two keys wins", {{"sVal0", "a"}, {"SVAL0", "b"}}, 1, {"a"}},
        {"case of the name", {{"SVal0", "a"}, {"sval1", "b"}}, 2, {"a", "b"}},
        {"not the same name",
         {{"sVal00", "a"}, {"sVal+1", "b"}, {"sVal", "c"}, {"sVal1x", "d"}},
         5,
         {}},
        {"blank items passed over", {{"sVal0", " \t"}, {"sVal1", "  b  "}}, 2, {"b"}},
        {"zero", {{"sVal0", "a"}}, 0, {}},
        {"negative", {{"sVal0", "a"}}, -1, {}},
        {"huge number, few keys",
         {{"sVal2147483646", "z"},
          {"sVal2147483647", "out"},
          {"sVal9999999999", "out"},
          {"sVal5", "e"}},
         INT32_MAX,
         {"e", "z"}},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        const std::vector<std::string_view> items = storedListItemViews(row.entries, row.number);
        CHECK(std::vector<std::string>(items.begin(), items.end()) == row.expected);
    }
}

TEST_CASE(aSectionsFirstKeyOfANameGivesItsValue)
{
    using Entries = std::vector<platform::ProfileEntry>;
    struct Row
    {
        const char* name;
        Entries entries;
        const char* expected;
    };
    const Row rows[] = {
        {"none", {}, ""},
        {"missing", {{"sVal0", "a"}, {"Numbers", "5"}, {"Numbe", "6"}}, ""},
        {"present", {{"sVal0", "a"}, {"Number", "7"}}, "7"},
        {"case of the name", {{"NUMBER", "8"}}, "8"},
        {"first of two wins", {{"number", "1"}, {"Number", "2"}}, "1"},
        {"empty value", {{"Number", ""}, {"Number", "3"}}, ""},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        CHECK_EQ(std::string(firstEntryValue(row.entries, "Number")), row.expected);
    }
}

TEST_CASE(aListSectionsItemsFollowItsOwnNumber)
{
    using Entries = std::vector<platform::ProfileEntry>;
    struct Row
    {
        const char* name;
        Entries entries;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"number", {{"Number", "2"}, {"sVal0", "a"}, {"sVal1", "b"}, {"sVal2", "c"}}, {"a", "b"}},
        {"no number", {{"sVal0", "a"}}, {}},
        {"zero", {{"Number", "0"}, {"sVal0", "a"}}, {}},
        {"negative", {{"Number", "-1"}, {"sVal0", "a"}}, {}},
        {"no integer", {{"Number", "two"}, {"sVal0", "a"}}, {}},
        {"hexadecimal, any case", {{"NUMBER", "$2"}, {"sVal1", "b"}, {"sVal0", "a"}}, {"a", "b"}},
        {"first of two numbers", {{"Number", "1"}, {"number", "2"}, {"sVal1", "b"}}, {}},
        {"blank and trimmed items", {{"Number", "3"}, {"sVal0", " "}, {"sVal2", "\tc "}}, {"c"}},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        const std::vector<std::string_view> items = listSectionItems(row.entries);
        CHECK(std::vector<std::string>(items.begin(), items.end()) == row.expected);
    }
}

TEST_CASE(listItemWritesTurnTheStoredItemsIntoTheNewOnes)
{
    using Entries = std::vector<platform::ProfileEntry>;
    struct Row
    {
        const char* name;
        Entries stored;
        std::vector<std::string_view> items;
        const char* expected; // key=value of each write, ";" after each
    };
    const Entries ab = {{"Number", "2"}, {"sVal0", "a"}, {"sVal1", "b"}};
    const Row rows[] = {
        {"unchanged", ab, {"a", "b"}, ""},
        {"one changed", ab, {"a", "c"}, "sVal1=c;"},
        {"trimmed as saved", ab, {" a\t", "\1b\n"}, ""},
        {"stored with a control character", {{"sVal0", "\1a"}}, {"a"}, "sVal0=a;"},
        {"blank over a stored item", ab, {"  ", "b"}, "sVal0=;"},
        {"blank over a blank one", {{"sVal0", " "}}, {""}, ""},
        {"blank over nothing", {}, {"\t"}, ""},
        {"added", {{"sVal0", "a"}}, {"a", "b", "c"}, "sVal1=b;sVal2=c;"},
        {"removed from the end", ab, {"a"}, ""},
        {"the first of two keys counts", {{"SVAL0", "x"}, {"sVal0", "a"}}, {"x"}, ""},
        {"against the first of two keys", {{"SVAL0", "x"}, {"sVal0", "a"}}, {"a"}, "sVal0=a;"},
        {"none", ab, {}, ""},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        std::string writes;
        for (const ListItemWrite& write : listItemWrites(row.stored, row.items))
            writes += write.key + "=" + write.value + ";";
        CHECK_EQ(writes, row.expected);
    }
}

// The save of a list goes to the file in one pass over it; the bytes it leaves
// must be the ones writing its keys one by one leaves, whatever the file held.
TEST_CASE(aListSavedInOnePassLeavesWhatWritesOneByOneLeave)
{
    struct Row
    {
        const char* name;
        std::string before; // "-" for no file
        std::vector<std::string_view> items;
    };
    const std::string longValue(3000, 'a');
    // Lists whose keys count past 9 and past 99, as saved, and with the last
    // key a digit short, which the save must not take for its own.
    std::vector<std::string> many;
    for (int i = 0; i <= 100; ++i)
        many.push_back("i" + std::to_string(i));
    const auto saved = [&](size_t count, bool lastKeyShort) {
        std::string lines = "[L]\r\nNumber=" + std::to_string(count) + "\r\n";
        for (size_t i = 0; i < count; ++i) {
            const std::string key = "sVal" + std::to_string(i);
            const bool cut = lastKeyShort && i + 1 == count;
            lines += (cut ? key.substr(0, key.size() - 1) : key) + "=" + many[i] + "\r\n";
        }
        return lines;
    };
    const std::vector<std::string_view> items101(many.begin(), many.end());
    const std::vector<std::string_view> items11(many.begin(), many.begin() + 11);
    const Row rows[] = {
        {"no file", "-", {"a", "b"}},
        {"11 items as saved", saved(11, false), items11},
        {"11 items, the last key short", saved(11, true), items11},
        {"101 items as saved", saved(101, false), items101},
        {"101 items, the last key short", saved(101, true), items101},
        {"empty file", "", {"a"}},
        {"only a byte order mark", "\xEF\xBB\xBF", {"a"}},
        {"another section without a last line end", "[A]\r\nx=1", {"a", "b"}},
        {"unchanged", "[L]\r\nNumber=2\r\nsVal0=a\r\nsVal1=b\r\n", {"a", "b"}},
        {"hand spacing, one changed",
         "[L]\r\n Number = 2 \r\nsVal0 = a\r\nSVAL1=b\r\n",
         {"a", "c"}},
        {"blanks and a note after the keys",
         "[L]\nsVal0=a\n; note\n\n  \n[M]\nk=v\n",
         {"a", "b", " "}},
        {"last key without a line end", "[L]\r\nsVal0=a", {"b", "c"}},
        {"names twice, and the section twice",
         "[L]\r\nsVal0=x\r\nsval0=y\r\nNumber=9\r\nnumber=1\r\n[L]\r\nsVal1=z\r\n",
         {"y", "z"}},
        {"removed items", "[L]\r\nNumber=3\r\nsVal0=a\r\nsVal1=b\r\nsVal2=c\r\n", {"", "b"}},
        {"line break and control characters",
         "[L]\r\nNumber=1\r\nsVal0=x\r\n",
         {"\tx\ny ", "\x01"}},
        {"a value longer than a read gives",
         "[L]\r\nSVAL0=" + longValue + "\r\nsVal1=b\r\n",
         {longValue, "b"}},
        {"blank-only lines", "[L]\r\n\tsVal0=a\t\r\n\r\r\n \r\n", {"a", "b"}},
        {"no items", "[L]\r\nNumber=1\r\nsVal0=a\r\n", {}},
        {"section and keys in other letter case", "[l]\r\nnumber=1\r\nSVal0=a\r\n", {"a", "b"}},
        {"not item keys", "[L]\r\nsVal00=q\r\nsVal=r\r\nsVal-1=s\r\n", {"a"}},
        // Sections that start with the very lines a save writes.
        {"the saved lines, then another section", "[L]\r\nNumber=1\r\nsVal0=a\r\n[M]\r\n", {"a"}},
        {"the saved lines, then a removed item's key",
         "[L]\r\nNumber=3\r\nsVal0=a\r\nsVal2=b\r\nsVal1=x\r\n",
         {"a", "", "b"}},
        {"the saved lines of fewer items",
         "[L]\r\nNumber=2\r\nsVal0=a\r\nsVal1=b\r\n",
         {"a", "b", "c"}},
        {"the saved lines ended by LF alone", "[L]\nNumber=1\nsVal0=a\n", {"a"}},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        testfiles::TempDir folder;
        const std::string onePass = folder / "OnePass.INI";
        const std::string oneByOne = folder / "OneByOne.INI";
        if (row.before != "-") {
            testfiles::writeFile(onePass, row.before);
            testfiles::writeFile(oneByOne, row.before);
        }
        ListSectionSave save(row.items);
        CHECK(platform::editProfileSection("L", save, onePass));
        ListSectionSave sameSave(row.items);
        CHECK(platform::editProfileSectionKeyByKey("L", sameSave, oneByOne));
        CHECK(platform::flushProfile(oneByOne));
        CHECK_EQ(testfiles::readFile(onePass), testfiles::readFile(oneByOne));
    }
}
