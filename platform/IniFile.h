#pragma once
// How the INI stand-in reads and changes a file's bytes: every other byte stays
// as it was, comments, blank lines, unknown sections, other programs' keys and
// each line's own line end among them.
//
// Reading rules: a line whose first non-blank character is "[" opens a section
// named by the text up to the next "]"; one starting with ";" is a comment; any
// other line with an "=" is a key. Names and values are taken without the
// blanks (space, tab, CR) around them. Names match without regard to the case
// of ASCII letters. Lines before the first section belong to no section. When
// a section or a key appears twice, the first one counts. A UTF-8 byte order
// mark at the start of the file is no part of the first line, and stays.
//
// Portable C++: the Windows build holds it against the system's calls.

#include "platform/Profile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::platform::ini {

std::optional<std::string_view> findValue(std::string_view bytes, std::string_view section,
                                          std::string_view key);
// The entries view `bytes`.
std::vector<ProfileEntry> sectionEntries(std::string_view bytes, std::string_view section);

enum class EditOutcome
{
    Unchanged,
    Changed,
    Refused
};

// The new text of the bytes from `at` for `length` bytes: an edit rewrites
// its own section's lines alone, so a long file is not copied for it.
struct Splice
{
    size_t at = 0, length = 0;
    std::string text;
};

// Makes the writes of `edit` in the first section named `section` of `bytes`
// in one pass, as writeProfileString would make them one after another; what
// they change goes to `change` when a write changed a byte. A new key goes
// after the section's last line that is not blank, with CR LF; a new section
// to the end. A value is cut at its first LF, which it could not carry.
// Refused, changing nothing, for names that could not be read back: a section
// name with "]" or a line break, a key name that is empty, holds "=" or a
// line break, or starts with "[" or ";".
EditOutcome editSection(std::string_view bytes, std::string_view section, SectionEdit& edit,
                        Splice& change);

} // namespace tarvik::platform::ini
