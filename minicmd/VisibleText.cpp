#include "minicmd/VisibleText.h"

#include <cstdio>

namespace tarvik::minicmd {
namespace {

// The length of the valid UTF-8 sequence at the start of `text`, 0 when the
// first byte does not begin one.
std::size_t sequenceLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xbf; // the allowed range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    }
    if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xbf)
            return 0;
    return length;
}

// Whether the byte `c` stands for itself in what is written.
bool standsForItself(char c, bool backslashes)
{
    return c >= 0x20 && c < 0x7f && !(c == '\\' && backslashes);
}

std::string written(std::string_view text, bool backslashes)
{
    std::string out;
    out.reserve(text.size());
    char code[8];
    for (std::size_t i = 0; i < text.size();) {
        // Every name of every copy passes through here: the bytes that stand
        // for themselves, nearly all of them, are taken a run at a time.
        std::size_t run = i;
        while (run < text.size() && standsForItself(text[run], backslashes))
            ++run;
        out.append(text.substr(i, run - i));
        if (run == text.size())
            break;
        i = run;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = sequenceLength(text.substr(i));
            const bool c1 =
                length == 2 && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0;
            if (length > 0 && !c1) {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
            if (c1) {
                std::snprintf(code, sizeof code, "\\u%04x",
                              static_cast<unsigned char>(text[i + 1]));
                out += code;
                i += 2;
                continue;
            }
        }
        ++i;
        if (c == '\\' && backslashes)
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else { // any other control byte, or one that begins no sequence
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string visible(std::string_view text)
{
    return written(text, false);
}

std::string encoded(std::string_view text)
{
    return written(text, true);
}

std::string decoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char kind = text[++i];
        if (kind == 'n')
            out += '\n';
        else if (kind == 't')
            out += '\t';
        else if (kind == 'r')
            out += '\r';
        else if ((kind == 'x' || kind == 'u') && i + (kind == 'x' ? 2 : 4) < text.size() + 0) {
            const std::size_t digits = kind == 'x' ? 2 : 4;
            int value = 0;
            for (std::size_t d = 1; d <= digits; ++d)
                value = value * 16 + std::max(0, hexDigit(text[i + d]));
            i += digits;
            if (kind == 'u') // only C1 controls are written this way
                out += static_cast<char>(0xc2);
            out += static_cast<char>(value);
        } else
            out += kind; // "\\"
    }
    return out;
}

std::string markupEscaped(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

} // namespace tarvik::minicmd
