// The main window as it is built: its components, pages, actions, menus,
// pictures, placements, focus order, and that no command has a keyboard
// shortcut.

#include "ShownWindow.h"
#include "gui/BackUpMain.h"
#include "gui/ImageList.h"
#include "gui/ListBox.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

using tarvik::gui::Picture;

class BackUpFormTest : public windowtest::WindowPerTest
{
    Q_OBJECT

  private slots:
    // The components that no other test reaches by name: settings sections,
    // other windows' tests and the program's own lookups go by these names.
    void componentsCarryTheirNames()
    {
        QCOMPARE(m_form->objectName(), QStringLiteral("BackUpForm"));
        const std::pair<const char*, const char*> components[] = {
            {"PageControl1", "QTabWidget"}, {"TabSheet1", "QWidget"},
            {"TabSheet2", "QWidget"},       {"TabSheet3", "QWidget"},
            {"Panel1", "QFrame"},           {"Panel2", "QFrame"},
            {"Panel3", "QFrame"},           {"DirectoryListBox", "tarvik::gui::ListBox"},
            {"Label1", "QLabel"},           {"NotesMemo", "QPlainTextEdit"},
            {"StatusBar1", "QStatusBar"},   {"MainMenu1", "QMenuBar"},
            {"ActionList", "QObject"},
        };
        for (const auto& [name, kind] : components) {
            const auto found = m_form->findChildren<QObject*>(QLatin1String(name));
            QVERIFY2(found.size() == 1, name);
            QVERIFY2(found.front()->inherits(kind), name);
        }
    }

    void actionsHaveCaptionsAndPictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("image"); // -1: none
        QTest::newRow("exit") << "ExitProgram"
                              << "Exit" << 1;
        QTest::newRow("run") << "RunBackupAction"
                             << "Run Backup" << 3;
        QTest::newRow("add dir") << "AddDirectoryAction"
                                 << "Add Directory" << 0;
        QTest::newRow("remove dir") << "RemoveDirectoryAction"
                                    << "Remove Directory" << 4;
        QTest::newRow("add type") << "AddFileTypeAction"
                                  << "Add" << 0;
        QTest::newRow("remove type") << "RemoveFileTypeAction"
                                     << "Remove" << 4;
        QTest::newRow("about") << "AboutAction"
                               << "About" << -1;
    }
    void actionsHaveCaptionsAndPictures()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(int, image);
        auto* action = m_form->findChild<QAction*>(name);
        QVERIFY(action);
        QCOMPARE(action->parent(), m_form->ActionList);
        QCOMPARE(action->text(), caption);
        QVERIFY(action->isEnabled());
        if (image < 0) {
            QVERIFY(action->icon().isNull());
            return;
        }
        const QImage shown = action->icon().pixmap(QSize(16, 16), 1.0).toImage();
        const QImage expected =
            tarvik::gui::picture(static_cast<Picture>(image)).pixmap(QSize(16, 16), 1.0).toImage();
        QCOMPARE(shown, expected);
    }

    // Six image-list pictures and the two of their own: none blank, each with
    // transparency, each different, each also drawn at twice the size.
    void picturesAreDrawn()
    {
        std::vector<QImage> seen;
        for (int i = 0; i <= static_cast<int>(Picture::Application); ++i) {
            const QIcon icon = tarvik::gui::picture(static_cast<Picture>(i));
            QVERIFY2(icon.availableSizes().contains(QSize(16, 16)), qPrintable(QString::number(i)));
            QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
            const QImage image =
                icon.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
            int transparent = 0;
            int opaque = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const int alpha = qAlpha(image.pixel(x, y));
                    transparent += alpha == 0;
                    opaque += alpha == 255;
                }
            QVERIFY2(transparent > 0 && opaque > 20, qPrintable(QString::number(i)));
            for (const QImage& other : seen)
                QVERIFY(other != image);
            seen.push_back(image);
        }
    }

    void toolButtonsRunTheirActionsAndTakeTabFocus_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("glyph");
        const int under = Qt::ToolButtonTextUnderIcon;
        const int beside = Qt::ToolButtonTextBesideIcon;
        const int run = static_cast<int>(Picture::RunBackupButton);
        QTest::newRow("run") << "RunBackupSpeedButton"
                             << "RunBackupAction" << under << run;
        QTest::newRow("add dir") << "AddDirSpeedButton"
                                 << "AddDirectoryAction" << under << 0;
        QTest::newRow("remove dir") << "SpeedButton1"
                                    << "RemoveDirectoryAction" << under << 4;
        QTest::newRow("add type") << "SpeedButton3"
                                  << "AddFileTypeAction" << beside << 0;
        QTest::newRow("remove type") << "SpeedButton4"
                                     << "RemoveFileTypeAction" << beside << 4;
    }
    void toolButtonsRunTheirActionsAndTakeTabFocus()
    {
        QFETCH(QString, button);
        QFETCH(QString, action);
        QFETCH(int, style);
        QFETCH(int, glyph);
        auto* tool = m_form->findChild<QToolButton*>(button);
        QVERIFY(tool);
        QCOMPARE(tool->defaultAction(), m_form->findChild<QAction*>(action));
        QCOMPARE(tool->text(), tool->defaultAction()->text());
        QCOMPARE(int(tool->toolButtonStyle()), style);
        QCOMPARE(tool->focusPolicy(), Qt::TabFocus);
        QCOMPARE(
            tool->icon().pixmap(QSize(16, 16), 1.0).toImage(),
            tarvik::gui::picture(static_cast<Picture>(glyph)).pixmap(QSize(16, 16), 1.0).toImage());
        QCOMPARE(m_form->SpeedButton2->focusPolicy(), Qt::TabFocus);
    }

    void menusHoldTheirItemsInOrder()
    {
        const auto texts = [](QMenu* menu) {
            QStringList names;
            for (QAction* item : menu->actions())
                names << item->objectName() + '=' + (item->isSeparator() ? "-" : item->text());
            return names;
        };
        QStringList titles;
        for (QAction* menu : m_form->MainMenu1->actions())
            titles << menu->text();
        QCOMPARE(titles, QStringList({"File", "Help"}));
        QCOMPARE(texts(m_form->File1),
                 QStringList({"RunBackup1=Run Backup", "N1=-", "Exit1=Exit"}));
        QCOMPARE(texts(m_form->Help1), QStringList({"About1=About"}));
        QCOMPARE(texts(m_form->PopupMenu1), QStringList({"RemoveDir1=Remove Directory"}));
        // A right click on the folder list opens its context menu.
        emit m_form->DirectoryListBox->customContextMenuRequested(QPoint(5, 5));
        QTRY_VERIFY(m_form->PopupMenu1->isVisible());
        m_form->PopupMenu1->hide();
        QVERIFY(m_form->About1->icon().isNull());
        QVERIFY(!m_form->RunBackup1->icon().isNull());

        // Each item runs its action.
        const std::pair<QAction*, QAction*> bound[] = {
            {m_form->RunBackup1, m_form->RunBackupAction},
            {m_form->About1, m_form->AboutAction},
            {m_form->RemoveDir1, m_form->RemoveDirectoryAction},
        };
        for (const auto& [item, action] : bound) {
            int runs = 0;
            auto connection = connect(action, &QAction::triggered, this, [&runs] { ++runs; });
            item->trigger();
            disconnect(connection);
            QCOMPARE(runs, 1);
        }
    }

    // No action, menu or caption carries a shortcut or an accelerator, the
    // date picker's calendar included.
    void noKeyboardShortcutAnywhere()
    {
        m_form->DateTimePicker->calendarWidget(); // builds the drop-down calendar
        const auto actions = m_form->findChildren<QAction*>();
        QVERIFY(actions.size() >= 12);
        for (QAction* action : actions) {
            QVERIFY2(action->shortcuts().isEmpty(), qPrintable(action->objectName()));
            QVERIFY2(!action->text().contains('&'), qPrintable(action->text()));
        }
        QStringList captions;
        for (auto* w : m_form->findChildren<QAbstractButton*>()) {
            QVERIFY2(w->shortcut().isEmpty(), qPrintable(w->objectName()));
            captions << w->text();
        }
        for (auto* w : m_form->findChildren<QLabel*>())
            captions << w->text();
        for (auto* w : m_form->findChildren<QGroupBox*>())
            captions << w->title();
        for (auto* w : m_form->findChildren<QMenu*>())
            captions << w->title();
        for (int i = 0; i < m_form->PageControl1->count(); ++i)
            captions << m_form->PageControl1->tabText(i);
        QVERIFY(captions.size() > 15);
        for (const QString& caption : captions)
            QVERIFY2(!caption.contains('&'), qPrintable(caption));
    }

    void notesPageIsNeverShown()
    {
        QTabWidget* pages = m_form->PageControl1;
        QCOMPARE(pages->count(), 3);
        QCOMPARE(pages->tabText(0), QStringLiteral("Backup"));
        QCOMPARE(pages->tabText(1), QStringLiteral("Notes"));
        QCOMPARE(pages->tabText(2), QStringLiteral("Settings"));
        QVERIFY(pages->isTabVisible(0) && !pages->isTabVisible(1) && pages->isTabVisible(2));
        QCOMPARE(pages->currentWidget(), m_form->TabSheet1);
        // Walking the tabs with the keyboard passes it by both ways.
        for (Qt::KeyboardModifiers modifiers :
             {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::ControlModifier | Qt::ShiftModifier})
            for (int step = 0; step < 4; ++step) {
                QTest::keyClick(pages, Qt::Key_Tab, modifiers);
                QVERIFY(pages->currentWidget() != m_form->TabSheet2);
            }
        for (int step = 0; step < 4; ++step) {
            QTest::keyClick(pages->tabBar(), Qt::Key_Right);
            QVERIFY(pages->currentWidget() != m_form->TabSheet2);
        }
        QVERIFY(!m_form->NotesMemo->isVisible());
        QCOMPARE(m_form->NotesMemo->blockCount(), 2); // one empty line, ended
        QVERIFY(m_form->NotesMemo->toPlainText().trimmed().isEmpty());
    }
};

QTEST_MAIN(BackUpFormTest)
#include "BackUpFormTest.moc"
