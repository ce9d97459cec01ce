#include "platform/IniFile.h"

#include "platform/Names.h"

#include <algorithm>
#include <cstddef>

namespace tarvik::platform::ini {
namespace {

// Whether `content` is the line a write of `value` to `key` makes.
bool spelledAs(std::string_view content, std::string_view key, std::string_view value)
{
    return content.size() == key.size() + 1 + value.size() && content.starts_with(key) &&
           content[key.size()] == '=' && content.ends_with(value);
}

enum class Kind
{
    Other,
    Header,
    Key
};

struct Parsed
{
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value;
};

Parsed classify(std::string_view content)
{
    const std::string_view line = trimBlanks(content);
    if (line.empty() || line.front() == ';')
        return {};
    if (line.front() == '[') {
        const size_t close = line.find(']');
        return {Kind::Header,
                trimBlanks(line.substr(1, close == line.npos ? line.npos : close - 1)),
                {}};
    }
    const size_t equals = line.find('=');
    if (equals == line.npos)
        return {};
    return {Kind::Key, trimBlanks(line.substr(0, equals)), trimBlanks(line.substr(equals + 1))};
}

// A UTF-8 byte order mark, which some editors put at the start of a file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Calls visit(content, endingLength) for every line of `bytes` from `from` on;
// `content` excludes the line end, and a byte order mark before the first
// line. Stops early when visit returns false.
template <class Visit> void forEachLine(std::string_view bytes, size_t from, Visit&& visit)
{
    const size_t first = bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    for (size_t start = std::max(from, first); start < bytes.size();) {
        const size_t newline = bytes.find('\n', start);
        if (newline == bytes.npos) {
            visit(bytes.substr(start), size_t{0});
            return;
        }
        const size_t end = newline > start && bytes[newline - 1] == '\r' ? newline - 1 : newline;
        if (!visit(bytes.substr(start, end - start), newline + 1 - end))
            return;
        start = newline + 1;
    }
}

// Where the first section named `section` begins (its header line), or the
// end: only lines with a "[" are looked at, so that a read or an edit of one
// section walks its own lines alone, not those of a long list before it.
size_t sectionStart(std::string_view bytes, std::string_view section)
{
    const size_t first = bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    for (size_t at = bytes.find('[', first); at != bytes.npos; at = bytes.find('[', at + 1)) {
        const size_t line = std::max(first, bytes.rfind('\n', at) + 1);
        if (trimBlanks(bytes.substr(line, at - line)).empty() &&
            sameName(classify(bytes.substr(line, bytes.find('\n', at) - line)).name, section))
            return line;
    }
    return bytes.size();
}

} // namespace

std::vector<ProfileEntry> sectionEntries(std::string_view bytes, std::string_view section)
{
    section = trimBlanks(section);
    const size_t start = sectionStart(bytes, section);
    // Room for lines of 32 bytes: a long list's vector then grows once at most.
    std::vector<ProfileEntry> entries;
    entries.reserve((bytes.size() - start) / 32);
    bool inside = false;
    forEachLine(bytes, start, [&](std::string_view content, size_t) {
        const Parsed parsed = classify(content);
        if (parsed.kind == Kind::Header) {
            if (inside)
                return false;
            inside = sameName(parsed.name, section);
        } else if (inside && parsed.kind == Kind::Key) {
            entries.push_back({parsed.name, parsed.value});
        }
        return true;
    });
    return entries;
}

std::optional<std::string_view> findValue(std::string_view bytes, std::string_view section,
                                          std::string_view key)
{
    key = trimBlanks(key);
    const std::vector<ProfileEntry> entries = sectionEntries(bytes, section);
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const ProfileEntry& entry) {
        return sameName(entry.key, key);
    });
    return found == entries.end() ? std::nullopt : std::optional(found->value);
}

