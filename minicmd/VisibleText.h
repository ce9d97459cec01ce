#pragma once
// Names are chosen by whoever made the files, so they may hold line ends,
// terminal escape sequences or markup. Every name the interpreter shows or
// records goes through here first, so that a name can never pass for a line
// of its own, drive the terminal, or format a notification.

#include <string>
#include <string_view>

namespace tarvik::minicmd {

// `text` with every control character (C0, DEL, C1) and every byte that is
// not part of valid UTF-8 written out visibly: "\n", "\t", "\r", "\x1b",
// "\u009b". Anything else, backslashes included, stays as it is.
std::string visible(std::string_view text);

// As visible(), with backslashes doubled as well, so that decoded() gives
// back the exact bytes: for names the record keeps to find files again.
std::string encoded(std::string_view text);
std::string decoded(std::string_view text);

// `text` with &, < and > escaped, for a notification body that takes markup.
std::string markupEscaped(std::string_view text);

} // namespace tarvik::minicmd
