// How the program brings up its window (the starter's show command) and how
// the session's termination signals end it; and the standard error report's
// caption and text.

#include "gui/StartUp.h"

#include "ShownWindow.h"
#include "gui/BackUpMain.h"
#include "gui/Dialogs.h"
#include "gui/ErrorReport.h"
#include "gui/ListBox.h"
#include "platform/Profile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <memory>

using tarvik::gui::TBackUpForm;
using windowtest::WindowWorld;
using windowtest::WorldWithBackups;

namespace {

std::string storedSettings(const std::string& backupDirectory)
{
    return "[BackUpForm]\r\nTop=30\r\nLeft=50\r\nWidth=480\r\nHeight=600\r\nInitMax=0\r\n"
           "[DirectoryListBox]\r\nNumber=1\r\nsVal0=/data/Src\r\n"
           "[BackupDirEdt]\r\nText=" +
           backupDirectory + "\r\n";
}

} // namespace

class StartUpTest : public QObject
{
    Q_OBJECT

  private slots:
    // Maximised by the starter, the window still ends up in its stored,
    // normal placement.
    void maximisedStartTakesTheStoredPlacement()
    {
        WindowWorld world;
        testfiles::writeFile(world.settingsFile(), storedSettings("/b"));
        TBackUpForm form;
        tarvik::gui::showMainWindow(form, tarvik::platform::ShowMaximized);
        QVERIFY(!form.isMaximized());
        QCOMPARE(form.frameGeometry(), QRect(50, 30, 480, 600));
        QCOMPARE(form.DirectoryListBox->count(), 1);
    }

    // Started minimised, nothing is loaded and no "/auto" run starts until
    // the user first restores the window; then both happen, once.
    void minimisedStartWaitsForTheUser()
    {
        WorldWithBackups world(storedSettings);
        TBackUpForm form({"/auto"});
        tarvik::gui::showMainWindow(form, tarvik::platform::ShowMinNoActive);
        QVERIFY(form.isMinimized());
        QCOMPARE(form.DirectoryListBox->count(), 0);
        QVERIFY(world.system.shellCalls.empty());

        form.setWindowState(Qt::WindowNoState);
        QCOMPARE(form.DirectoryListBox->count(), 1);
        QTRY_VERIFY(form.DirectoryListBox->isMarkedMissing(0)); // "/data/Src"
        QTRY_COMPARE(int(world.system.shellCalls.size()), 1);

        form.showMinimized();
        form.showNormal();
        QCOMPARE(form.DirectoryListBox->count(), 1);
        QCOMPARE(int(world.system.shellCalls.size()), 1);
    }

    void defaultStartShowsNormally_data()
    {
        QTest::addColumn<int>("showCommand");
        QTest::newRow("default") << int(tarvik::platform::ShowDefault);
        QTest::newRow("normal") << int(tarvik::platform::ShowNormal);
        QTest::newRow("unknown") << 42;
    }
    void defaultStartShowsNormally()
    {
        QFETCH(int, showCommand);
        WindowWorld world;
        TBackUpForm form;
        tarvik::gui::showMainWindow(form, showCommand);
        QVERIFY(form.isVisible() && !form.isMinimized() && !form.isMaximized());
        QCOMPARE(form.PageControl1->currentWidget(), form.TabSheet1);
    }

#ifndef _WIN32
    // The signals of a session's end close the window as "Exit" does: the
    // values are saved and the last script is deleted.
    void terminationSignalsCloseTheWindow_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void terminationSignalsCloseTheWindow()
    {
        QFETCH(int, signal);
        WorldWithBackups world(storedSettings);
        std::string script;
        {
            TBackUpForm form;
            tarvik::gui::closeOnTerminationSignals(form);
            tarvik::gui::showMainWindow(form, tarvik::platform::ShowDefault);
            form.RunBackupAction->trigger();
            script = form.ScriptFileName();
            QVERIFY(testfiles::readFile(script).size() > 0);
            form.BackupDirEdt->setText(QStringLiteral("/after the signal"));
            QCOMPARE(std::raise(signal), 0);
            QCOMPARE(std::raise(signal), 0); // asks again; must not end the process
            QTRY_VERIFY(!form.isVisible());
        }
        QVERIFY(!std::filesystem::exists(script));
        QCOMPARE(
            tarvik::platform::getProfileString("BackupDirEdt", "Text", "", world.settingsFile()),
            std::string("/after the signal"));
    }

