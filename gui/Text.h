#pragma once
// Core and platform hold text as the system's 8-bit bytes; widgets hold
// QString. Conversions happen here, at the widget boundary, with the locale's
// 8-bit encoding.

#include <QString>
#include <string>

namespace tarvik::gui {

inline QString toQt(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string fromQt(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace tarvik::gui
