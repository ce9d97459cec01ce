#pragma once
// Splits one line of a batch script into words the way the Windows command
// interpreter does for the commands our scripts hold.

#include <string>
#include <string_view>
#include <vector>

namespace tarvik::minicmd {

// The longest line the interpreter accepts; longer ones are refused whole.
inline constexpr std::size_t kMaxLineLength = 8191;

struct ParsedLine
{
    std::vector<std::string> words;
    // Empty when the line may run; otherwise the message that refuses it.
    std::string refusal;
};

// Blanks and tabs split words outside double quotes; quotes group and are
// dropped; "%%" is one "%"; "^" takes the next character literally outside
// quotes. An unquoted &, |, < or > would chain or redirect commands, which the
// interpreter never does: such a line is refused, as is a lone "%" (variable
// expansion is not supported, and guessing would copy from the wrong place).
ParsedLine parseCommandLine(std::string_view line);

} // namespace tarvik::minicmd
