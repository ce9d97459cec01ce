#include "IniFile.h"

#include <algorithm>

namespace tarvik::platform {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimBlanks(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Into a buffer the caller keeps, so that a run of writes allocates nothing.
const std::string& lowerInto(std::string& buffer, std::string_view text)
{
    buffer.assign(text);
    for (char& c : buffer)
        c = lower(c);
    return buffer;
}

std::string lowered(std::string_view text)
{
    std::string result;
    return lowerInto(result, text);
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// FNV-1a over the lower-case name, seeded with the section's index, then
// mixed so that the low bits a table uses differ for names that differ only
// in their last digits ("sVal17", "sVal18").
std::uint64_t keyHash(size_t section, std::string_view name)
{
    std::uint64_t hash = 14695981039346656037ull ^ (section * 0x9E3779B97F4A7C15ull);
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(lower(c));
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 33;
    return hash;
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
{}

std::shared_ptr<const std::string> IniFile::bytesAsRead() const
{
    return m_changed ? nullptr : m_bytes;
}

void IniFile::splitLines()
{
    if (m_split)
        return;
    m_split = true;
    forEachLine(*m_bytes, [this](std::string_view content, size_t endingLength) {
        addLine(content, endingLength == 0   ? Ending::None
                         : endingLength == 1 ? Ending::Lf
                                             : Ending::CrLf);
        return true;
    });
}

// The line of the first key `key` of the first section `section`, found by
// walking the bytes as read, as long as such walks have not gone through as
// many bytes as the file has; after that the file is split into lines, and
// lines are found through them (nullopt here). Names are trimmed already.
std::optional<std::optional<std::string_view>> IniFile::walkToKey(std::string_view section,
                                                                  std::string_view key)
{
    if (m_split || m_bytesSearched >= m_bytes->size()) {
        splitLines();
        return std::nullopt;
    }
    std::optional<std::string_view> found;
    bool inside = false;
    forEachLine(*m_bytes, [&](std::string_view content, size_t endingLength) {
        m_bytesSearched += content.size() + endingLength;
        const Parsed parsed = classify(content);
        if (parsed.kind == Kind::Header) {
            if (inside)
                return false;
            inside = sameName(parsed.name, section);
        } else if (inside && parsed.kind == Kind::Key && sameName(parsed.name, key)) {
            found = content;
            return false;
        }
        return true;
    });
    return found;
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
    // Only headers matter here; keys are found when they are looked for.
    const std::string_view trimmed = trimBlanks(content);
    Section* section = &m_sections.back();
    if (!trimmed.empty() && trimmed.front() == '[') {
        m_sections.emplace_back();
        section = &m_sections.back();
        m_sectionIndex.try_emplace(lowered(classify(trimmed).name), m_sections.size() - 1);
    }
    ++m_lineCount;
    if (!trimmed.empty())
        section->lastContent = section->lines.size();
    section->lines.push_back(
        {static_cast<size_t>(content.data() - m_bytes->data()), content.size(), ending, false});
}

std::optional<size_t> IniFile::findKey(size_t section, std::string_view name) const
{
    if (!m_keysIndexed && m_linesSearched < m_lineCount) {
        const std::vector<Line>& lines = m_sections[section].lines;
        for (size_t line = 0; line < lines.size(); ++line) {
            const Parsed parsed = classify(contentOf(lines[line]));
            if (parsed.kind == Kind::Key && sameName(parsed.name, name)) {
                m_linesSearched += line + 1;
                return line;
            }
        }
        m_linesSearched += lines.size();
        return std::nullopt;
    }
    if (!m_keysIndexed)
        buildKeyIndex();
    if (const std::optional<size_t> next = nextKeyLine(section, name)) {
        m_cursor = {section, *next};
        return next;
    }
    // Of two keys of one name the first line counts, wherever the table put
    // them.
    const std::uint64_t hash = keyHash(section, name);
    const size_t mask = m_keySlots.size() - 1;
    std::optional<size_t> first;
    for (size_t slot = hash & mask; m_keySlots[slot].line != kNoLine; slot = (slot + 1) & mask) {
        const KeySlot& candidate = m_keySlots[slot];
        if (candidate.hash == hash && candidate.section == section &&
            (!first || candidate.line < *first) &&
            sameName(classify(contentOf(m_sections[section].lines[candidate.line])).name, name))
            first = candidate.line;
    }
    if (first)
        m_cursor = {section, *first};
    return first;
}

// A store writes a list's keys in the order the file holds them: the key
// line after the one found last, when it has the name looked for and no
// earlier line of its section has that name too, is the answer without a
// search of the table.
std::optional<size_t> IniFile::nextKeyLine(size_t section, std::string_view name) const
{
    if (!m_cursor || m_cursor->first != section)
        return std::nullopt;
    const std::vector<Line>& lines = m_sections[section].lines;
    constexpr size_t kLinesAhead = 4; // blank lines or comments between keys
    for (size_t line = m_cursor->second + 1;
         line < lines.size() && line <= m_cursor->second + kLinesAhead; ++line) {
        const Parsed parsed = classify(contentOf(lines[line]));
        if (parsed.kind != Kind::Key)
            continue;
        if (sameName(parsed.name, name) && !m_laterDuplicates.contains(lineKey(section, line)))
            return line;
        return std::nullopt;
    }
    return std::nullopt;
}

void IniFile::buildKeyIndex() const
{
    m_keysIndexed = true;
    // Room for every line at most half full, so that the table never grows
    // while it is built.
    size_t slots = 64;
    while (slots < 2 * m_lineCount)
        slots *= 2;
    m_keySlots.assign(slots, KeySlot{});
    for (size_t section = 0; section < m_sections.size(); ++section) {
        const std::vector<Line>& lines = m_sections[section].lines;
        for (size_t line = 0; line < lines.size(); ++line) {
            const Parsed parsed = classify(contentOf(lines[line]));
            if (parsed.kind == Kind::Key)
                addKey(section, parsed.name, line);
        }
    }
}

// Records `line` for the key; a search picks the first of a name.
void IniFile::addKey(size_t section, std::string_view name, size_t line) const
{
    // Kept at most half full, so that a search ends soon at an empty slot.
    if (2 * (m_keyCount + 1) > m_keySlots.size()) {
        std::vector<KeySlot> old(std::max<size_t>(64, 2 * m_keySlots.size()));
        old.swap(m_keySlots);
        const size_t mask = m_keySlots.size() - 1;
        for (const KeySlot& moved : old) {
            if (moved.line == kNoLine)
                continue;
            size_t slot = moved.hash & mask;
            while (m_keySlots[slot].line != kNoLine)
                slot = (slot + 1) & mask;
            m_keySlots[slot] = moved;
        }
    }
    const std::uint64_t hash = keyHash(section, name);
    const size_t mask = m_keySlots.size() - 1;
    size_t slot = hash & mask;
    for (; m_keySlots[slot].line != kNoLine; slot = (slot + 1) & mask) {
        const KeySlot& other = m_keySlots[slot];
        if (other.hash == hash && other.section == section &&
            sameName(classify(contentOf(m_sections[section].lines[other.line])).name, name))
            m_laterDuplicates.insert(lineKey(section, std::max<size_t>(line, other.line)));
    }
    m_keySlots[slot] = {hash, static_cast<std::uint32_t>(section),
                        static_cast<std::uint32_t>(line)};
    ++m_keyCount;
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
    section = trimBlanks(section);
    key = trimBlanks(key);
    if (const auto walked = walkToKey(section, key)) {
        if (!*walked)
            return std::nullopt;
        return classify(**walked).value;
    }
    const auto where = m_sectionIndex.find(lowered(section));
    if (where == m_sectionIndex.end())
        return std::nullopt;
    const std::optional<size_t> line = findKey(where->second, key);
    if (!line)
        return std::nullopt;
    return classify(contentOf(m_sections[where->second].lines[*line])).value;
}

bool IniFile::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    section = trimBlanks(section);
    key = trimBlanks(key);
    if (holdsAny(section, "]\r\n") || key.empty() || holdsAny(key, "=\r\n") || key.front() == '[' ||
        key.front() == ';')
        return false;
    value = value.substr(0, value.find('\n'));
    // A write that changes nothing is told by walking the bytes as read: a
    // file read for a write or two that it holds already is never split.
    if (const auto walked = walkToKey(section, key)) {
        if (*walked && spelledAs(**walked, key, value))
            return true;
        splitLines();
    }

    const size_t targetIndex = findOrAppendSection(section);
    Section& target = m_sections[targetIndex];
    if (const std::optional<size_t> line = findKey(targetIndex, key)) {
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
    ++m_lineCount;
    if (m_keysIndexed) {
        addKey(targetIndex, key, at);
        m_cursor = {targetIndex, at};
    }
    return true;
}

size_t IniFile::findOrAppendSection(std::string_view name)
{
    // A store writes many keys to one section in a row.
    if (m_lastSection && m_lastSectionName == name)
        return *m_lastSection;
    const auto where = m_sectionIndex.find(lowerInto(m_nameBuffer, name));
    if (where == m_sectionIndex.end())
        appendSection(name);
    m_lastSection = where == m_sectionIndex.end() ? m_sections.size() - 1 : where->second;
    m_lastSectionName = name;
    return *m_lastSection;
}

void IniFile::appendSection(std::string_view name)
{
    endLastLine();
    Line line;
    write(line, {"[", name, "]"});
    m_sections.emplace_back();
    m_sections.back().lines.push_back(line);
    ++m_lineCount;
    m_sectionIndex.try_emplace(lowered(name), m_sections.size() - 1);
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
