// "Create Note" on the Notes page, clicked in the real main window, and the
// memo's lines as the memo shows them.

#include "ShownWindow.h"
#include "gui/MemoLines.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>

using windowtest::ShownWindow;

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString paragraph(int words, int first = 0)
{
    QStringList list;
    for (int i = first; i < first + words; ++i)
        list << QStringLiteral("word%1").arg(i);
    return list.join(QLatin1Char(' '));
}

} // namespace

class NotesPageTest : public QObject
{
    Q_OBJECT

  private slots:
    void createNoteWritesTheMemo_data();
    void createNoteWritesTheMemo();
    void fileFollowsTheChangesFromDate();
    void wrappedParagraphGivesOneLinePerPiece();
    void hiddenPageWrapsAsWhenDisplayed_data();
    void hiddenPageWrapsAsWhenDisplayed();
    void missingBackupDirectoryIsReported();
    void memoLineIsReadUpToItsLimit();

  private:
    // Shows the Notes page, which the program itself never does, so that
    // the memo is laid out as the user would see it.
    static bool showNotesPage(ShownWindow& shown)
    {
        QTabWidget* pages = shown.form->PageControl1;
        pages->setTabVisible(pages->indexOf(shown.form->TabSheet2), true);
        pages->setCurrentWidget(shown.form->TabSheet2);
        return QTest::qWaitFor([&] { return shown.form->NotesMemo->isVisible(); });
    }
    static void createNote(ShownWindow& shown)
    {
        QTest::mouseClick(shown.form->SpeedButton2, Qt::LeftButton);
    }
    // The page control lays out its shown page once the window has its size.
    static bool resizeWindow(ShownWindow& shown, const QSize& size)
    {
        shown.form->resize(size);
        QWidget* page = shown.form->PageControl1->currentWidget();
        return QTest::qWaitFor([&] {
            return shown.form->size() == size && page->size() == page->parentWidget()->size();
        });
    }
    // A memo shows or hides its scroll bars a moment after its text or size
    // changed; until then its text may be wrapped at a width it will not keep.
    static bool settled(const QPlainTextEdit& memo)
    {
        for (const QScrollBar* bar : {memo.horizontalScrollBar(), memo.verticalScrollBar()})
            if (bar->isVisible() != (bar->minimum() < bar->maximum()))
                return false;
        return true;
    }
    static void backToBackupPage(ShownWindow& shown)
    {
        QTabWidget* pages = shown.form->PageControl1;
        pages->setCurrentWidget(shown.form->TabSheet1);
        pages->setTabVisible(pages->indexOf(shown.form->TabSheet2), false);
    }
};

void NotesPageTest::createNoteWritesTheMemo_data()
{
    QTest::addColumn<QString>("memo");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("empty memo creates an empty file") << "" << 1 << QByteArray("");
    QTest::newRow("the window's starting memo: one empty line") << "\n" << 1 << QByteArray("\r\n");
    QTest::newRow("final line break adds no line") << "first\nsecond\n"
                                                   << 1 << QByteArray("first\r\nsecond\r\n");
    QTest::newRow("without a final line break")
        << "first\nsecond" << 1 << QByteArray("first\r\nsecond\r\n");
    QTest::newRow("empty lines inside kept") << "a\n\n\nb\n\n"
                                             << 1 << QByteArray("a\r\n\r\n\r\nb\r\n\r\n");
    QTest::newRow("two clicks append") << "note" << 2 << QByteArray("note\r\nnote\r\n");
}

void NotesPageTest::createNoteWritesTheMemo()
{
    QFETCH(QString, memo);
    QFETCH(int, clicks);
    QFETCH(QByteArray, after);
    ShownWindow shown;
    QVERIFY(shown.ready);
    QTemporaryDir backup;
    const QString notes = backup.filePath(QStringLiteral("BK-20261206.txt"));
    shown.form->BackupDirEdt->setText(backup.path());
    shown.form->NotesMemo->setPlainText(memo);
    QVERIFY(showNotesPage(shown));
    for (int i = 0; i < clicks; ++i)
        createNote(shown);

    QCOMPARE(contentOf(notes), after);
    QCOMPARE(QDir(backup.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"BK-20261206.txt"});
    QCOMPARE(shown.dialogs.errors.size(), size_t(0));
    QVERIFY(shown.system.shellCalls.empty());
}

void NotesPageTest::fileFollowsTheChangesFromDate()
{
    ShownWindow shown; // today is 6 December 2026 by the test clock
    QVERIFY(shown.ready);
    QTemporaryDir backup;
    shown.form->BackupDirEdt->setText(backup.path());
    shown.form->NotesMemo->setPlainText(QStringLiteral("picked date"));
    shown.form->DateTimePicker->setDate(QDate(2025, 3, 1));
    QVERIFY(showNotesPage(shown));
    createNote(shown);
    shown.system.clock.date = {2027, 1, 2}; // a later day, same Changes From date
    createNote(shown);

    QCOMPARE(QDir(backup.path()).entryList(QDir::Files),
             QStringList{QStringLiteral("BK-20250301.txt")});
    QCOMPARE(contentOf(backup.filePath(QStringLiteral("BK-20250301.txt"))),
             QByteArray("picked date\r\npicked date\r\n"));
}

