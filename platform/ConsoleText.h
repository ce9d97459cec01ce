#pragma once
// Text for the command interpreter. The program's texts are in the ANSI code
// page, but the Windows command interpreter reads a batch file in the
// console's (OEM) code page: a folder named with letters outside ASCII is
// found only when the script spells it in that code page. ASCII text is the
// same in both.

#include <optional>
#include <string>
#include <string_view>

namespace tarvik::platform {

#ifdef _WIN32
// `ansiText` in the OEM code page; nullopt when a character has no exact form
// there (a near form, as "S" for "Š", would name another folder).
std::optional<std::string> toConsoleCodePage(std::string_view ansiText);

// `text` from code page `from` into code page `to`, refused as above; what
// toConsoleCodePage does with the machine's two code pages.
std::optional<std::string> convertCodePage(std::string_view text, unsigned from, unsigned to);
#else
// The stand-in interpreter reads the script's bytes as they are.
inline std::optional<std::string> toConsoleCodePage(std::string_view ansiText)
{
    return std::string(ansiText);
}
#endif

} // namespace tarvik::platform
