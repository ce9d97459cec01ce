#include "minicmd/LineOutput.h"

namespace tarvik::minicmd {

void LineOutput::line(const std::string& text)
{
    if (m_deferred)
        m_kept.push_back({Kind::Line, text, {}, {}});
    else
        m_console.line(text);
}

void LineOutput::error(const std::string& text)
{
    if (m_deferred)
        m_kept.push_back({Kind::Error, text, {}, {}});
    else
        m_console.error(text);
}

void LineOutput::leftOut()
{
    if (m_deferred)
        m_kept.push_back({Kind::LeftOut, {}, {}, {}});
    else
        m_console.leftOut();
}

void LineOutput::copied(const std::string& destination, const CopiedFile& copy,
                        const std::string& folder)
{
    if (m_deferred)
        m_kept.push_back({Kind::Copied, destination, copy, folder});
    else
        m_console.copied(destination, copy, folder);
}

void LineOutput::release()
{
    m_deferred = false;
    for (const Said& said : m_kept) {
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
    m_kept.clear();
    m_kept.shrink_to_fit();
}

} // namespace tarvik::minicmd
