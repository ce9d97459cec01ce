#include "minicmd/LineOutput.h"

#include <cerrno>
#include <cstdint>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

void put(std::string& out, const std::string& text)
{
    const auto size = static_cast<std::uint32_t>(text.size());
    out.append(reinterpret_cast<const char*>(&size), sizeof size);
    out += text;
}

template <typename T> void put(std::string& out, const T& value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
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

bool writeAllAt(int fd, const std::string& bytes, off_t offset)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                     offset + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
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
    if (m_kept.size() < kKeptInMemory) {
        m_kept.push_back(std::move(said));
        return;
    }
    if (m_spillFailed) {
        m_afterSpill.push_back(std::move(said));
        return;
    }
    put(m_pending, static_cast<unsigned char>(said.kind));
    put(m_pending, said.text);
    if (said.kind == Kind::Copied) {
        put(m_pending, said.copy.bytes);
        put(m_pending, said.copy.modified);
        put(m_pending, said.copy.hash);
        put(m_pending, said.folder);
    }
    if (m_pending.size() >= kSpillStep)
        spill();
}

bool LineOutput::read(std::FILE* file, Said& said)
{
    unsigned char kind = 0;
    if (!get(file, kind))
        return false;
    said.kind = static_cast<Kind>(kind);
    return get(file, said.text) && (said.kind != Kind::Copied ||
                                    (get(file, said.copy.bytes) && get(file, said.copy.modified) &&
                                     get(file, said.copy.hash) && get(file, said.folder)));
}

void LineOutput::spill()
{
    if (m_pending.empty())
        return;
    if (!m_spilled && !m_spillFailed)
        m_spilled = std::tmpfile();
    if (m_spilled && !m_spillFailed && writeAllAt(::fileno(m_spilled), m_pending, m_spilledSize)) {
        m_spilledSize += static_cast<off_t>(m_pending.size());
        m_pending.clear();
        return;
    }
    // The temporary file failed (its disk full): what it took whole is read
    // back from it, as far as m_spilledSize, and memory keeps the rest.
    m_spillFailed = true;
    if (std::FILE* pending = ::fmemopen(m_pending.data(), m_pending.size(), "r")) {
        for (Said said{Kind::Line, {}, {}, {}}; read(pending, said);)
            m_afterSpill.push_back(said);
        std::fclose(pending);
    }
    m_pending.clear();
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
    spill();
    m_deferred = false;
    for (const Said& said : m_kept)
        say(said);
    m_kept.clear();
    m_kept.shrink_to_fit();
    bool whole = true;
    if (m_spilled) {
        std::rewind(m_spilled);
        Said said{Kind::Line, {}, {}, {}};
        for (off_t told = 0; whole && told < m_spilledSize; told = std::ftell(m_spilled)) {
            whole = read(m_spilled, said);
            if (whole)
                say(said);
        }
        std::fclose(m_spilled);
        m_spilled = nullptr;
    }
    for (const Said& said : m_afterSpill)
        say(said);
    m_afterSpill.clear();
    return whole;
}

} // namespace tarvik::minicmd
