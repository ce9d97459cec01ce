#include "platform/IniFile.h"

#include <cstddef>

namespace tarvik::platform {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimBlanks(std::string_view text)
{
    return trimEnds(text, isBlank);
}

// Whether `text` holds any of the characters of `set`.
bool holdsAny(std::string_view text, std::string_view set)
{
    for (const char c : text) {
        for (const char unwanted : set) {
            if (c == unwanted)
                return true;
        }
    }
    return false;
}

// Whether a section and a key of these names, without blanks around them,
// could be read back.
bool readableNames(std::string_view section, std::string_view key)
{
    return !holdsAny(section, "]\r\n") && !key.empty() && !holdsAny(key, "=\r\n") &&
           key.front() != '[' && key.front() != ';';
}

// A value keeps what comes before its first LF, which it could not carry.
std::string_view firstLine(std::string_view value)
{
    return value.substr(0, value.find('\n'));
}

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

// Calls visit(content, endingLength) for every line of `bytes`; `content`
// excludes the line end, and a byte order mark before the first line. Stops
// early when visit returns false.
template <class Visit> void forEachLine(std::string_view bytes, Visit&& visit)
{
    size_t start = bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (start < bytes.size()) {
        const size_t newline = bytes.find('\n', start);
        if (newline == bytes.npos) {
            visit(bytes.substr(start), size_t{0});
            return;
        }
        size_t end = newline;
        if (end > start && bytes[end - 1] == '\r')
            --end;
        if (!visit(bytes.substr(start, end - start), newline + 1 - end))
            return;
        start = newline + 1;
    }
}

// Calls visit(parsed) for each key line of the first section named `section`.
template <class Visit>
void forEachKeyIn(std::string_view bytes, std::string_view section, Visit&& visit)
{
    section = trimBlanks(section);
    bool inside = false;
    forEachLine(bytes, [&](std::string_view content, size_t) {
        const Parsed parsed = classify(content);
        if (parsed.kind == Kind::Header) {
            if (inside)
                return false;
            inside = sameName(parsed.name, section);
        } else if (inside && parsed.kind == Kind::Key) {
            return visit(parsed);
        }
        return true;
    });
}

} // namespace

IniFile::IniFile(std::string bytes) : m_bytes(std::make_shared<const std::string>(std::move(bytes)))
{
    forEachLine(*m_bytes, [this](std::string_view content, size_t endingLength) {
        addLine(content, endingLength == 0   ? Ending::None
                         : endingLength == 1 ? Ending::Lf
                                             : Ending::CrLf);
        return true;
    });
}

std::shared_ptr<const std::string> IniFile::bytesAsRead() const
{
    return m_changed ? nullptr : m_bytes;
}

std::string_view IniFile::contentOf(const Line& line) const
{
    return std::string_view(line.written ? m_written : *m_bytes).substr(line.begin, line.size);
}

// Gives `line` the content `parts` make, end to end. What the line held
// before stays unused in m_written.
void IniFile::write(Line& line, std::initializer_list<std::string_view> parts)
{
    line.written = true;
    line.begin = m_written.size();
    for (const std::string_view part : parts)
        m_written.append(part);
    line.size = m_written.size() - line.begin;
}

// `content` lies in m_bytes.
void IniFile::addLine(std::string_view content, Ending ending)
{
    // Only headers matter here; keys are indexed when their section is
    // first searched.
    const std::string_view trimmed = trimBlanks(content);
    if (!trimmed.empty() && trimmed.front() == '[') {
        m_sections.emplace_back();
        m_sectionIndex.add(classify(trimmed).name, m_sections.size() - 1);
    }
    Section& section = m_sections.back();
    if (!trimmed.empty())
        section.lastContent = section.lines.size();
    section.lines.push_back(
        {static_cast<size_t>(content.data() - m_bytes->data()), content.size(), ending, false});
}

// A section searched for a key or two is walked line by line; one searched
// as often as it has lines, as a save of a long list does, is indexed once.
std::optional<size_t> IniFile::findKey(Section& section, std::string_view name)
{
    if (!section.keys && section.linesWalked < section.lines.size()) {
        for (size_t line = 0; line < section.lines.size(); ++line) {
            const Parsed parsed = classify(contentOf(section.lines[line]));
            if (parsed.kind == Kind::Key && sameName(parsed.name, name)) {
                section.linesWalked += line + 1;
                return line;
            }
        }
        section.linesWalked += section.lines.size();
        return std::nullopt;
    }
    if (!section.keys) {
        section.keys.emplace();
        for (size_t line = 0; line < section.lines.size(); ++line) {
            const Parsed parsed = classify(contentOf(section.lines[line]));
            if (parsed.kind == Kind::Key)
                section.keys->add(parsed.name, line);
        }
    }
    return section.keys->find(name);
}

std::optional<std::string_view> IniFile::findValue(std::string_view bytes, std::string_view section,
                                                   std::string_view key)
{
    key = trimBlanks(key);
    std::optional<std::string_view> found;
    forEachKeyIn(bytes, section, [&](const Parsed& parsed) {
        if (!sameName(parsed.name, key))
            return true;
        found = parsed.value;
        return false;
    });
    return found;
}

