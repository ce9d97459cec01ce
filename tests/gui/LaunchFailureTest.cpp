// "Run Backup" in the real window with the real POSIX shell, when the
// command interpreter is missing, cannot be started or never confirms that it
// read the script: the user is told what is wrong, and the script stays for
// running by hand.

#include "ShownWindow.h"
#include "gui/BackUpMain.h"
#include "platform/posix/PosixShell.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

using windowtest::TestDialogs;

class LaunchFailureTest : public QObject
{
    Q_OBJECT

  private slots:
    void runBackupReportsAnInterpreterThatCannotRun_data()
    {
        QTest::addColumn<QString>("interpreter"); // what lies beside the program, "" for nothing
        QTest::addColumn<QString>("message");     // {d}: the test's folder
        QTest::newRow("missing")
            << ""
            << "The command interpreter minicmd was not found beside the program or on PATH.";
        QTest::newRow("cannot be started")
            << "#!/nonexistent/interpreter\n"
            << "The command interpreter {d}/minicmd could not be started: No such file or "
               "directory.";
        QTest::newRow("runs nothing") // waits out the bound
            << "#!/bin/sh\nexit 0\n"
            << "The backup has not started within 10 seconds. If it does not start, run "
               "{d}/backups/backup20261206.bat by hand.";
    }
    void runBackupReportsAnInterpreterThatCannotRun()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, message);
        testfiles::TempDir folder;
        testfiles::makeDirectory(folder / "backups");
        testfiles::makeDirectory(folder / "empty");
        if (!interpreter.isEmpty()) {
            testfiles::writeFile(folder / "minicmd", interpreter.toStdString());
            ::chmod((folder / "minicmd").c_str(), 0755);
        }
        // Nothing on PATH and no display: the interpreter beside the program
        // is all there is.
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(folder / "empty"));
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        // The test's clock and date format, with the shell that the program uses.
        windowtest::TestSystem system(folder / "TarvikBackUp");
        system.passOn = tarvik::platform::posixShellExecute;
        tarvik::platform::ScopedSystem scopedSystem(system);
        TestDialogs dialogs;
        tarvik::gui::ScopedDialogs scopedDialogs(dialogs);
        {
            tarvik::gui::TBackUpForm form;
            form.show();
            form.BackupDirEdt->setText(QString::fromStdString(folder / "backups"));
            form.RunBackupAction->trigger();
            QCOMPARE(int(dialogs.errors.size()), 1);
            QCOMPARE(dialogs.errors[0].caption, QStringLiteral("Tarvikbackup"));
            QCOMPARE(dialogs.errors[0].text,
                     message.replace("{d}", QString::fromStdString(folder.path())));
            QVERIFY(std::filesystem::exists(folder / "backups/backup20261206.bat"));
            QVERIFY(!std::filesystem::exists(folder / "backups/BK-20261206"));
        }
        // Closing the program leaves it too.
        QVERIFY(std::filesystem::exists(folder / "backups/backup20261206.bat"));
        qputenv("PATH", path);
    }
};

QTEST_MAIN(LaunchFailureTest)
#include "LaunchFailureTest.moc"
