// "Create Note" on the Notes page, clicked in the real main window, and the
// memo's lines as the memo shows them.

#include "FormFixture.h"
#include "MemoLines.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QToolButton>

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString paragraph(int words)
{
    QStringList list;
    for (int i = 0; i < words; ++i)
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
    void missingBackupDirectoryIsReported();
    void memoLineIsReadUpToItsLimit();

  private:
    // Shows the Notes page, which the program itself never does, so that
    // the memo is laid out as the user would see it.
    static bool showNotesPage(ShownForm& shown)
    {
        QTabWidget* pages = shown.form->PageControl1;
        pages->setTabVisible(pages->indexOf(shown.form->TabSheet2), true);
        pages->setCurrentWidget(shown.form->TabSheet2);
        return QTest::qWaitFor([&] { return shown.form->NotesMemo->isVisible(); });
    }
    static void createNote(ShownForm& shown)
    {
        QTest::mouseClick(shown.form->SpeedButton2, Qt::LeftButton);
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
    ShownForm shown;
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
    ShownForm shown; // today is 6 December 2026 by the test clock
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
    ShownForm shown;
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

void NotesPageTest::missingBackupDirectoryIsReported()
{
    ShownForm shown;
    QVERIFY(shown.ready);
    QTemporaryDir backup;
    shown.form->BackupDirEdt->setText(backup.filePath(QStringLiteral("not there")));
    shown.form->NotesMemo->setPlainText(QStringLiteral("note"));
    QVERIFY(showNotesPage(shown));
    createNote(shown);
    QCOMPARE(shown.dialogs.errors, std::vector<QString>{QStringLiteral("Invalid filename.")});
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
