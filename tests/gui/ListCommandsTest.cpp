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

class ListCommandsTest : public windowtest::WindowPerTest
{
    Q_OBJECT

  private slots:
    void addDirectory_data()
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
    void addDirectory()
    {
        QFETCH(Answers, answers);
        QFETCH(QStringList, expected);
        m_form->DirectoryListBox->addItem(QStringLiteral("/already/there"));
        m_form->BackupDirEdt->setText(QStringLiteral("/media/backup"));
        for (const auto& answer : answers)
            dialogs().folderAnswers.push_back(answer);
        for (qsizetype i = 0; i < answers.size(); ++i)
            actionNamed("AddDirectoryAction")->trigger();

        QCOMPARE(itemsOf(*m_form->DirectoryListBox), QStringList{"/already/there"} + expected);
        QCOMPARE(m_form->BackupDirEdt->text(), QStringLiteral("/media/backup"));
        QCOMPARE(dialogs().folderCalls.size(), size_t(answers.size()));
        for (const auto& call : dialogs().folderCalls) {
            QCOMPARE(call.owner, m_form);
            QCOMPARE(call.prompt, QStringLiteral("Select Directory"));
            QCOMPARE(call.root, QStringLiteral("/"));
        }
        QCOMPARE(dialogs().errors.size(), size_t(0));
    }

    void addFileType_data()
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
    void addFileType()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QStringList, expected);
        m_form->FileTypesListBox->addItem(QStringLiteral("*.pas"));
        dialogs().textAnswers.push_back({typed, key});
        actionNamed("AddFileTypeAction")->trigger();

        QCOMPARE(itemsOf(*m_form->FileTypesListBox), QStringList{"*.pas"} + expected);
        QCOMPARE(dialogs().textCalls.size(), size_t(1));
        const auto& call = dialogs().textCalls.front();
        QCOMPARE(call.owner, m_form);
        QCOMPARE(call.caption, QStringLiteral("Add File Type"));
        QCOMPARE(call.prompt, QStringLiteral("File Type"));
        QCOMPARE(call.initial, QString());
    }

    void removeSelected_data()
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
    void removeSelected()
    {
        QFETCH(QString, action);
        QFETCH(QString, list);
        QFETCH(QStringList, items);
        QFETCH(int, selected);
        QFETCH(QStringList, expected);
        auto* box = m_form->findChild<tarvik::gui::ListBox*>(list);
        QVERIFY(box);
        QCOMPARE(box->selectionMode(), QAbstractItemView::SingleSelection);
        box->addItems(items);
        if (selected >= 0)
            box->selectRow(selected);
        actionNamed(qPrintable(action))->trigger();
        QCOMPARE(itemsOf(*box), expected);
        // A second removal without a selection changes nothing and says nothing.
        box->clearSelection();
        actionNamed(qPrintable(action))->trigger();
        QCOMPARE(itemsOf(*box), expected);
        QCOMPARE(dialogs().errors.size(), size_t(0));
    }

    void selectBackupDirectory_data()
    {
        QTest::addColumn<FolderChoice>("answer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chosen folder replaces the text")
            << FolderChoice{true, "/media/disk"} << "/media/disk";
        QTest::newRow("kept untrimmed") << FolderChoice{true, " /media/disk "} << " /media/disk ";
        QTest::newRow("cancelled leaves the text") << FolderChoice{} << "/typed/by hand";
    }
    void selectBackupDirectory()
    {
        QFETCH(FolderChoice, answer);
        QFETCH(QString, expected);
        m_form->BackupDirEdt->setText(QStringLiteral("/typed/by hand"));
        m_form->PageControl1->setCurrentWidget(m_form->TabSheet3);
        dialogs().folderAnswers.push_back(answer);
        QTest::mouseClick(m_form->SelectBUDirButton, Qt::LeftButton);

        QCOMPARE(m_form->BackupDirEdt->text(), expected);
        QCOMPARE(dialogs().folderCalls.size(), size_t(1));
        QCOMPARE(dialogs().folderCalls[0].prompt, QStringLiteral("Select Directory"));
        QCOMPARE(dialogs().folderCalls[0].root, QStringLiteral("/"));
        QCOMPARE(m_form->DirectoryListBox->count(), 0);
    }

    // The browser the command asks for, built as the real one is from what the
    // command passed: at the root, nothing selected although the backup
    // directory names an existing folder, centred on the main window's screen.
    void folderBrowserOpensAtRootOnTheWindowsScreen_data() { tarvik::test::addScreenRows(); }
    void folderBrowserOpensAtRootOnTheWindowsScreen()
    {
        QFETCH(int, screenIndex);
        QScreen* screen = tarvik::test::showOnScreen(*m_form, screenIndex);
        QVERIFY(screen);
        m_form->BackupDirEdt->setText(QDir::tempPath());
        actionNamed("AddDirectoryAction")->trigger();
        QCOMPARE(dialogs().folderCalls.size(), size_t(1));
        const auto& call = dialogs().folderCalls[0];

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
};

TARVIK_OFFSCREEN_SCREENS_MAIN(ListCommandsTest)
#include "ListCommandsTest.moc"