EditOutcome editSection(std::string_view bytes, std::string_view section, SectionEdit& edit,
                        Splice& change)
{
    section = trimBlanks(section);
    const bool readableSection = section.find_first_of("]\r\n") == section.npos;
    // The new text runs from the first line a write changed (`from`) to
    // `copied`, how far the old bytes went to it: an edit that changes nothing
    // copies nothing, and one of a short section copies no long one.
    std::string& out = change.text;
    out.clear();
    size_t from = bytes.npos;
    size_t copied = 0;
    const auto copyTo = [&](size_t end) {
        if (from == bytes.npos) {
            from = copied = end;
            out.reserve(bytes.size() - end + (bytes.size() - end) / 8 + 64);
        }
        out.append(bytes.substr(copied, end - copied));
        copied = end;
    };
    const auto writeLine = [&](const ProfileWrite& made) {
        out.append(made.key).push_back('=');
        out.append(made.value);
    };
    // A write as it is made, its value cut at the first LF, which it could
    // not carry; nullopt when its key could not be read back.
    const auto taken = [&](const ProfileWrite& made) -> std::optional<ProfileWrite> {
        const std::string_view key = trimBlanks(made.key);
        if (!readableSection || key.empty() || key.front() == '[' || key.front() == ';' ||
            std::any_of(key.begin(), key.end(),
                        [](char c) { return c == '=' || c == '\r' || c == '\n'; }))
            return std::nullopt;
        return ProfileWrite{key, made.value.substr(0, made.value.find('\n'))};
    };
    // Lines the edit would give the section anew, held exactly up to the next
    // section or the end, need no write: a list saved as it was is not walked.
    const size_t start = sectionStart(bytes, section);
    const size_t body = std::min(bytes.find('\n', start), bytes.size() - 1) + 1;
    const std::optional<size_t> same = start < bytes.size() && readableSection
                                           ? edit.wholeSectionLength(bytes.substr(body))
                                           : std::nullopt;
    const std::string_view next = same ? bytes.substr(body + *same) : std::string_view();
    if (same && (next.empty() || classify(next.substr(0, next.find('\n'))).kind == Kind::Header))
        return EditOutcome::Unchanged;
    bool inside = false, found = false, refused = false;
    // New keys go after the section's last line that is not blank; a new
    // section after the file's last line, which then gets a line end.
    size_t addAt = bytes.size();
    bool addAfterLineEnd =
        bytes.size() == (bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0) ||
        bytes.ends_with('\n');
    forEachLine(bytes, start, [&](std::string_view content, size_t endingLength) {
        const Parsed parsed = classify(content);
        if (parsed.kind == Kind::Header) {
            if (inside)
                return false;
            inside = sameName(parsed.name, section);
            found = found || inside;
        }
        if (!inside)
            return true;
        const size_t begin = static_cast<size_t>(content.data() - bytes.data());
        const size_t end = begin + content.size();
        if (parsed.kind != Kind::Other || !trimBlanks(content).empty()) {
            addAt = end + endingLength;
            addAfterLineEnd = endingLength > 0;
        }
        if (parsed.kind != Kind::Key)
            return true;
        const std::optional<ProfileWrite> made =
            edit.change(parsed.name, parsed.value.substr(0, kProfileValueLimit));
        if (!made)
            return true;
        const std::optional<ProfileWrite> write = taken(*made);
        if (!write) {
            refused = true;
            return false;
        }
        if (!spelledAs(content, write->key, write->value)) {
            copyTo(begin);
            writeLine(*write);
            copied = end;
        }
        return true;
    });
    if (refused)
        return EditOutcome::Refused;

    std::optional<ProfileWrite> addition = edit.nextAddition();
    if (addition) {
        copyTo(addAt);
        if (!addAfterLineEnd)
            out.append("\r\n");
        if (!found)
            out.append("[").append(section).append("]\r\n");
        for (; addition; addition = edit.nextAddition()) {
            const std::optional<ProfileWrite> write = taken(*addition);
            if (!write)
                return EditOutcome::Refused;
            writeLine(*write);
            out.append("\r\n");
        }
    }
    if (from == bytes.npos)
        return EditOutcome::Unchanged;
    change.at = from;
    change.length = copied - from;
    return EditOutcome::Changed;
}

} // namespace tarvik::platform::ini
