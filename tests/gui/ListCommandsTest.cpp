// The commands that edit the two lists and choose the backup folder, driven
// through the main window's actions and buttons.

#include "OffscreenScreens.h"
#include "SettingsWidgets.h"
#include "ShownWindow.h"
#include "gui/ListBox.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

using tarvik::gui::FolderChoice;
using Answers = QList<FolderChoice>;
Q_DECLARE_METATYPE(FolderChoice)

using tarvik::test::itemsOf;
using windowtest::ShownWindow;

class ListCommandsTest : public QObject
{
    Q_OBJECT

  private slots:
    void addDirectory_data();
    void addDirectory();
    void addFileType_data();
    void addFileType();
    void removeSelected_data();
    void removeSelected();
    void selectBackupDirectory_data();
    void selectBackupDirectory();
    void folderBrowserOpensAtRootOnTheWindowsScreen_data();
    void folderBrowserOpensAtRootOnTheWindowsScreen();
};

void ListCommandsTest::addDirectory_data()
{
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<QStringList>("expected");
    const FolderChoice docs{true, QStringLiteral("/home/ann/Documents")};
    QTest::newRow("one folder") << Answers{docs} << QStringList{docs.path};
    QTest::newRow("the same folder twice")
        << Answers{docs, docs} << QStringList{docs.path, docs.path};
    QTest::newRow("cancelled") << Answers{FolderChoice{}} << QStringList{};
    QTest::newRow("cancelled between two")
        << Answers{docs, FolderChoice{}, {true, "/srv"}} << QStringList{docs.path, "/srv"};
    QTest::newRow("blanks and control characters trimmed")
        << Answers{{true, QStringLiteral(" \t/home/ann/My Files \r\n\x1f")}}
        << QStringList{"/home/ann/My Files"};
    QTest::newRow("no-break space kept") << Answers{{true, QStringLiteral("/home/ann/x\u00A0")}}
                                         << QStringList{QStringLiteral("/home/ann/x\u00A0")};
    QTest::newRow("empty path added as it is") << Answers{{true, QString()}} << QStringList{""};
}

void ListCommandsTest::addDirectory()
{
    QFETCH(Answers, answers);
    QFETCH(QStringList, expected);
    ShownWindow shown;
    QVERIFY(shown.ready);
    shown.form->DirectoryListBox->addItem(QStringLiteral("/already/there"));
    shown.form->BackupDirEdt->setText(QStringLiteral("/media/backup"));
    for (const auto& answer : answers)
        shown.dialogs.folderAnswers.push_back(answer);
    for (qsizetype i = 0; i < answers.size(); ++i)
        shown.action("AddDirectoryAction")->trigger();

    QCOMPARE(itemsOf(*shown.form->DirectoryListBox), QStringList{"/already/there"} + expected);
    QCOMPARE(shown.form->BackupDirEdt->text(), QStringLiteral("/media/backup"));
    QCOMPARE(shown.dialogs.folderCalls.size(), size_t(answers.size()));
    for (const auto& call : shown.dialogs.folderCalls) {
        QCOMPARE(call.owner, shown.form.get());
        QCOMPARE(call.prompt, QStringLiteral("Select Directory"));
        QCOMPARE(call.root, QStringLiteral("/"));
    }
    QCOMPARE(shown.dialogs.errors.size(), size_t(0));
}

void ListCommandsTest::addFileType_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("expected");
    const QString longest(255, QLatin1Char('a'));
    QTest::newRow("mask") << "*.doc" << int(Qt::Key_Return) << QStringList{"*.doc"};
    QTest::newRow("blanks around a mask trimmed")
        << "   *.doc  " << int(Qt::Key_Return) << QStringList{"*.doc"};
    QTest::newRow("blanks only add an empty item")
        << "    " << int(Qt::Key_Return) << QStringList{""};
    QTest::newRow("inner blanks kept")
        << " my *.doc " << int(Qt::Key_Return) << QStringList{"my *.doc"};
    QTest::newRow("any form accepted")
        << "not a mask" << int(Qt::Key_Return) << QStringList{"not a mask"};
    QTest::newRow("empty entry adds nothing") << "" << int(Qt::Key_Return) << QStringList{};
    QTest::newRow("Cancel adds nothing") << "*.doc" << int(Qt::Key_Escape) << QStringList{};
    QTest::newRow("closing adds nothing") << "*.doc" << 0 << QStringList{};
    QTest::newRow("255 characters accepted")
        << longest << int(Qt::Key_Return) << QStringList{longest};
    QTest::newRow("the 256th refused")
        << longest + QLatin1Char('b') << int(Qt::Key_Return) << QStringList{longest};
}

void ListCommandsTest::addFileType()
{
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QStringList, expected);
    ShownWindow shown;
    QVERIFY(shown.ready);
    shown.form->FileTypesListBox->addItem(QStringLiteral("*.pas"));
    shown.dialogs.textAnswers.push_back({typed, key});
    shown.action("AddFileTypeAction")->trigger();

    QCOMPARE(itemsOf(*shown.form->FileTypesListBox), QStringList{"*.pas"} + expected);
    QCOMPARE(shown.dialogs.textCalls.size(), size_t(1));
    const auto& call = shown.dialogs.textCalls.front();
    QCOMPARE(call.owner, shown.form.get());
    QCOMPARE(call.caption, QStringLiteral("Add File Type"));
    QCOMPARE(call.prompt, QStringLiteral("File Type"));
    QCOMPARE(call.initial, QString());
}

