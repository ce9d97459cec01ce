#pragma once
// The lines of a memo as the memo shows them: each wrapped piece of a long
// paragraph is a line of its own, and an empty last line is not counted.

#include <QString>
#include <vector>

class QPlainTextEdit;

namespace tarvik::gui {

// Longest line read from a memo; the rest of a longer line is not read.
inline constexpr int kMemoLineLimit = 4096;

std::vector<QString> memoLines(const QPlainTextEdit& memo);

} // namespace tarvik::gui
