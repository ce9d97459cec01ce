#pragma once
// The lines of a memo as the memo shows them: each wrapped piece of a long
// paragraph is a line of its own, and an empty last line is not counted.

#include <QString>
#include <vector>

class QPlainTextEdit;
class QWidget;

namespace tarvik::gui {

// Longest line read from a memo; the rest of a longer line is not read.
inline constexpr int kMemoLineLimit = 4096;

std::vector<QString> memoLines(const QPlainTextEdit& memo);

// Lays out `page`, a page of a tab widget, in the page area that all its
// pages share, also while it is not displayed: a hidden widget is otherwise
// laid out only when it is shown, and a memo on it would wrap at whatever
// width it last had. Does nothing to a displayed page.
void layOutAsDisplayedPage(QWidget& page);

} // namespace tarvik::gui
