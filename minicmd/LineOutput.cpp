#include "minicmd/LineOutput.h"

#include <cstdint>

namespace tarvik::minicmd {
namespace {

void put(std::FILE* file, const std::string& text)
{
    const auto size = static_cast<std::uint32_t>(text.size());
    std::fwrite(&size, sizeof size, 1, file);
    std::fwrite(text.data(), 1, text.size(), file);
}

bool get(std::FILE* file, std::string& text)
{
    std::uint32_t size = 0;
    if (std::fread(&size, sizeof size, 1, file) != 1)
        return false;
    text.resize(size);
    return std::fread(text.data(), 1, size, file) == size;
}

template <typename T> bool get(std::FILE* file, T& value)
{
    return std::fread(&value, sizeof value, 1, file) == 1;
}

} // namespace

LineOutput::~LineOutput()
{
    if (m_spilled)
        std::fclose(m_spilled);
}

void LineOutput::line(const std::string& text)
{
    if (m_deferred)
        keep({Kind::Line, text, {}, {}});
    else
        m_console.line(text);
}

void LineOutput::error(const std::string& text)
{
    if (m_deferred)
        keep({Kind::Error, text, {}, {}});
    else
        m_console.error(text);
}

void LineOutput::leftOut()
{
    if (m_deferred)
        keep({Kind::LeftOut, {}, {}, {}});
    else
        m_console.leftOut();
}

void LineOutput::copied(const std::string& destination, const CopiedFile& copy,
                        const std::string& folder)
{
    if (m_deferred)
        keep({Kind::Copied, destination, copy, folder});
    else
        m_console.copied(destination, copy, folder);
}

void LineOutput::keep(Said said)
{
    if (m_kept.size() < kKeptInMemory || (!m_spilled && !(m_spilled = std::tmpfile()))) {
        m_kept.push_back(std::move(said));
        return;
    }
    const auto kind = static_cast<unsigned char>(said.kind);
    std::fwrite(&kind, 1, 1, m_spilled);
    put(m_spilled, said.text);
    if (said.kind == Kind::Copied) {
        std::fwrite(&said.copy.bytes, sizeof said.copy.bytes, 1, m_spilled);
        std::fwrite(&said.copy.modified, sizeof said.copy.modified, 1, m_spilled);
        put(m_spilled, said.copy.hash);
        put(m_spilled, said.folder);
    }
}

void LineOutput::say(const Said& said)
{
    switch (said.kind) {
    case Kind::Line:
        m_console.line(said.text);
        break;
    case Kind::Error:
        m_console.error(said.text);
        break;
    case Kind::LeftOut:
        m_console.leftOut();
        break;
    case Kind::Copied:
        m_console.copied(said.text, said.copy, said.folder);
        break;
    }
}

bool LineOutput::release()
{
    m_deferred = false;
    for (const Said& said : m_kept)
        say(said);
    m_kept.clear();
    m_kept.shrink_to_fit();
    if (!m_spilled)
        return true;
    bool whole = std::fflush(m_spilled) == 0 && !std::ferror(m_spilled);
    std::rewind(m_spilled);
    Said said{Kind::Line, {}, {}, {}};
    unsigned char kind = 0;
    while (whole && get(m_spilled, kind)) {
        said.kind = static_cast<Kind>(kind);
        whole = get(m_spilled, said.text);
        if (whole && said.kind == Kind::Copied)
            whole = get(m_spilled, said.copy.bytes) && get(m_spilled, said.copy.modified) &&
                    get(m_spilled, said.copy.hash) && get(m_spilled, said.folder);
        if (whole)
            say(said);
    }
    whole = whole && !std::ferror(m_spilled);
    std::fclose(m_spilled);
    m_spilled = nullptr;
    return whole;
}

} // namespace tarvik::minicmd