std::vector<ProfileEntry> IniFile::sectionEntries(std::string_view bytes, std::string_view section)
{
    std::vector<ProfileEntry> entries;
    forEachKeyIn(bytes, section, [&](const Parsed& parsed) {
        entries.push_back({parsed.name, parsed.value});
        return true;
    });
    return entries;
}

std::optional<std::string_view> IniFile::value(std::string_view section, std::string_view key)
{
    const std::optional<size_t> found = m_sectionIndex.find(trimBlanks(section));
    if (!found)
        return std::nullopt;
    Section& held = m_sections[*found];
    const std::optional<size_t> line = findKey(held, trimBlanks(key));
    if (!line)
        return std::nullopt;
    return classify(contentOf(held.lines[*line])).value;
}

bool IniFile::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    section = trimBlanks(section);
    key = trimBlanks(key);
    if (!readableNames(section, key))
        return false;
    value = firstLine(value);

    Section& target = findOrAppendSection(section);
    if (const std::optional<size_t> line = findKey(target, key)) {
        Line& found = target.lines[*line];
        // A save mostly writes what the file holds already: such a line is
        // left as it is, without a copy of its own.
        if (!spelledAs(contentOf(found), key, value)) {
            write(found, {key, "=", value});
            m_changed = true;
        }
        return true;
    }
    m_changed = true;
    Line& last = target.lines[target.lastContent];
    if (last.ending == Ending::None)
        last.ending = Ending::CrLf;
    Line added;
    write(added, {key, "=", value});
    const size_t at = target.lastContent + 1;
    target.lines.insert(target.lines.begin() + static_cast<std::ptrdiff_t>(at), added);
    target.lastContent = at;
    if (target.keys)
        target.keys->add(key, at);
    return true;
}

IniFile::EditOutcome IniFile::editSection(std::string_view bytes, std::string_view section,
                                          SectionEdit& edit,
                                          const std::function<void(std::string_view)>& out)
{
    section = trimBlanks(section);
    // The new bytes are the old ones with some lines rewritten and some
    // added; `copied` is how far the old ones went to `out`, which they do
    // only once a write changed something before them.
    size_t copied = 0;
    bool changed = false;
    const auto copyTo = [&](size_t end) {
        out(bytes.substr(copied, end - copied));
        copied = end;
    };
    const auto writeLine = [&](const ProfileWrite& made) {
        out(made.key);
        out("=");
        out(made.value);
    };
    // A write as setValue takes it; nullopt when it would refuse it.
    const auto taken = [&](const ProfileWrite& made) -> std::optional<ProfileWrite> {
        const std::string_view key = trimBlanks(made.key);
        if (!readableNames(section, key))
            return std::nullopt;
        return ProfileWrite{key, firstLine(made.value)};
    };

    bool inside = false;
    bool found = false;
    bool refused = false;
    // New keys go after the section's last line that is not blank; a new
    // section after the file's last line, which then gets a line end.
    size_t addAt = bytes.size();
    bool addAfterLineEnd =
        bytes.size() == (bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0) ||
        bytes.ends_with('\n');
    forEachLine(bytes, [&](std::string_view content, size_t endingLength) {
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
        if (!trimBlanks(content).empty()) {
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
            changed = true;
        }
        return true;
    });
    if (refused)
        return EditOutcome::Refused;

    std::optional<ProfileWrite> addition = edit.nextAddition();
    if (addition) {
        copyTo(addAt);
        if (!addAfterLineEnd)
            out("\r\n");
        if (!found) {
            out("[");
            out(section);
            out("]\r\n");
        }
        for (; addition; addition = edit.nextAddition()) {
            const std::optional<ProfileWrite> write = taken(*addition);
            if (!write)
                return EditOutcome::Refused;
            writeLine(*write);
            out("\r\n");
        }
        changed = true;
    }
    if (!changed)
        return EditOutcome::Unchanged;
    copyTo(bytes.size());
    return EditOutcome::Changed;
}

IniFile::Section& IniFile::findOrAppendSection(std::string_view name)
{
    if (const std::optional<size_t> found = m_sectionIndex.find(name))
        return m_sections[*found];
    endLastLine();
    Line header;
    write(header, {"[", name, "]"});
    m_sections.emplace_back();
    m_sections.back().lines.push_back(header);
    m_sectionIndex.add(name, m_sections.size() - 1);
    return m_sections.back();
}

void IniFile::endLastLine()
{
    for (auto section = m_sections.rbegin(); section != m_sections.rend(); ++section) {
        if (!section->lines.empty()) {
            if (section->lines.back().ending == Ending::None)
                section->lines.back().ending = Ending::CrLf;
            return;
        }
    }
}

std::string IniFile::text() const
{
    if (!m_changed)
        return *m_bytes;
    size_t size = 0;
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines)
            size += contentOf(line).size() + 2;
    }
    // The mark stays where it was; the lines leave it out.
    const bool marked = std::string_view(*m_bytes).starts_with(kByteOrderMark);
    std::string bytes;
    bytes.reserve(size + kByteOrderMark.size());
    if (marked)
        bytes += kByteOrderMark;
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            bytes += contentOf(line);
            if (line.ending == Ending::CrLf)
                bytes += "\r\n";
            else if (line.ending == Ending::Lf)
                bytes += '\n';
        }
    }
    return bytes;
}

} // namespace tarvik::platform
