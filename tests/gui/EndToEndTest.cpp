// The built program itself, started as a scheduler would start it: a copy of
// the executable in a folder of its own with its settings file and the
// command interpreter beside it, "/auto" on its command line, the offscreen
// platform for its window. The real interpreter makes the backup; SIGTERM
// then ends the program as a session's end would, also while a message box
// waits or when the settings file refuses the save.

#include "ProgramFolders.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using programtest::readText;
using programtest::writeText;

void copyProgram(const QString& from, const QString& to)
{
    QVERIFY2(QFile::copy(from, to), qPrintable(from));
    QVERIFY(QFile::setPermissions(to, QFile::permissions(from)));
}

// Whether process `pid` has put its own handler for SIGTERM in place.
bool catchesTermination(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
    return false;
}

QProcessEnvironment offscreenEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // No desktop: the interpreter runs without a terminal window.
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    return environment;
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

  private slots:
    void autoRunBacksUpAndSignalSavesTheSettings()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QDir folder(root.path());
        QVERIFY(folder.mkpath("program"));
        const QString program = folder.filePath("program/TarvikBackUp");
        copyProgram(QStringLiteral(TARVIK_APP_PATH), program);
        copyProgram(QStringLiteral(MINICMD_PATH), folder.filePath("program/minicmd"));
        programtest::makeSourceAndBackups(folder);

        const QString settings = folder.filePath("program/TarvikBackUp.INI");
        const QByteArray source = folder.filePath("src").toLocal8Bit();
        const QByteArray backups = folder.filePath("backups").toLocal8Bit();
        writeText(settings, "[DirectoryListBox]\r\nNumber=1\r\nsVal0=" + source +
                                "\r\n[BackupDirEdt]\r\nText=" + backups +
                                "\r\n[SubDirCheckBox]\r\nChecked=1\r\n"
                                "[DelphiFilesCheckBox]\r\nChecked=1\r\n"
                                "[FileTypesListBox]\r\nNumber=1\r\nsVal0=*.doc\r\n");

        const programtest::TodaysBackup backup(folder);

        QProcess process;
        process.setProcessEnvironment(offscreenEnvironment());
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, {"/auto"});
        QVERIFY(process.waitForStarted(10000));

        QTRY_VERIFY_WITH_TIMEOUT(backup.documentsCopied(), 30000);
        QVERIFY(QFile::exists(backup.script));
        QCOMPARE(process.state(), QProcess::Running);

        process.terminate(); // SIGTERM
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);

        backup.checkFinished();

        // Every value went back to the file, the window's placement with them.
        const QByteArray saved = readText(settings);
        const QByteArrayList expectedLines = {"[BackUpForm]\r\nTop=",
                                              "InitMax=0",
                                              "sVal0=" + source,
                                              "Text=" + backups,
                                              "[SubDirCheckBox]\r\nChecked=1",
                                              "[AddNotesCheckBox]\r\nChecked=0",
                                              "[DelphiFilesCheckBox]\r\nChecked=1",
                                              "sVal0=*.doc"};
        for (const QByteArray& line : expectedLines)
            QVERIFY2(saved.contains(line), line.constData());
    }

    // SIGTERM, as a logout or a service stop sends it, always ends the program
    // and never loses the values: during the message box of a failed "/auto"
    // (no one will click it), when the settings file refuses the save (the
    // failure goes to standard error, the file stays as it was, the exit
    // status says so), and with a backup folder whose name is no UTF-8.
    void signalEndsTheProgram_data()
    {
        QTest::addColumn<QByteArray>("backupDir"); // in the test's folder
        QTest::addColumn<bool>("autoRun");
        QTest::addColumn<bool>("readOnly"); // the settings file and its folder
        QTest::addColumn<int>("exitCode");
        QTest::newRow("message box of a failed /auto")
            << QByteArray("missing") << true << false << 0;
        QTest::newRow("save refused") << QByteArray("backups") << false << true << 1;
        QTest::newRow("name not valid UTF-8") << QByteArray("bk\xe9") << false << false << 0;
    }
    void signalEndsTheProgram()
    {
        QFETCH(QByteArray, backupDir);
        QFETCH(bool, autoRun);
        QFETCH(bool, readOnly);
        QFETCH(int, exitCode);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QDir folder(root.path());
        QVERIFY(folder.mkpath("program") && folder.mkpath("src"));
        const QString program = folder.filePath("program/TarvikBackUp");
        copyProgram(QStringLiteral(TARVIK_APP_PATH), program);
        const QString settings = folder.filePath("program/TarvikBackUp.INI");
        const QByteArray backups = folder.path().toLocal8Bit() + '/' + backupDir;
        const QByteArray stored =
            "[DirectoryListBox]\r\nNumber=1\r\nsVal0=" + folder.filePath("src").toLocal8Bit() +
            "\r\n[BackupDirEdt]\r\nText=" + backups + "\r\n";
        writeText(settings, stored);

        QProcess process;
        process.setProcessEnvironment(offscreenEnvironment());
        if (readOnly) {
            QVERIFY(::chmod(QFile::encodeName(settings), 0444) == 0);
            QVERIFY(::chmod(QFile::encodeName(folder.filePath("program")), 0555) == 0);
            QVERIFY(::chmod(QFile::encodeName(folder.path()), 0755) == 0);
            // Root may write anything: the program runs as nobody then.
            if (::geteuid() == 0)
                process.setChildProcessModifier([] {
                    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 ||
                        ::setuid(65534) != 0)
                        ::_exit(126);
                });
        }
        process.start(program, autoRun ? QStringList{"/auto"} : QStringList{});
        QVERIFY(process.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(catchesTermination(process.processId()), 30000);

        process.terminate();
        const bool ended = process.waitForFinished(20000);
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        ::chmod(QFile::encodeName(folder.filePath("program")), 0755); // for the clean-up
        QVERIFY2(ended, "the program did not end on SIGTERM");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QByteArray errors = process.readAllStandardError();
        QVERIFY2(process.exitCode() == exitCode, errors.constData());

        const QByteArray saved = readText(settings);
        if (readOnly) {
            QCOMPARE(saved, stored);
            QVERIFY2(errors.contains("Unable to write to " + settings.toLocal8Bit()),
                     errors.constData());
        } else {
            QVERIFY2(saved.contains("[BackUpForm]\r\n"), saved.constData());
            QVERIFY2(saved.contains("\r\nText=" + backups + "\r\n"), saved.constData());
        }
    }

    // A scheduler that starts "/auto" without the session's display gets one
    // line that says what is missing and a failure status, not a core dump.
    void withoutADisplayTheProgramSaysSoAndFails_data()
    {
        QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM, "" for unset
        QTest::addColumn<QString>("display");  // "" for unset
        QTest::newRow("default platform") << QString() << QString();
        QTest::newRow("xcb asked for") << QStringLiteral("xcb") << QString();
        QTest::newRow("display gone") << QString() << QStringLiteral(":9377");
    }
    void withoutADisplayTheProgramSaysSoAndFails()
    {
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QProcessEnvironment environment = offscreenEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        if (!platform.isEmpty())
            environment.insert("QT_QPA_PLATFORM", platform);
        if (!display.isEmpty())
            environment.insert("DISPLAY", display);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TARVIK_APP_PATH), {"/auto"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        const QByteArray said = process.readAllStandardError();
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.contains("DISPLAY=:0 TarvikBackUp /auto"), said.constData());
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
