// Every command within reach of the keyboard alone: the menu bar by F10 or a
// lone Alt, the tool buttons by Tab and Space, the folder list's context menu
// by the Menu key or Shift+F10. Keys go into the real window, as typed.

#include "SettingsWidgets.h"
#include "ShownWindow.h"
#include "gui/BackUpMain.h"
#include "gui/ListBox.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

// "F10", "Alt" (pressed and released alone) or any other key name Qt knows.
void type(const QString& key)
{
    QWidget* target = QApplication::activePopupWidget();
    if (!target)
        target = QApplication::focusWidget();
    QVERIFY(target);
    if (key == QLatin1String("Alt")) {
        QTest::keyPress(target, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(target, Qt::Key_Alt);
        return;
    }
    const QKeySequence sequence(key);
    QCOMPARE(sequence.count(), 1);
    const QKeyCombination combination = sequence[0];
    QTest::keyClick(target, combination.key(), combination.keyboardModifiers());
}

} // namespace

class KeyboardReachTest : public windowtest::WindowPerTest
{
    Q_OBJECT

  public:
    KeyboardReachTest() : WindowPerTest(Active) {}

  private slots:
    // From any control, F10 or a lone Alt reaches the menus; arrows and
    // Enter run a command.
    void menuCommandsByKeys_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("action");
        QTest::newRow("F10 from the list") << "DirectoryListBox"
                                           << "F10 Down Return"
                                           << "RunBackupAction";
        QTest::newRow("Alt from a tool button") << "AddDirSpeedButton"
                                                << "Alt Down Up Return"
                                                << "ExitProgram";
        QTest::newRow("F10 from the backup folder") << "BackupDirEdt"
                                                    << "F10 Right Down Return"
                                                    << "AboutAction";
        QTest::newRow("Alt, Escape, F10 from the date") << "DateTimePicker"
                                                        << "Alt Escape F10 Down Down Return"
                                                        << "ExitProgram";
        QTest::newRow("a second Alt leaves the menu bar") << "SubDirCheckBox"
                                                          << "Alt Alt Down Return"
                                                          << "";
    }
    void menuCommandsByKeys()
    {
        QFETCH(QString, focus);
        QFETCH(QString, keys);
        QFETCH(QString, action);
        auto* control = m_form->findChild<QWidget*>(focus);
        QVERIFY(control);
        m_form->PageControl1->setCurrentWidget(
            m_form->TabSheet1->isAncestorOf(control) ? m_form->TabSheet1 : m_form->TabSheet3);
        control->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(control->hasFocus());
        QStringList ran;
        for (QAction* each : m_form->ActionList->findChildren<QAction*>())
            connect(each, &QAction::triggered, this, [&ran, each] { ran << each->objectName(); });
        const QStringList sequence = keys.split(' ');
        for (int i = 0; i < sequence.size(); ++i) {
            type(sequence[i]);
            if (i == 0 && sequence[0] != QLatin1String("Alt"))
                QVERIFY(m_form->MainMenu1->hasFocus());
        }
        QCOMPARE(ran, action.isEmpty() ? QStringList() : QStringList{action});
    }

    // Tab walks through each page's tool buttons, and Space runs them.
    void toolButtonsByTabAndSpace_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("tabs");
        QTest::addColumn<QString>("action");
        QTest::newRow("Run Backup") << "TabSheet1" << 1 << "RunBackupAction";
        QTest::newRow("Add Directory") << "TabSheet1" << 2 << "AddDirectoryAction";
        QTest::newRow("Remove Directory") << "TabSheet1" << 3 << "RemoveDirectoryAction";
        QTest::newRow("Add") << "TabSheet3" << 2 << "AddFileTypeAction";
        QTest::newRow("Remove") << "TabSheet3" << 3 << "RemoveFileTypeAction";
    }
    void toolButtonsByTabAndSpace()
    {
        QFETCH(QString, from);
        QFETCH(int, tabs);
        QFETCH(QString, action);
        // The walk starts at the page's tab, as after choosing the page.
        m_form->PageControl1->setCurrentWidget(m_form->findChild<QWidget*>(from));
        m_form->PageControl1->tabBar()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(m_form->PageControl1->tabBar()->hasFocus());
        for (int i = 0; i < tabs; ++i)
            type(QStringLiteral("Tab"));
        auto* button = qobject_cast<QToolButton*>(QApplication::focusWidget());
        QVERIFY(button);
        QCOMPARE(button->defaultAction()->objectName(), action);
        int runs = 0;
        connect(button->defaultAction(), &QAction::triggered, this, [&runs] { ++runs; });
        type(QStringLiteral("Space"));
        QCOMPARE(runs, 1);
    }

    // The folder list's context menu opens at its current item, and its one
    // command runs from the keyboard too.
    void contextMenuByKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<int>("current"); // also the one removed
        const QStringList three{"/a", "/b", "/c"};
        QTest::newRow("Menu key") << "Menu" << three << 2;
        QTest::newRow("Shift+F10") << "Shift+F10" << three << 0;
        QTest::newRow("Shift+F10, empty list") << "Shift+F10" << QStringList() << -1;
    }
    void contextMenuByKeys()
    {
        QFETCH(QString, key);
        QFETCH(QStringList, folders);
        QFETCH(int, current);
        tarvik::gui::ListBox* list = m_form->DirectoryListBox;
        list->addItems(folders);
        list->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(list->hasFocus());
        if (current >= 0) {
            list->setCurrentIndex(list->model()->index(current, 0));
            list->selectRow(current);
        }
        type(key);
        QMenu* menu = m_form->PopupMenu1;
        QTRY_VERIFY(menu->isVisible());
        const QRect item =
            current >= 0 ? list->visualRect(list->currentIndex()) : QRect(0, 0, 1, 1);
        const QPoint at = list->viewport()->mapFromGlobal(menu->pos());
        QVERIFY2(at.y() >= item.top() && at.y() <= item.bottom() + 1,
                 qPrintable(QStringLiteral("%1 not at row %2").arg(at.y()).arg(item.top())));
        type(QStringLiteral("Down"));
        type(QStringLiteral("Return"));
        QTRY_VERIFY(!menu->isVisible());
        if (current >= 0)
            folders.removeAt(current);
        QCOMPARE(tarvik::test::itemsOf(*list), folders);
    }
};

QTEST_MAIN(KeyboardReachTest)
#include "KeyboardReachTest.moc"
