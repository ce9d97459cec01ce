#pragma once
// An INI file held as its lines, so that a change rewrites only the line it
// touches and every other byte stays as it was: comments, blank lines, unknown
// sections, other programs' keys and each line's own line end.
//
// Reading rules: a line whose first non-blank character is "[" opens a section
// named by the text up to the next "]"; one starting with ";" is a comment; any
// other line with an "=" is a key. Names and values are taken without the
// blanks (space, tab, CR) around them. Names match without regard to the case
// of ASCII letters. Lines before the first section belong to no section. When
// a section or a key appears twice, the first one counts. A UTF-8 byte order
// mark at the start of the file is no part of the first line, and stays.
//
// Portable C++ only: it is built on every platform.

#include "platform/Names.h"
#include "platform/Profile.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::platform {

class IniFile
{
  public:
    IniFile() = default;
    explicit IniFile(std::string bytes);

    // Reads straight from a file's bytes, without building an IniFile.
    static std::optional<std::string_view>
    findValue(std::string_view bytes, std::string_view section, std::string_view key);
    // The entries view `bytes`.
    static std::vector<ProfileEntry> sectionEntries(std::string_view bytes,
                                                    std::string_view section);

    std::optional<std::string_view> value(std::string_view section, std::string_view key);

    enum class EditOutcome
    {
        Unchanged,
        Changed,
        Refused
    };
    // Makes the writes of `edit` in the first section named `section` of
    // `bytes` in one pass, with the outcome of setValue making them one after
    // another, and gives the new bytes to `out` in pieces. Nothing goes to
    // `out` unless a write changes a byte. Refused for a write that setValue
    // would refuse; what went to `out` is then no file.
    static EditOutcome editSection(std::string_view bytes, std::string_view section,
                                   SectionEdit& edit,
                                   const std::function<void(std::string_view)>& out);

    // Sets the key's value as described in Profile.h, with CR LF after new
    // lines. A value is cut at its first LF, which it could not carry.
    // Names are taken without blanks around them. False, changing nothing, for
    // names that could not be read back: a section name with "]" or a line
    // break, a key name that is empty, holds "=" or a line break, or starts
    // with "[" or ";".
    bool setValue(std::string_view section, std::string_view key, std::string_view value);

    // The whole file as bytes.
    std::string text() const;

    // The file's bytes as read, shared, while no write has changed them; null
    // after.
    std::shared_ptr<const std::string> bytesAsRead() const;

    // Whether a write changed a byte since the file was read: writing what a
    // line holds already changes nothing.
    bool changed() const { return m_changed; }

  private:
    enum class Ending : std::uint8_t
    {
        None,
        Lf,
        CrLf
    };
    // A line's content, without its line end, lies in m_bytes as read until
    // the line is written; then it lies in m_written, where written lines are
    // added end to end. A file of thousands of lines is thus held without a
    // string for each.
    struct Line
    {
        size_t begin = 0; // in m_bytes, or in m_written once written
        size_t size = 0;
        Ending ending = Ending::CrLf;
        bool written = false;
    };
    struct Section
    {
        std::vector<Line> lines; // the header line first, except in the head
        size_t lastContent = 0;  // last line that is not blank; new keys go after it
        size_t linesWalked = 0;  // by searches for keys, until keys is built
        // The line of each key name. Lines after lastContent are blank, so the
        // lines keys are on never move.
        std::optional<NameIndex> keys;
    };

    std::string_view contentOf(const Line& line) const;
    std::optional<size_t> findKey(Section& section, std::string_view name);
    void write(Line& line, std::initializer_list<std::string_view> parts);
    void addLine(std::string_view content, Ending ending);
    Section& findOrAppendSection(std::string_view name);
    void endLastLine();

    std::shared_ptr<const std::string> m_bytes = std::make_shared<const std::string>(); // as read
    std::string m_written;
    // m_sections[0] holds the lines before the first section.
    std::vector<Section> m_sections{1};
    NameIndex m_sectionIndex;
    bool m_changed = false;
};

} // namespace tarvik::platform
