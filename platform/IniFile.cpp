#include "IniFile.h"

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

// Calls visit(content, endingLength) for every line of `bytes`; `content`
// excludes the line end. Stops early when visit returns false.
template <class Visit> void forEachLine(std::string_view bytes, Visit&& visit)
{
    size_t start = 0;
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

IniFile::IniFile(std::string bytes) : m_bytes(std::move(bytes))
{
    forEachLine(m_bytes, [this](std::string_view content, size_t endingLength) {
        addLine(content, endingLength == 0   ? Ending::None
                         : endingLength == 1 ? Ending::Lf
                                             : Ending::CrLf);
        return true;
    });
}

std::string_view IniFile::contentOf(const Line& line) const
{
    if (line.written != kAsRead)
        return m_written[line.written];
    return std::string_view(m_bytes).substr(line.begin, line.size);
}

std::string& IniFile::writtenContent(Line& line)
{
    if (line.written == kAsRead) {
        line.written = static_cast<std::uint32_t>(m_written.size());
        m_written.emplace_back();
    }
    return m_written[line.written];
}

IniFile::Line IniFile::writtenLine(std::string content, Ending ending)
{
    Line line;
    line.ending = ending;
    writtenContent(line) = std::move(content);
    return line;
}

// `content` lies in m_bytes.
void IniFile::addLine(std::string_view content, Ending ending)
{
    const Parsed parsed = classify(content);
    Section* section = &m_sections.back();
    if (parsed.kind == Kind::Header) {
        m_sections.emplace_back();
        section = &m_sections.back();
        m_sectionIndex.try_emplace(lowered(parsed.name), m_sections.size() - 1);
    } else if (parsed.kind == Kind::Key) {
        section->keys.try_emplace(lowered(parsed.name), section->lines.size());
    }
    if (!trimBlanks(content).empty())
        section->lastContent = section->lines.size();
    section->lines.push_back(
        {static_cast<size_t>(content.data() - m_bytes.data()), content.size(), kAsRead, ending});
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

std::optional<std::string_view> IniFile::value(std::string_view section, std::string_view key) const
{
    section = trimBlanks(section);
    key = trimBlanks(key);
    const auto where = m_sectionIndex.find(lowered(section));
    if (where == m_sectionIndex.end())
        return std::nullopt;
    const Section& found = m_sections[where->second];
    const auto line = found.keys.find(lowerInto(m_nameBuffer, key));
    if (line == found.keys.end())
        return std::nullopt;
    return classify(contentOf(found.lines[line->second])).value;
}

bool IniFile::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    section = trimBlanks(section);
    key = trimBlanks(key);
    if (holdsAny(section, "]\r\n") || key.empty() || holdsAny(key, "=\r\n") || key.front() == '[' ||
        key.front() == ';')
        return false;
    value = value.substr(0, value.find('\n'));
    auto spell = [&](std::string& content) { content.assign(key).append(1, '=').append(value); };

    Section& target = findOrAppendSection(section);
    const auto line = target.keys.find(lowerInto(m_nameBuffer, key));
    if (line != target.keys.end()) {
        Line& found = target.lines[line->second];
        // A save mostly writes what the file holds already: such a line is
        // left as it is, without a copy of its own.
        if (!spelledAs(contentOf(found), key, value))
            spell(writtenContent(found));
        return true;
    }
    std::string content;
    spell(content);
    Line& last = target.lines[target.lastContent];
    if (last.ending == Ending::None)
        last.ending = Ending::CrLf;
    const size_t at = target.lastContent + 1;
    target.lines.insert(target.lines.begin() + static_cast<std::ptrdiff_t>(at),
                        writtenLine(std::move(content), Ending::CrLf));
    target.keys.emplace(m_nameBuffer, at);
    target.lastContent = at;
    return true;
}

IniFile::Section& IniFile::findOrAppendSection(std::string_view name)
{
    // A store writes many keys to one section in a row.
    if (m_lastSection && m_lastSectionName == name)
        return m_sections[*m_lastSection];
    const auto where = m_sectionIndex.find(lowerInto(m_nameBuffer, name));
    if (where == m_sectionIndex.end())
        appendSection(name);
    m_lastSection = where == m_sectionIndex.end() ? m_sections.size() - 1 : where->second;
    m_lastSectionName = name;
    return m_sections[*m_lastSection];
}

IniFile::Section& IniFile::appendSection(std::string_view name)
{
    endLastLine();
    std::string header;
    header.reserve(name.size() + 2);
    header.append(1, '[').append(name).append(1, ']');
    Line line = writtenLine(std::move(header), Ending::CrLf);
    m_sections.emplace_back();
    m_sections.back().lines.push_back(line);
    m_sectionIndex.try_emplace(lowered(name), m_sections.size() - 1);
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
    size_t size = 0;
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines)
            size += contentOf(line).size() + 2;
    }
    std::string bytes;
    bytes.reserve(size);
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
