// The stand-in's reading and one-pass editing of a file's bytes.
#include "platform/IniFile.h"

#include "Check.h"

#include <algorithm>
#include <random>

using namespace tarvik::platform;
using namespace tarvik::platform::ini;

namespace {

std::optional<std::string> valueOf(const std::string& bytes, const char* section, const char* key)
{
    const auto found = findValue(bytes, section, key);
    return found ? std::optional<std::string>(*found) : std::nullopt;
}

std::string show(const std::optional<std::string>& value)
{
    return value ? "\"" + *value + "\"" : "(missing)";
}

// What one key's write leaves of `bytes`, and whether it changed a byte;
// nullopt when it is refused.
std::optional<std::pair<std::string, bool>> written(const std::string& bytes,
                                                    std::string_view section, std::string_view key,
                                                    std::string_view value)
{
    KeyWrites edit({{key, value}});
    Splice change;
    std::string edited = bytes;
    switch (editSection(bytes, section, edit, change)) {
    case EditOutcome::Changed:
        edited.replace(change.at, change.length, change.text);
        return std::pair{edited, true};
    case EditOutcome::Unchanged:
        return std::pair{bytes, false};
    case EditOutcome::Refused:
        break;
    }
    return std::nullopt;
}

std::string after(const std::string& bytes, std::string_view section, std::string_view key,
                  std::string_view value)
{
    const auto made = written(bytes, section, key, value);
    return made ? made->first : "(refused)";
}

} // namespace

TEST_CASE(readingFindsNamesWithoutRegardToCaseOrBlanks)
{
    struct Row
    {
        const char* name;
        std::string file;
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"plain", "[S]\r\nk=v\r\n", "S", "k", "v"},
        {"case of names", "[backupform]\r\nTOP=5\r\n", "BackUpForm", "Top", "5"},
        {"blanks around names and =", "[ S ]\r\n \t k \t= \t v w \t\r\n", "s", "K", "v w"},
        {"blanks around the asked name", "[S]\r\nk=v\r\n", " S ", " k ", "v"},
        {"= inside the value", "[S]\r\nk==a=b\r\n", "S", "k", "=a=b"},
        {"empty value", "[S]\r\nk=\r\n", "S", "k", ""},
        {"LF line ends", "[S]\nk=v\nj=w\n", "S", "j", "w"},
        {"no final line end", "[S]\r\nk=v", "S", "k", "v"},
        {"stray CR kept out", "[S]\r\r\nk=v\r\r\n", "S", "k", "v"},
        {"unclosed header", "[S\r\nk=v\r\n", "S", "k", "v"},
        {"text after header", "[S] ; note\r\nk=v\r\n", "S", "k", "v"},
        {"comment is no key", "[S]\r\n;k=v\r\n", "S", "k", std::nullopt},
        {"line without =", "[S]\r\nk\r\n", "S", "k", std::nullopt},
        {"key of another section", "[T]\r\nk=v\r\n[S]\r\n", "S", "k", std::nullopt},
        {"key before any section", "k=v\r\n[S]\r\n", "S", "k", std::nullopt},
        {"first of two keys", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "1"},
        {"first of two sections", "[S]\r\nk=1\r\n[T]\r\n[s]\r\nk=2\r\nj=3\r\n", "S", "j",
         std::nullopt},
        {"missing section", "[S]\r\nk=v\r\n", "T", "k", std::nullopt},
        {"empty file", "", "S", "k", std::nullopt},
        {"empty section name", "[]\r\nk=v\r\n", "", "k", "v"},
        {"bytes above 127", "[S\xE9]\r\nk=\xE9t\xE9\r\n", "S\xE9", "k", "\xE9t\xE9"},
        {"case of ASCII letters only", "[S\xE9]\r\nk=v\r\n", "s\xC9", "k", std::nullopt},
        {"NUL inside", std::string("[S]\r\nk=a\0b\r\n", 12), "S", "k", std::string("a\0b", 3)},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        CHECK_EQ(show(valueOf(row.file, row.section, row.key)), show(row.expected));
    }
}

TEST_CASE(sectionEntriesListEveryKeyOfTheFirstSectionInOrder)
{
    const std::string file =
        "x=0\r\n[S]\r\n b = 2 \r\n;c=3\r\na=1\r\nb=4\r\nnoequals\r\n[T]\r\nd=5\r\n"
        "[s]\r\ne=6\r\n";
    const auto entries = sectionEntries(file, "s");
    REQUIRE_EQ(entries.size(), size_t{3});
    CHECK_EQ(std::string(entries[0].key) + "=" + std::string(entries[0].value), "b=2");
    CHECK_EQ(std::string(entries[1].key) + "=" + std::string(entries[1].value), "a=1");
    CHECK_EQ(std::string(entries[2].key) + "=" + std::string(entries[2].value), "b=4");
    CHECK(sectionEntries(file, "U").empty());
}

