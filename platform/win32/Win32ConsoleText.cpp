#include "platform/ConsoleText.h"

#include <windows.h>

namespace tarvik::platform {

std::optional<std::string> toConsoleCodePage(std::string_view ansiText)
{
    if (ansiText.empty())
        return std::string();
    const int size = static_cast<int>(ansiText.size());
    const int wideLength =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansiText.data(), size, nullptr, 0);
    if (wideLength <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansiText.data(), size, wide.data(),
                          wideLength);

    BOOL usedDefault = FALSE;
    const int length = ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                             wideLength, nullptr, 0, nullptr, &usedDefault);
    if (length <= 0 || usedDefault)
        return std::nullopt;
    std::string oem(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, oem.data(),
                          length, nullptr, &usedDefault);
    if (usedDefault)
        return std::nullopt;
    return oem;
}

} // namespace tarvik::platform
