#include "platform/TextFile.h"

#include "platform/NativeFile.h"

namespace tarvik::platform {
namespace {
// Large enough that a script of a few thousand lines costs a handful of
// system calls, small enough not to matter.
constexpr std::size_t kBufferSize = 64 * 1024;
} // namespace

TextFile::TextFile() : m_handle(-1) {}

TextFile::~TextFile()
{
    if (m_open)
        native::closeFile(m_handle);
}

int TextFile::openAppendOrCreate(const std::string& path)
{
    return open(path, false);
}

int TextFile::createNew(const std::string& path)
{
    return open(path, true);
}

int TextFile::open(const std::string& path, bool createNew)
{
    if (m_open) {
        m_open = false;
        native::closeFile(m_handle);
    }
    m_buffer.clear();
    const int code = native::openTextFile(
        path, createNew ? native::OpenMode::CreateNew : native::OpenMode::AppendOrCreate, m_handle);
    m_open = code == fileCode::Ok;
    if (m_open)
        m_buffer.reserve(kBufferSize);
    return code;
}

int TextFile::writeLine(std::string_view line)
{
    if (!m_open)
        return fileCode::NotOpen;
    // A line longer than the buffer simply makes it grow for once.
    if (!m_buffer.empty() && m_buffer.size() + line.size() + 2 > kBufferSize) {
        if (const int code = writeBuffer())
            return code;
    }
    m_buffer += line;
    m_buffer += "\r\n";
    return fileCode::Ok;
}

int TextFile::flush()
{
    if (!m_open)
        return fileCode::NotOpen;
    return writeBuffer();
}

int TextFile::close()
{
    if (!m_open)
        return fileCode::NotOpen;
    const int flushed = writeBuffer();
    m_open = false;
    const int closed = native::closeFile(m_handle);
    return flushed ? flushed : closed;
}

int TextFile::writeBuffer()
{
    if (m_buffer.empty())
        return fileCode::Ok;
    const int code = native::writeAll(m_handle, m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return code;
}

} // namespace tarvik::platform
