#pragma once
// How the settings file spells integers and booleans, and where the file lies.
// Reading is forgiving (a value that is no number gives the caller's default,
// never an error); writing is canonical.

#include "platform/FileSystem.h"
#include "platform/Profile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Leading blanks, an optional "+" or "-", then decimal digits within 32 bits,
// or hexadecimal digits after "$", "x", "X", "0x" or "0X" (at most eight
// significant ones, taken as a 32-bit pattern, so "$FFFFFFFF" is -1). The
// digits must run to the end of the text; any other text gives `defaultValue`.
std::int32_t parseProfileInteger(std::string_view text, std::int32_t defaultValue);

// Signed decimal: no leading zeros, no "+".
std::string formatProfileInteger(std::int32_t value);

// Any integer but 0 is true; text that is no integer gives `defaultValue`.
bool parseProfileBoolean(std::string_view text, bool defaultValue);

// "1" or "0".
std::string formatProfileBoolean(bool value);

// `text` without leading and trailing characters of codes 0 to 32.
std::string_view trimControls(std::string_view text);

// The keys of the settings file's sections, named once.
namespace settingsKey {
// A form's placement.
inline constexpr char Top[] = "Top";
inline constexpr char Left[] = "Left";
inline constexpr char Width[] = "Width";
inline constexpr char Height[] = "Height";
inline constexpr char InitMax[] = "InitMax";
// A list: its count, and each item under this prefix and its index in decimal.
inline constexpr char Number[] = "Number";
inline constexpr char Item[] = "sVal";
// An edit box and a check box.
inline constexpr char Text[] = "Text";
inline constexpr char Checked[] = "Checked";
} // namespace settingsKey

// The value of the first of `entries` named `key` but for the case of its
// letters, as a read of that key gives it; empty when there is none.
std::string_view firstEntryValue(const std::vector<platform::ProfileEntry>& entries,
                                 std::string_view key);

// The items of a list section holding `entries`, with `number` as its
// "Number": for each index from 0 to number-1 in rising order, the value of
// the first key named as that index's item, trimmed by trimControls and passed
// over when that leaves nothing. The same as reading every index, but in time
// that follows the keys present, not `number`. Views into `entries`, which
// must outlive them: a long list is then not copied once more on its way to
// the widget.
std::vector<std::string_view>
storedListItemViews(const std::vector<platform::ProfileEntry>& entries, std::int32_t number);

// The items of a list section holding `entries`: storedListItemViews with the
// section's own "Number" (the first key of that name, 0 when it is missing or
// no integer). Views into `entries`.
std::vector<std::string_view> listSectionItems(const std::vector<platform::ProfileEntry>& entries);

// The save of a list's items to its section, as an edit of what the section
// holds. "Number" gets the count of items whatever it holds, so that a file
// that takes no writes says so. Each item is saved trimmed by trimControls.
// An item that reads back as it would be written needs no write, so a list
// saved unchanged leaves the section as it was. A blank item is not saved,
// but a stored item at its index that is not blank would come back at the
// next load although the user removed it: that one is blanked. Of two keys of
// one name the first counts, as it does for a read. `items` must outlive the
// edit.
class ListSectionSave final : public platform::SectionEdit
{
  public:
    explicit ListSectionSave(const std::vector<std::string_view>& items);

    std::optional<platform::ProfileWrite> change(std::string_view key,
                                                 std::string_view value) override;
    std::optional<platform::ProfileWrite> nextAddition() override;
    // "Number", then each item that is not blank, in order: what a save to an
    // empty section writes.
    std::optional<size_t> wholeSectionLength(std::string_view text) override;

  private:
    platform::ProfileWrite itemWrite(size_t index);

    const std::vector<std::string_view>& m_items;
    std::string m_number;
    bool m_numberWritten = false;
    std::vector<bool> m_itemSeen;
    size_t m_itemsSeen = 0;    // how many of m_itemSeen hold
    size_t m_nextAddition = 0; // the index additions are looked for from
    char m_key[16] = {};       // of the last item write
};

// The name the settings file of the executable at `modulePath` has beside
// it: the executable's extension (the text from the last "." that stands after
// the last separator) replaced by ".INI", or ".INI" appended when it has none.
// With `\` as the separator a drive's ":" also ends the folder part, as in
// Windows paths.
std::string settingsFileBeside(std::string_view modulePath,
                               char separator = platform::kNativeSeparator);

// The settings file the program at `modulePath` reads and writes. A copy
// whose folder is the user's own (a portable copy, a build, an install into
// the user's home), or one with the file already beside it, keeps it beside
// itself; any other install (a package under /usr, a folder of another
// user's) keeps each user's file, of the same name, in their own settings
// folder (platform::userSettingsFolder). Every reader and writer of the file
// asks here, so the choice is made in one place.
std::string settingsFilePath(std::string_view modulePath);

} // namespace tarvik
