#include "gui/MemoLines.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QRect>
#include <QTextBlock>
#include <QTextLayout>

namespace tarvik::gui {
namespace {

std::vector<QRect> geometries(const QWidget& page)
{
    std::vector<QRect> all;
    for (const QWidget* widget : page.findChildren<QWidget*>())
        all.push_back(widget->geometry());
    return all;
}

// A scroll area shows or hides its scroll bars a moment after its content
// changed size, which narrows or widens its view and with it a memo's
// wrapping. Those steps are taken at once, for as long as they change a
// size; the bound stops a view whose scroll bar would come and go for ever.
void settle(QWidget& page)
{
    constexpr int kMaxRounds = 8;
    for (int round = 0; round < kMaxRounds; ++round) {
        const std::vector<QRect> before = geometries(page);
        for (QWidget* widget : page.findChildren<QWidget*>())
            QCoreApplication::sendPostedEvents(widget, QEvent::MetaCall);
        if (geometries(page) == before)
            return;
    }
}

} // namespace

std::vector<QString> memoLines(const QPlainTextEdit& memo)
{
    const QTextDocument* document = memo.document();
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    std::vector<QString> lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        // Lays out a block that has not been laid out yet.
        layout->blockBoundingRect(block);
        const QString text = block.text();
        const QTextLayout* pieces = block.layout();
        if (!pieces || pieces->lineCount() == 0) {
            lines.push_back(text.left(kMemoLineLimit));
            continue;
        }
        for (int i = 0; i < pieces->lineCount(); ++i) {
            const QTextLine line = pieces->lineAt(i);
            QString piece = text.mid(line.textStart(), line.textLength());
            // A line break inside a paragraph ends its piece; it is not text.
            if (piece.endsWith(QChar::LineSeparator))
                piece.chop(1);
            lines.push_back(piece.left(kMemoLineLimit));
        }
    }
    if (!lines.empty() && lines.back().isEmpty())
        lines.pop_back();
    return lines;
}

void layOutAsDisplayedPage(QWidget& page)
{
    QWidget* stack = page.parentWidget();
    if (page.isVisible() || !stack || !stack->isVisible())
        return;
    // The tab widget's page stack gives its displayed page all of its room.
    page.setGeometry(stack->contentsRect());
    // Qt sizes a hidden page's controls only when the page is shown, and a
    // memo decides on its scroll bar by what it shows. The page is shown and
    // hidden again before anything is painted, so it is never on screen.
    page.show();
    settle(page);
    page.hide();
}

} // namespace tarvik::gui