TEST_CASE(writingChangesOnlyItsOwnLine)
{
    struct Row
    {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    };
    const Row rows[] = {
        {"new file", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"changed value keeps its line end", "[S]\nk=old\n;c\n", "S", "k", "v", "[S]\nk=v\n;c\n"},
        {"names matched without case or blanks", "[s]\r\n K = old \r\n", "S", "k", "v",
         "[s]\r\nk=v\r\n"},
        {"new key after the section's last line, before blank lines",
         "[S]\r\na=1\r\n\r\n  \r\n[T]\r\nb=2\r\n", "S", "k", "v",
         "[S]\r\na=1\r\nk=v\r\n\r\n  \r\n[T]\r\nb=2\r\n"},
        {"new key after a comment that ends the section", "[S]\r\na=1\r\n;note\r\n[T]\r\n", "S",
         "k", "v", "[S]\r\na=1\r\n;note\r\nk=v\r\n[T]\r\n"},
        {"new key in an empty section", "[S]\r\n[T]\r\n", "S", "k", "v", "[S]\r\nk=v\r\n[T]\r\n"},
        {"new key after a last line without line end", "[S]\r\na=1", "S", "k", "v",
         "[S]\r\na=1\r\nk=v\r\n"},
        {"new section at the end", "; top\r\n[T]\r\nx=1\r\n\r\n", "S", "k", "v",
         "; top\r\n[T]\r\nx=1\r\n\r\n[S]\r\nk=v\r\n"},
        {"new section after a last line without line end", "[T]\n x=1", "S", "k", "v",
         "[T]\n x=1\r\n[S]\r\nk=v\r\n"},
        {"key before any section is another key", "k=pre\r\n[S]\r\n", "S", "k", "v",
         "k=pre\r\n[S]\r\nk=v\r\n"},
        {"first of two sections", "[S]\r\nk=1\r\n[S]\r\nk=2\r\n", "S", "k", "v",
         "[S]\r\nk=v\r\n[S]\r\nk=2\r\n"},
        {"first of two keys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "v", "[S]\r\nk=v\r\nk=2\r\n"},
        {"commented key stays", "[S]\r\n;k=1\r\n", "S", "k", "v", "[S]\r\n;k=1\r\nk=v\r\n"},
        {"value cut at a line break", "", "S", "k", "a\n[X]\r\nb=c", "[S]\r\nk=a\r\n"},
        {"CR inside a value kept", "", "S", "k", "a\rb", "[S]\r\nk=a\rb\r\n"},
        {"empty value", "[S]\r\nk=1\r\n", "S", "k", "", "[S]\r\nk=\r\n"},
        {"same value again", "[S]\nk=v\r\nj=w", "S", "k", "v", "[S]\nk=v\r\nj=w"},
        {"same value, name in another case", "[S]\r\nK=v\r\n", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"same value, blanks around", "[S]\r\nk= v\r\n", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"same value, longer line", "[S]\r\nk=vv\r\n", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"same value holding =", "[S]\r\nk=k=\r\n", "S", "k", "k=", "[S]\r\nk=k=\r\n"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        CHECK_EQ(after(row.before, row.section, row.key, row.value), row.after);
    }
}

TEST_CASE(namesThatCouldNotBeReadBackAreRefused)
{
    const std::pair<const char*, const char*> rows[] = {
        {"S]x", "k"}, {"S\r\n", "k"}, {"S", ""},   {"S", "  "},
        {"S", "a=b"}, {"S", "a\nb"},  {"S", "[k"}, {"S", ";k"},
    };
    for (const auto& [section, key] : rows) {
        CHECK_CONTEXT(std::string(section) + " / " + key);
        CHECK(!written("[S]\r\n", section, key, "v"));
    }
}

// Random files of INI-like lines and random writes to them: a write reads back,
// every other key keeps its value, and every line that names no written key
// survives in order.
TEST_CASE(randomWritesKeepEverythingElse)
{
    std::mt19937 random(20261207);
    auto pick = [&](const auto& choices) { return choices[random() % std::size(choices)]; };
    const char* lineTexts[] = {"[A]",   "[ b ]",    "[C",        "[]",    ";k=1",
                               "",      "   ",      "junk",      "k=1",   " K = 2 ",
                               "j=x=y", "Number=3", "sval0 = a", "\t=odd"};
    const char* endings[] = {"\r\n", "\n", "\r\n", "\r\r\n"};
    const char* sections[] = {"A", "b", "C", "", "New"};
    const char* keys[] = {"k", "J", "Number", "sVal0", "fresh"};
    const char* values[] = {"1", " padded ", "", "a=b", "x\r\ny", "[A]", ";not a comment"};
    const char* probes[] = {"k", "j", "number", "sval0", "fresh", ""};

    for (int round = 0; round < 400; ++round) {
        std::string before;
        const int lines = static_cast<int>(random() % 12);
        for (int i = 0; i < lines; ++i)
            before +=
                std::string(pick(lineTexts)) + (i + 1 < lines || random() % 2 ? pick(endings) : "");
        std::string text = before;
        std::vector<std::pair<std::string, std::string>> written;
        const int writes = 1 + static_cast<int>(random() % 4);
        for (int w = 0; w < writes; ++w) {
            const std::string section = pick(sections);
            const std::string key = pick(keys);
            std::string value = pick(values);
            const auto made = ::written(text, section, key, value);
            REQUIRE(made.has_value());
            text = made->first;
            written.emplace_back(section, key);
            value = value.substr(0, value.find_first_of("\r\n")); // all values here end at CR LF
            while (!value.empty() && value.front() == ' ')
                value.erase(0, 1);
            while (!value.empty() && value.back() == ' ')
                value.pop_back();
            CHECK_CONTEXT("round " + std::to_string(round) + ": " + check::escaped(before));
            CHECK_EQ(show(valueOf(text, section.c_str(), key.c_str())), show(value));
        }
        const std::string& after = text;
        auto isWritten = [&](const std::string& section, const std::string& key) {
            return std::any_of(written.begin(), written.end(), [&](const auto& w) {
                return findValue("[" + w.first + "]\r\n" + w.second + "=1", section, key)
                    .has_value();
            });
        };
        CHECK_CONTEXT("round " + std::to_string(round) + ": " + check::escaped(before));
        for (const char* section : sections) {
            for (const char* key : probes) {
                if (!isWritten(section, key))
                    CHECK_EQ(show(valueOf(after, section, key)),
                             show(valueOf(before, section, key)));
            }
        }
        // Lines that mention no written key are kept, in order.
        size_t from = 0;
        size_t start = 0;
        while (start < before.size()) {
            size_t end = before.find('\n', start);
            end = end == before.npos ? before.size() : end + 1;
            const std::string line = before.substr(start, end - start);
            start = end;
            std::string lower = line;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            bool mentions = false;
            for (const auto& w : written) {
                std::string key = w.second;
                std::transform(key.begin(), key.end(), key.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                mentions = mentions || lower.find(key) != lower.npos;
            }
            if (mentions)
                continue;
            const size_t at = after.find(line, from);
            CHECK(at != after.npos);
            if (at != after.npos)
                from = at + line.size();
        }
    }
}

// A write that a line holds already changes nothing.
TEST_CASE(writesThatALineHoldsChangeNothing)
{
    struct Write
    {
        const char* section;
        const char* key;
        const char* value;
    };
    struct Row
    {
        const char* name;
        std::string file;
        std::vector<Write> writes;
        bool changed;
        std::string after;
    };
    const std::string file = "; note\r\n[S]\r\nk=v\r\nj = w\r\n[T]\r\nk=t\r\n[s]\r\nm=x";
    std::vector<Write> sameTwiceOver;
    for (int i = 0; i < 20; ++i)
        sameTwiceOver.push_back({"T", "k", "t"});
    const Row rows[] = {
        {"the same value", file, {{"S", "k", "v"}, {"s", "k", "v"}}, false, file},
        {"the same value, other case of the names",
         file,
         {{"s", "K", "v"}},
         true,
         "; note\r\n[S]\r\nK=v\r\nj = w\r\n[T]\r\nk=t\r\n[s]\r\nm=x"},
        {"the same value, blanks around the name",
         file,
         {{"S", "j", "w"}},
         true,
         "; note\r\n[S]\r\nk=v\r\nj=w\r\n[T]\r\nk=t\r\n[s]\r\nm=x"},
        {"a key of a later section of the same name",
         file,
         {{"S", "m", "x"}},
         true,
         "; note\r\n[S]\r\nk=v\r\nj = w\r\nm=x\r\n[T]\r\nk=t\r\n[s]\r\nm=x"},
        {"a value cut at its line break", file, {{"T", "k", "t\nmore"}}, false, file},
        {"more walks than the file has bytes", file, sameTwiceOver, false, file},
        {"changed, then back", file, {{"S", "k", "x"}, {"S", "k", "v"}}, true, file},
        {"an empty file", "", {{"S", "k", "v"}}, true, "[S]\r\nk=v\r\n"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        std::string text = row.file;
        bool changed = false;
        for (const Write& write : row.writes) {
            const auto made = written(text, write.section, write.key, write.value);
            REQUIRE(made.has_value());
            text = made->first;
            changed = changed || made->second;
            CHECK_EQ(show(valueOf(text, write.section, write.key)),
                     show(std::string(write.value).substr(0, std::string(write.value).find('\n'))));
        }
        CHECK_EQ(changed, row.changed);
        CHECK_EQ(text, row.after);
    }
}