    // A session's end while a modal dialog waits for the user: the dialog
    // goes as if cancelled (nothing it held is taken), the window closes and
    // saves. Two signals arrive: the second must not end the process.
    void signalDuringAModalDialog_data()
    {
        QTest::addColumn<QString>("action"); // empty: the message box of an "/auto" run
        QTest::addColumn<QString>("dialogClass");
        QTest::newRow("/auto's message box") << QString() << "QMessageBox";
        QTest::newRow("error box") << "RunBackupAction"
                                   << "QMessageBox";
        QTest::newRow("folder browser") << "AddDirectoryAction"
                                        << "QFileDialog";
        QTest::newRow("type prompt") << "AddFileTypeAction"
                                     << "QDialog";
        QTest::newRow("About") << "AboutAction"
                               << "tarvik::gui::TfrmAbout";
    }
    void signalDuringAModalDialog()
    {
        QFETCH(QString, action);
        QFETCH(QString, dialogClass);
        WindowWorld world;
        const tarvik::gui::ScopedDialogs modal(tarvik::gui::realDialogs());
        // A backup folder that does not exist: a run ends in "Invalid filename."
        testfiles::writeFile(world.settingsFile(), storedSettings(world.folder / "missing"));

        QString signalled; // the dialog the signals found open
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || !signalled.isEmpty())
                return;
            signalled = dialog->metaObject()->className();
            if (auto* edit = dialog->findChild<QLineEdit*>("PromptEdit"))
                edit->setText("*.typed");
            std::raise(SIGTERM);
            std::raise(SIGTERM);
        });
        // Should the signals leave the dialog open, it is closed here so
        // that the test fails rather than waits.
        bool leftOpen = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [&] {
            while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                leftOpen = true;
                dialog->reject();
            }
        });
        watchdog.start(10000);
        poll.start(5);
        {
            TBackUpForm form(action.isEmpty() ? std::vector<std::string>{"/auto"}
                                              : std::vector<std::string>{});
            tarvik::gui::closeOnTerminationSignals(form);
            tarvik::gui::showMainWindow(form, tarvik::platform::ShowDefault);
            form.SubDirCheckBox->setChecked(true);
            if (!action.isEmpty() && form.isVisible())
                form.findChild<QAction*>(action)->trigger();
            QTRY_COMPARE(signalled, dialogClass);
            QVERIFY(!leftOpen);
            QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 2000);
            QCOMPARE(form.DirectoryListBox->count(), 1);
            QCOMPARE(form.FileTypesListBox->count(), 0);
        }
        QCOMPARE(tarvik::platform::getProfileString("SubDirCheckBox", "Checked", "",
                                                    world.settingsFile()),
                 std::string("1"));
    }
#endif

    void applicationTitle_data()
    {
        QTest::addColumn<QString>("modulePath");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("title");
        QTest::newRow("POSIX") << "/opt/tarvik/TarvikBackUp" << '/' << "Tarvikbackup";
        QTest::newRow("Windows") << "C:\\Tools\\TarvikBackUp.exe" << '\\' << "Tarvikbackup";
        QTest::newRow("first dot ends it") << "C:\\A.B\\my.tool.exe" << '\\' << "my";
        QTest::newRow("capitals") << "/x/TARVIK" << '/' << "Tarvik";
        QTest::newRow("digits kept") << "/x/Backup2GO.bin" << '/' << "Backup2go";
        QTest::newRow("no folder") << "TarvikBackUp.exe" << '\\' << "Tarvikbackup";
    }
    void applicationTitle()
    {
        QFETCH(QString, modulePath);
        QFETCH(char, separator);
        QFETCH(QString, title);
        QCOMPARE(tarvik::gui::ApplicationTitle(modulePath.toStdString(), separator), title);
    }

    // A full stop is added when the last character sorts after "." as an
    // 8-bit character.
    void errorReportText_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("letter") << QByteArray("Disk full") << QByteArray("Disk full.");
        QTest::newRow("digit") << QByteArray("I/O error 32") << QByteArray("I/O error 32.");
        QTest::newRow("full stop") << QByteArray("Done.") << QByteArray("Done.");
        QTest::newRow("question") << QByteArray("Why?") << QByteArray("Why?.");
        QTest::newRow("exclamation") << QByteArray("Stop!") << QByteArray("Stop!");
        QTest::newRow("bracket") << QByteArray("Bad (x)") << QByteArray("Bad (x)");
        QTest::newRow("slash") << QByteArray("C:/") << QByteArray("C:/.");
        QTest::newRow("blank") << QByteArray("Ends ") << QByteArray("Ends ");
        QTest::newRow("8-bit") << QByteArray("Caf\xe9") << QByteArray("Caf\xe9.");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
    }
    void errorReportText()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, text);
        QCOMPARE(QByteArray::fromStdString(tarvik::gui::ErrorReportText(message.toStdString())),
                 text);
    }
};

QTEST_MAIN(StartUpTest)
#include "StartUpTest.moc"