void ListCommandsTest::removeSelected_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("selected"); // -1: none
    QTest::addColumn<QStringList>("expected");
    const QStringList three{"/a", "/b", "/c"};
    const struct
    {
        const char* action;
        const char* list;
    } commands[] = {{"RemoveDirectoryAction", "DirectoryListBox"},
                    {"RemoveFileTypeAction", "FileTypesListBox"}};
    for (const auto& command : commands) {
        const auto row = [&](const char* name) -> QTestData& {
            QTestData& data = QTest::addRow("%s: %s", command.action, name);
            data << QString::fromLatin1(command.action) << QString::fromLatin1(command.list);
            return data;
        };
        row("middle item") << three << 1 << QStringList{"/a", "/c"};
        row("first item") << three << 0 << QStringList{"/b", "/c"};
        row("last item") << three << 2 << QStringList{"/a", "/b"};
        row("nothing selected") << three << -1 << three;
        row("empty list") << QStringList{} << -1 << QStringList{};
        row("second of two equal items")
            << QStringList{"/a", "/x", "/x"} << 2 << QStringList{"/a", "/x"};
    }
}

void ListCommandsTest::removeSelected()
{
    QFETCH(QString, action);
    QFETCH(QString, list);
    QFETCH(QStringList, items);
    QFETCH(int, selected);
    QFETCH(QStringList, expected);
    ShownWindow shown;
    QVERIFY(shown.ready);
    auto* box = shown.form->findChild<tarvik::gui::ListBox*>(list);
    QVERIFY(box);
    QCOMPARE(box->selectionMode(), QAbstractItemView::SingleSelection);
    box->addItems(items);
    if (selected >= 0)
        box->selectRow(selected);
    shown.action(qPrintable(action))->trigger();
    QCOMPARE(itemsOf(*box), expected);
    // A second removal without a selection changes nothing and says nothing.
    box->clearSelection();
    shown.action(qPrintable(action))->trigger();
    QCOMPARE(itemsOf(*box), expected);
    QCOMPARE(shown.dialogs.errors.size(), size_t(0));
}

void ListCommandsTest::selectBackupDirectory_data()
{
    QTest::addColumn<FolderChoice>("answer");
    QTest::addColumn<QString>("expected");
    QTest::newRow("chosen folder replaces the text")
        << FolderChoice{true, "/media/disk"} << "/media/disk";
    QTest::newRow("kept untrimmed") << FolderChoice{true, " /media/disk "} << " /media/disk ";
    QTest::newRow("cancelled leaves the text") << FolderChoice{} << "/typed/by hand";
}

void ListCommandsTest::selectBackupDirectory()
{
    QFETCH(FolderChoice, answer);
    QFETCH(QString, expected);
    ShownWindow shown;
    QVERIFY(shown.ready);
    shown.form->BackupDirEdt->setText(QStringLiteral("/typed/by hand"));
    shown.form->PageControl1->setCurrentWidget(shown.form->TabSheet3);
    shown.dialogs.folderAnswers.push_back(answer);
    QTest::mouseClick(shown.form->SelectBUDirButton, Qt::LeftButton);

    QCOMPARE(shown.form->BackupDirEdt->text(), expected);
    QCOMPARE(shown.dialogs.folderCalls.size(), size_t(1));
    QCOMPARE(shown.dialogs.folderCalls[0].prompt, QStringLiteral("Select Directory"));
    QCOMPARE(shown.dialogs.folderCalls[0].root, QStringLiteral("/"));
    QCOMPARE(shown.form->DirectoryListBox->count(), 0);
}

void ListCommandsTest::folderBrowserOpensAtRootOnTheWindowsScreen_data()
{
    tarvik::test::addScreenRows();
}

// The browser the command asks for, built as the real one is from what the
// command passed: at the root, nothing selected although the backup
// directory names an existing folder, centred on the main window's screen.
void ListCommandsTest::folderBrowserOpensAtRootOnTheWindowsScreen()
{
    QFETCH(int, screenIndex);
    ShownWindow shown;
    QVERIFY(shown.ready);
    QScreen* screen = tarvik::test::showOnScreen(*shown.form, screenIndex);
    QVERIFY(screen);
    shown.form->BackupDirEdt->setText(QDir::tempPath());
    shown.action("AddDirectoryAction")->trigger();
    QCOMPARE(shown.dialogs.folderCalls.size(), size_t(1));
    const auto& call = shown.dialogs.folderCalls[0];

    const auto browser = tarvik::gui::makeFolderDialog(call.owner, call.prompt, call.root);
    browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(browser.get()));
    QCOMPARE(browser->directory().absolutePath(), QStringLiteral("/"));
    QCOMPARE(browser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(), QString());
    for (const auto* view : browser->findChildren<QAbstractItemView*>())
        QVERIFY(!view->selectionModel() || !view->selectionModel()->hasSelection());
    const QRect outer = browser->frameGeometry();
    QCOMPARE(outer.topLeft(), tarvik::gui::centredPosition(screen->geometry(), outer.size()));
}

TARVIK_OFFSCREEN_SCREENS_MAIN(ListCommandsTest)
#include "ListCommandsTest.moc"
