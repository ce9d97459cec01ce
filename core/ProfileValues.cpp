#include "core/ProfileValues.h"

#include "platform/Names.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace tarvik {
namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view kPrefix = settingsKey::Item;

// Four bytes as one word, every letter among them in lower case: the two cases
// of a letter differ in the bit 0x20 alone.
std::uint32_t loweredWord(const char* bytes)
{
    std::uint32_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word | 0x20202020u;
}

// The prefix is four letters, so that one comparison of words matches it
// without regard to case: every key of a long list is asked.
static_assert(kPrefix.size() == 4 && std::all_of(kPrefix.begin(), kPrefix.end(), [](char c) {
                  return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
              }));

// The index that `key` names when it is the key of that index's item but for
// the case of its letters; -1 for any other key.
std::int64_t listItemIndex(std::string_view key)
{
    static const std::uint32_t prefixWord = loweredWord(kPrefix.data());
    if (key.size() < kPrefix.size() + 1 || key.size() > kPrefix.size() + 10 ||
        (key.size() > kPrefix.size() + 1 && key[kPrefix.size()] == '0') ||
        loweredWord(key.data()) != prefixWord)
        return -1;
    std::int64_t index = 0;
    for (const char c : key.substr(kPrefix.size())) {
        const auto digit = static_cast<unsigned char>(c - '0');
        if (digit > 9)
            return -1;
        index = index * 10 + digit;
    }
    return index;
}

} // namespace

std::int32_t parseProfileInteger(std::string_view text, std::int32_t defaultValue)
{
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    std::string_view rest = text.substr(at);

    size_t prefix = 0;
    for (std::string_view candidate : {"0x", "0X", "$", "x", "X"}) {
        if (startsWith(rest, candidate)) {
            prefix = candidate.size();
            break;
        }
    }
    if (prefix > 0) {
        std::string_view digits = rest.substr(prefix);
        if (digits.empty())
            return defaultValue;
        std::uint32_t pattern = 0;
        int significant = 0;
        for (char c : digits) {
            const int digit = hexDigit(c);
            if (digit < 0)
                return defaultValue;
            if (significant > 0 || digit != 0)
                ++significant;
            if (significant > 8)
                return defaultValue;
            pattern = pattern << 4 | static_cast<std::uint32_t>(digit);
        }
        if (negative)
            pattern = 0u - pattern;
        return static_cast<std::int32_t>(pattern);
    }

    if (rest.empty())
        return defaultValue;
    // The magnitude may reach 2^31 only for a negative value.
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    std::uint64_t magnitude = 0;
    for (char c : rest) {
        if (c < '0' || c > '9')
            return defaultValue;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        if (magnitude > limit)
            return defaultValue;
    }
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(value);
}

std::string formatProfileInteger(std::int32_t value)
{
    return std::to_string(value);
}

bool parseProfileBoolean(std::string_view text, bool defaultValue)
{
    return parseProfileInteger(text, defaultValue ? 1 : 0) != 0;
}

std::string formatProfileBoolean(bool value)
{
    return value ? "1" : "0";
}

