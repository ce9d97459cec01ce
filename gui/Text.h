#pragma once
// Core and platform hold text as the system's 8-bit bytes; widgets hold
// QString. Conversions happen here, at the widget boundary, with the locale's
// 8-bit encoding.
//
// Every 8-bit encoding a system may use for this (UTF-8 on Unix, an ANSI code
// page on Windows) spells the ASCII characters as their own codes, so text of
// ASCII alone converts code for code; that short way is taken first, as it
// costs a fraction of the encoding's own converter (which matters when a list
// of thousands of items is loaded or saved).

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::gui {

inline QString toQt(std::string_view text)
{
    unsigned char bits = 0;
    for (const char c : text)
        bits |= static_cast<unsigned char>(c);
    if (bits < 0x80)
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string fromQt(const QString& text)
{
    std::string ascii(static_cast<size_t>(text.size()), '\0');
    std::uint16_t bits = 0;
    const QChar* codes = text.constData();
    for (size_t i = 0; i < ascii.size(); ++i) {
        bits |= codes[i].unicode();
        ascii[i] = static_cast<char>(codes[i].unicode());
    }
    if (bits < 0x80)
        return ascii;
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace tarvik::gui
