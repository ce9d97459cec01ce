#include "MemoLines.h"

#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

namespace tarvik::gui {

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

} // namespace tarvik::gui