std::string_view trimControls(std::string_view text)
{
    return platform::trimEnds(text, [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

std::string_view firstEntryValue(const std::vector<platform::ProfileEntry>& entries,
                                 std::string_view key)
{
    for (const platform::ProfileEntry& entry : entries) {
        if (platform::sameName(entry.key, key))
            return entry.value;
    }
    return {};
}

std::vector<std::string_view>
storedListItemViews(const std::vector<platform::ProfileEntry>& entries, std::int32_t number)
{
    struct Hit
    {
        std::int64_t index;
        size_t entry;
    };
    std::vector<Hit> hits;
    hits.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::int64_t index = listItemIndex(entries[i].key);
        if (index >= 0 && index < number)
            hits.push_back({index, i});
    }
    // Stable, so that of two keys with one index the first in the file wins.
    // A list this program saved is in order already.
    const auto byIndex = [](const Hit& a, const Hit& b) { return a.index < b.index; };
    if (!std::is_sorted(hits.begin(), hits.end(), byIndex))
        std::stable_sort(hits.begin(), hits.end(), byIndex);
    std::vector<std::string_view> items;
    items.reserve(hits.size());
    for (size_t i = 0; i < hits.size(); ++i) {
        if (i > 0 && hits[i].index == hits[i - 1].index)
            continue;
        const std::string_view item = trimControls(entries[hits[i].entry].value);
        if (!item.empty())
            items.push_back(item);
    }
    return items;
}

std::vector<std::string_view> listSectionItems(const std::vector<platform::ProfileEntry>& entries)
{
    const std::int32_t number =
        parseProfileInteger(firstEntryValue(entries, settingsKey::Number), 0);
    if (number <= 0)
        return {};
    return storedListItemViews(entries, number);
}

ListSectionSave::ListSectionSave(const std::vector<std::string_view>& items)
    : m_items(items), m_number(formatProfileInteger(static_cast<std::int32_t>(items.size()))),
      m_itemSeen(items.size())
{}

std::optional<platform::ProfileWrite> ListSectionSave::change(std::string_view key,
                                                              std::string_view value)
{
    const std::int64_t index = listItemIndex(key);
    if (index < 0 && platform::sameName(key, settingsKey::Number)) {
        if (m_numberWritten)
            return std::nullopt;
        m_numberWritten = true;
        return platform::ProfileWrite{settingsKey::Number, m_number};
    }
    if (index < 0 || static_cast<std::uint64_t>(index) >= m_items.size() ||
        m_itemSeen[static_cast<size_t>(index)])
        return std::nullopt;
    m_itemSeen[static_cast<size_t>(index)] = true;
    ++m_itemsSeen;
    const std::string_view item = trimControls(m_items[static_cast<size_t>(index)]);
    if (item.empty() ? trimControls(value).empty() : item == value)
        return std::nullopt;
    return itemWrite(static_cast<size_t>(index));
}

std::optional<platform::ProfileWrite> ListSectionSave::nextAddition()
{
    if (!m_numberWritten) {
        m_numberWritten = true;
        return platform::ProfileWrite{settingsKey::Number, m_number};
    }
    // A list saved over one of its length, as most are, adds no item.
    while (m_itemsSeen < m_items.size() && m_nextAddition < m_items.size()) {
        const size_t index = m_nextAddition++;
        if (!m_itemSeen[index] && !trimControls(m_items[index]).empty())
            return itemWrite(index);
    }
    return std::nullopt;
}

std::optional<size_t> ListSectionSave::wholeSectionLength(std::string_view text)
{
    size_t at = 0;
    const auto take = [&](std::string_view piece) {
        const bool same = text.substr(at, piece.size()) == piece;
        at += piece.size();
        return same;
    };
    if (!take(settingsKey::Number) || !take("=") || !take(m_number) || !take("\r\n"))
        return std::nullopt;
    // The keys' digits are counted up in place, not formatted anew for every
    // item of a long list.
    std::string key = std::string(kPrefix) + "0=";
    for (const std::string_view item : m_items) {
        const std::string_view value = trimControls(item);
        if (!value.empty() && !(take(key) && take(value) && take("\r\n")))
            return std::nullopt;
        size_t digit = key.size() - 2;
        for (; digit >= kPrefix.size() && key[digit] == '9'; --digit)
            key[digit] = '0';
        if (digit < kPrefix.size())
            key.insert(kPrefix.size(), 1, '1');
        else
            ++key[digit];
    }
    return at;
}

platform::ProfileWrite ListSectionSave::itemWrite(size_t index)
{
    std::copy(kPrefix.begin(), kPrefix.end(), m_key);
    char* const end = std::to_chars(m_key + kPrefix.size(), std::end(m_key), index).ptr;
    return {std::string_view(m_key, static_cast<size_t>(end - m_key)),
            trimControls(m_items[index])};
}

std::string settingsFileBeside(std::string_view modulePath, char separator)
{
    size_t folderEnd = modulePath.rfind(separator);
    if (separator == '\\') {
        const size_t drive = modulePath.rfind(':');
        if (drive != std::string_view::npos &&
            (folderEnd == std::string_view::npos || drive > folderEnd))
            folderEnd = drive;
    }
    const size_t dot = modulePath.rfind('.');
    const bool hasExtension =
        dot != std::string_view::npos && (folderEnd == std::string_view::npos || dot > folderEnd);
    return std::string(hasExtension ? modulePath.substr(0, dot) : modulePath) + ".INI";
}

std::string settingsFilePath(std::string_view modulePath)
{
    constexpr char separator = platform::kNativeSeparator;
    std::string beside = settingsFileBeside(modulePath);
    // Windows takes "/" for a separator too.
    const size_t folderEnd = beside.find_last_of(separator == '\\' ? "\\/" : "/");
    const std::string folder = folderEnd == std::string::npos ? "." : beside.substr(0, folderEnd);
    // A file already there stays in use: one an administrator set up for a
    // shared install, or one root's earlier runs wrote.
    if (platform::isUsersOwnFolder(folder) || platform::fileExists(beside))
        return beside;
    const std::string name = beside.substr(folderEnd == std::string::npos ? 0 : folderEnd + 1);
    return platform::userSettingsFolder("tarvikbackup") + separator + name;
}

} // namespace tarvik
