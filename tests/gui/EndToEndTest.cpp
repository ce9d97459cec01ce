// The built program itself, started as a scheduler would start it: a copy of
// the executable in a folder of its own with its settings file and the
// command interpreter beside it, "/auto" on its command line, the offscreen
// platform for its window. The real interpreter makes the backup; SIGTERM
// then ends the program as a session's end would.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeText(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void copyProgram(const QString& from, const QString& to)
{
    QVERIFY2(QFile::copy(from, to), qPrintable(from));
    QVERIFY(QFile::setPermissions(to, QFile::permissions(from)));
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
        for (const char* sub : {"program", "src/sub", "backups"})
            QVERIFY(folder.mkpath(QLatin1String(sub)));
        const QString program = folder.filePath("program/TarvikBackUp");
        copyProgram(QStringLiteral(TARVIK_APP_PATH), program);
        copyProgram(QStringLiteral(MINICMD_PATH), folder.filePath("program/minicmd"));
        writeText(folder.filePath("src/report.doc"), "report\r\n");
        writeText(folder.filePath("src/sub/deep.doc"), "deep\r\n");
        writeText(folder.filePath("src/notes.txt"), "not a doc\r\n");

        const QString settings = folder.filePath("program/TarvikBackUp.INI");
        const QByteArray source = folder.filePath("src").toLocal8Bit();
        const QByteArray backups = folder.filePath("backups").toLocal8Bit();
        writeText(settings, "[DirectoryListBox]\r\nNumber=1\r\nsVal0=" + source +
                                "\r\n[BackupDirEdt]\r\nText=" + backups +
                                "\r\n[SubDirCheckBox]\r\nChecked=1\r\n"
                                "[DelphiFilesCheckBox]\r\nChecked=1\r\n"
                                "[FileTypesListBox]\r\nNumber=1\r\nsVal0=*.doc\r\n");

        const QString stamp = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        const QString target = folder.filePath("backups/BK-" + stamp + "/src");
        const QString script = folder.filePath("backups/backup" + stamp + ".bat");

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // No desktop: the interpreter runs without a terminal window.
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, {"/auto"});
        QVERIFY(process.waitForStarted(10000));

        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target + "/sub/deep.doc") &&
                                     QFile::exists(target + "/report.doc"),
                                 30000);
        QVERIFY(QFile::exists(script));
        QCOMPARE(process.state(), QProcess::Running);

        process.terminate(); // SIGTERM
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);

        QCOMPARE(readText(target + "/report.doc"), QByteArray("report\r\n"));
        QCOMPARE(readText(target + "/sub/deep.doc"), QByteArray("deep\r\n"));
        QVERIFY(!QFile::exists(target + "/notes.txt"));
        QVERIFY2(!QFile::exists(script), "the script outlived the program");

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
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
