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

IniFile::IniFile(std::string_view bytes)
{
    forEachLine(bytes, [this](std::string_view content, size_t endingLength) {
        addLine(content, endingLength == 0   ? Ending::None
                         : endingLength == 1 ? Ending::Lf
                                             : Ending::CrLf);
        return true;
    });
}

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
    section->lines.push_back({std::string(content), ending});
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
        entries.push_back({std::string(parsed.name), std::string(parsed.value)});
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
    return classify(found.lines[line->second].content).value;
}

bool IniFile::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    section = trimBlanks(section);
    key = trimBlanks(key);
    if (section.find_first_of("]\r\n") != section.npos || key.empty() ||
        key.find_first_of("=\r\n") != key.npos || key.front() == '[' || key.front() == ';')
        return false;
    value = value.substr(0, value.find('\n'));
    auto spell = [&](std::string& content) { content.assign(key).append(1, '=').append(value); };

    Section& target = findOrAppendSection(section);
    const auto line = target.keys.find(lowerInto(m_nameBuffer, key));
    if (line != target.keys.end()) {
        spell(target.lines[line->second].content);
        return true;
    }
    std::string content;
    spell(content);
    Line& last = target.lines[target.lastContent];
    if (last.ending == Ending::None)
        last.ending = Ending::CrLf;
    const size_t at = target.lastContent + 1;
    target.lines.insert(target.lines.begin() + static_cast<std::ptrdiff_t>(at),
                        Line{std::move(content), Ending::CrLf});
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
    m_sections.emplace_back();
    m_sections.back().lines.push_back({std::move(header), Ending::CrLf});
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
            size += line.content.size() + 2;
    }
    std::string bytes;
    bytes.reserve(size);
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            bytes += line.content;
            if (line.ending == Ending::CrLf)
                bytes += "\r\n";
            else if (line.ending == Ending::Lf)
                bytes += '\n';
        }
    }
    return bytes;
}

} // namespace tarvik::platform