void NotesPageTest::wrappedParagraphGivesOneLinePerPiece()
{
    ShownWindow shown;
    QVERIFY(shown.ready);
    QTemporaryDir backup;
    shown.form->BackupDirEdt->setText(backup.path());
    const QString text = paragraph(60);
    shown.form->NotesMemo->setPlainText(text + QStringLiteral("\nshort\n"));
    QVERIFY(showNotesPage(shown));
    createNote(shown);

    const QByteArray written = contentOf(backup.filePath(QStringLiteral("BK-20261206.txt")));
    QVERIFY(written.endsWith("\r\n"));
    QList<QByteArray> lines = written.chopped(2).split('\n');
    for (auto& line : lines)
        line.replace("\r", "");
    QVERIFY2(lines.size() >= 3, written.constData());
    QCOMPARE(lines.last(), QByteArray("short"));
    lines.removeLast();
    // The pieces are the paragraph cut at the memo's width, nothing lost.
    QCOMPARE(QString::fromLatin1(lines.join()), text);
    const QFontMetrics metrics(shown.form->NotesMemo->font());
    for (const auto& line : lines)
        QVERIFY(metrics.horizontalAdvance(QString::fromLatin1(line).trimmed()) <=
                shown.form->NotesMemo->viewport()->width());
    QCOMPARE(written.count("\r\n"), lines.size() + 1);
}

void NotesPageTest::hiddenPageWrapsAsWhenDisplayed_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<int>("words");
    // When valid: the page was displayed at this window size, then hidden
    // again, before the window took its size.
    QTest::addColumn<QSize>("displayedBefore");
    QTest::addColumn<bool>("scrollBar"); // the displayed memo's
    QTest::newRow("designed size") << QSize(415, 540) << 20 << QSize() << false;
    QTest::newRow("wider window") << QSize(700, 540) << 20 << QSize() << false;
    QTest::newRow("enough text for a scroll bar") << QSize(415, 380) << 120 << QSize() << true;
    QTest::newRow("displayed once at another size")
        << QSize(600, 540) << 20 << QSize(415, 540) << false;
}

// The program never displays the Notes page; its memo still wraps at the
// width it has when its page fills the page control like the others.
void NotesPageTest::hiddenPageWrapsAsWhenDisplayed()
{
    QFETCH(QSize, window);
    QFETCH(int, words);
    QFETCH(QSize, displayedBefore);
    QFETCH(bool, scrollBar);
    ShownWindow shown;
    QVERIFY(shown.ready);
    QPlainTextEdit* memo = shown.form->NotesMemo;
    QTemporaryDir backup;
    shown.form->BackupDirEdt->setText(backup.path());
    // Paragraphs that break at different places, so that a few pixels more
    // or less width change where some of them wrap.
    QStringList paragraphs;
    for (int first : {0, 7, 23, 61, 95})
        paragraphs << paragraph(words, first);
    memo->setPlainText(paragraphs.join(QLatin1Char('\n')) + QStringLiteral("\n"));
    if (displayedBefore.isValid()) {
        QVERIFY(resizeWindow(shown, displayedBefore));
        QVERIFY(showNotesPage(shown));
        QVERIFY(QTest::qWaitFor([&] { return settled(*memo); }));
        backToBackupPage(shown);
    }
    QVERIFY(resizeWindow(shown, window));
    QVERIFY(!memo->isVisible());
    shown.form->SpeedButton2->click(); // what the hidden button would do
    QVERIFY(!memo->isVisible());
    QCOMPARE(shown.form->PageControl1->currentWidget(), shown.form->TabSheet1);
    const QString notes = backup.filePath(QStringLiteral("BK-20261206.txt"));
    const QByteArray hidden = contentOf(notes);

    QVERIFY(showNotesPage(shown));
    QVERIFY(QTest::qWaitFor([&] { return settled(*memo); }));
    QCOMPARE(memo->verticalScrollBar()->isVisible(), scrollBar);
    createNote(shown);
    const QByteArray both = contentOf(notes);
    QVERIFY(both.startsWith(hidden));
    const QByteArray displayed = both.mid(hidden.size());

    QVERIFY2(hidden.count("\r\n") >= 2 * paragraphs.size(), hidden.constData());
    QCOMPARE(QString::fromLatin1(QByteArray(hidden).replace("\r\n", "")), paragraphs.join(""));
    QCOMPARE(hidden, displayed);
}

void NotesPageTest::missingBackupDirectoryIsReported()
{
    ShownWindow shown;
    QVERIFY(shown.ready);
    QTemporaryDir backup;
    shown.form->BackupDirEdt->setText(backup.filePath(QStringLiteral("not there")));
    shown.form->NotesMemo->setPlainText(QStringLiteral("note"));
    QVERIFY(showNotesPage(shown));
    createNote(shown);
    QCOMPARE(shown.dialogs.errorTexts(), std::vector<QString>{QStringLiteral("Invalid filename.")});
    QVERIFY(shown.form->isVisible());
    QVERIFY(!QDir(backup.filePath(QStringLiteral("not there"))).exists());
}

void NotesPageTest::memoLineIsReadUpToItsLimit()
{
    QPlainTextEdit memo;
    memo.setLineWrapMode(QPlainTextEdit::NoWrap);
    const QString longLine(tarvik::gui::kMemoLineLimit + 10, QLatin1Char('x'));
    memo.setPlainText(longLine + QStringLiteral("\nnext") + QChar(QChar::LineSeparator) +
                      QStringLiteral("same paragraph"));
    memo.resize(300, 200);
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo));
    const auto lines = tarvik::gui::memoLines(memo);
    QCOMPARE(lines.size(), size_t(3));
    QCOMPARE(lines[0], longLine.left(4096));
    QCOMPARE(lines[1], QStringLiteral("next"));
    QCOMPARE(lines[2], QStringLiteral("same paragraph"));
}

QTEST_MAIN(NotesPageTest)
#include "NotesPageTest.moc"
