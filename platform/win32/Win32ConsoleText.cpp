#include "platform/ConsoleText.h"

#include <windows.h>

namespace tarvik::platform {

std::optional<std::string> convertCodePage(std::string_view text, unsigned from, unsigned to)
{
    if (text.empty())
        return std::string();
    const int size = static_cast<int>(text.size());
    const int wideLength =
        ::MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (wideLength <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), wideLength);

    // UTF-8 (the console's code page where Windows is set to use it for
    // every language) spells every letter, and takes neither the flag nor
    // the question whether a default was used: asked them, it fails.
    const bool utf8 = to == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const askUsedDefault = utf8 ? nullptr : &usedDefault;
    const int length = ::WideCharToMultiByte(to, flags, wide.data(), wideLength, nullptr, 0,
                                             nullptr, askUsedDefault);
    if (length <= 0 || usedDefault)
        return std::nullopt;
    std::string converted(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(to, flags, wide.data(), wideLength, converted.data(), length, nullptr,
                          askUsedDefault);
    if (usedDefault)
        return std::nullopt;
    return converted;
}

std::optional<std::string> toConsoleCodePage(std::string_view ansiText)
{
    return convertCodePage(ansiText, ::GetACP(), ::GetOEMCP());
}

} // namespace tarvik::platform
