// The program on Windows (under Wine on Linux), with the windows platform
// plugin: the folder browser behind the window's "..." button is the shell's
// own, and the runnable folder the build gathers runs a scheduled backup from
// its settings file, through the system's cmd and xcopy, and saves on close.

#include "ProgramFolders.h"
#include "ShownWindow.h"
#include "TestFiles.h"
#include "TestSystem.h"
#include "core/BackupRun.h"
#include "gui/BackUpMain.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
// windows.h goes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

namespace {

using programtest::readText;

std::string windowText(HWND window)
{
    char text[256] = {};
    ::GetWindowTextA(window, text, static_cast<int>(sizeof text));
    return text;
}

BOOL CALLBACK collectChildText(HWND child, LPARAM texts)
{
    reinterpret_cast<QStringList*>(texts)->append(QString::fromStdString(windowText(child)));
    return TRUE;
}

// The shell's browser as the window's thread shows it: a dialog box of the
// system's class.
struct BrowserSeen
{
    HWND owner = nullptr;
    QStringList texts;
    bool seen = false;
};

BOOL CALLBACK answerBrowser(HWND window, LPARAM data)
{
    char className[32] = {};
    ::GetClassNameA(window, className, static_cast<int>(sizeof className));
    if (!::IsWindowVisible(window) || std::string(className) != "#32770")
        return TRUE;
    auto* seen = reinterpret_cast<std::pair<BrowserSeen*, WPARAM>*>(data);
    seen->first->seen = true;
    seen->first->owner = ::GetWindow(window, GW_OWNER);
    ::EnumChildWindows(window, collectChildText, reinterpret_cast<LPARAM>(&seen->first->texts));
    ::PostMessageA(window, WM_COMMAND, seen->second, 0);
    return FALSE;
}

BOOL CALLBACK closeProcessWindows(HWND window, LPARAM processId)
{
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(processId) && ::IsWindowVisible(window) &&
        windowText(window) == "Back Up")
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void copyTree(const QString& from, const QString& to)
{
    QDirIterator files(from, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        const QString target = to + file.mid(from.size());
        QVERIFY(QDir().mkpath(QFileInfo(target).path()));
        QVERIFY2(QFile::copy(file, target), qPrintable(file));
    }
}

// Whether a command interpreter (or the xcopy it runs) is still at work.
bool interpreterRunning()
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    bool running = false;
    for (BOOL more = ::Process32FirstW(snapshot, &process); more && !running;
         more = ::Process32NextW(snapshot, &process))
        running = ::lstrcmpiW(process.szExeFile, L"cmd.exe") == 0 ||
                  ::lstrcmpiW(process.szExeFile, L"xcopy.exe") == 0;
    ::CloseHandle(snapshot);
    return running;
}

std::string profileString(const std::string& file, const char* section, const char* key)
{
    char value[1024] = {};
    ::GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, file.c_str());
    return value;
}

} // namespace

class Win32ProgramTest : public QObject
{
    Q_OBJECT

  private slots:
    void theFolderButtonOpensTheShellsBrowser_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cancelled") << IDCANCEL << "D:\\before";
        // Nothing is preselected: confirming at once chooses the root.
        QTest::newRow("confirmed") << IDOK << "C:\\";
    }

    void theFolderButtonOpensTheShellsBrowser()
    {
        QFETCH(int, command);
        QFETCH(QString, expected);
        // The test's System keeps the settings file in a folder of its own;
        // the dialogs are the real ones.
        testfiles::TempDir folder;
        testfiles::TestSystem system(folder / "TarvikBackUp");
        tarvik::platform::ScopedSystem useSystem(system);
        tarvik::gui::TBackUpForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.BackupDirEdt->setText(QStringLiteral("D:\\before"));

        // The browser runs its own message loop, which also serves this
        // timer; the test's answer goes to the browser from there.
        BrowserSeen seen;
        std::pair<BrowserSeen*, WPARAM> answer{&seen, static_cast<WPARAM>(command)};
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, &poll, [&] {
            if (!seen.seen)
                ::EnumThreadWindows(::GetCurrentThreadId(), answerBrowser,
                                    reinterpret_cast<LPARAM>(&answer));
        });
        poll.start();
        form.SelectBUDirButton->click();
        poll.stop();

        QVERIFY(seen.seen);
        QCOMPARE(seen.owner, reinterpret_cast<HWND>(form.winId()));
        QVERIFY2(seen.texts.contains(QStringLiteral("Select Directory")),
                 qPrintable(seen.texts.join('|')));
        QCOMPARE(form.BackupDirEdt->text(), expected);
    }

    // As a scheduler runs it: the runnable folder copied to a place of its
    // own, the settings file beside the executable, "/auto", no other PATH
    // than the system's, so every DLL must come from the folder itself.
    void theRunnableFolderBacksUpWithAutoAndSavesOnClose()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QDir folder(root.path());
        copyTree(QStringLiteral(TARVIK_DEPLOY_DIR), folder.filePath("program"));
        programtest::makeSourceAndBackups(folder);

        const std::string settings =
            QDir::toNativeSeparators(folder.filePath("program/TarvikBackUp.INI")).toStdString();
        const std::string source = QDir::toNativeSeparators(folder.filePath("src")).toStdString();
        const std::string backups =
            QDir::toNativeSeparators(folder.filePath("backups")).toStdString();
        const auto write = [&](const char* section, const char* key, const std::string& value) {
            QVERIFY(::WritePrivateProfileStringA(section, key, value.c_str(), settings.c_str()));
        };
        write("DirectoryListBox", "Number", "1");
        write("DirectoryListBox", "sVal0", source);
        write("BackupDirEdt", "Text", backups);
        write("SubDirCheckBox", "Checked", "1");
        write("DelphiFilesCheckBox", "Checked", "1");
        write("FileTypesListBox", "Number", "1");
        write("FileTypesListBox", "sVal0", "*.doc");

        const programtest::TodaysBackup backup(folder);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("QT_PLUGIN_PATH"));
        char system[MAX_PATH];
        QVERIFY(::GetSystemDirectoryA(system, MAX_PATH) > 0);
        environment.insert(QStringLiteral("PATH"), QString::fromLocal8Bit(system));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(folder.filePath("program/TarvikBackUp.exe"), {QStringLiteral("/auto")});
        QVERIFY(process.waitForStarted(30000));

        QTRY_VERIFY_WITH_TIMEOUT(backup.documentsCopied(), 60000);
        QVERIFY(QFile::exists(backup.script));
        QCOMPARE(process.state(), QProcess::Running);
        // Closed while cmd still ran, the program would leave the script to
        // the next start.
        QTRY_VERIFY_WITH_TIMEOUT(!interpreterRunning(), 60000);

        // The title bar's close button, as the window receives it.
        const auto processId = static_cast<LPARAM>(process.processId());
        ::EnumWindows(closeProcessWindows, processId);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);

        backup.checkFinished();

        // Every value went back through the profile calls, the placement too.
        QVERIFY(profileString(settings, "BackUpForm", "Top") != "<missing>");
        QCOMPARE(profileString(settings, "BackUpForm", "InitMax"), std::string("0"));
        QCOMPARE(profileString(settings, "DirectoryListBox", "sVal0"), source);
        QCOMPARE(profileString(settings, "BackupDirEdt", "Text"), backups);
        QCOMPARE(profileString(settings, "SubDirCheckBox", "Checked"), std::string("1"));
        QCOMPARE(profileString(settings, "AddNotesCheckBox", "Checked"), std::string("0"));
        QCOMPARE(profileString(settings, "DelphiFilesCheckBox", "Checked"), std::string("1"));
        QCOMPARE(profileString(settings, "FileTypesListBox", "sVal0"), std::string("*.doc"));
    }

    // A backup that outlasts the window, through the system's own shell and
    // cmd: its script is held against the start's clean-up, a second "Run
    // Backup" says so at once instead of waiting, closing saves at once and
    // leaves the script, and the next start removes it once cmd has ended.
    void aRunningBackupNeitherFreezesTheWindowNorDelaysTheSave()
    {
        windowtest::WindowWorld world;
        tarvik::platform::System& shell = tarvik::platform::native();
        world.system.passOn = [&shell](tarvik::platform::WindowHandle owner, const char* verb,
                                       const char* file, const char* parameters,
                                       const char* directory, int show) {
            shell.shellExecute(owner, verb, file, parameters, directory, show);
        };
        world.system.runningFrom = [&shell] { return shell.scriptRunning(); };
        const std::string backups = world.folder.path() + "\\backups";
        QVERIFY(::CreateDirectoryA(backups.c_str(), nullptr));
        testfiles::writeFile(world.settingsFile(), "[BackupDirEdt]\r\nText=" + backups + "\r\n");
        // The last session's script, which runs until the test lets it go.
        const std::string go = world.folder.path() + "\\go.txt";
        const std::string script = backups + "\\backup20261205.bat";
        testfiles::writeFile(script,
                             "@echo off\r\n:wait\r\nif not exist \"" + go + "\" goto wait\r\n");
        shell.shellExecute(nullptr, "open", script.c_str(), nullptr, nullptr, SW_SHOWNORMAL);

        auto form = std::make_unique<tarvik::gui::TBackUpForm>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(tarvik::platform::fileExists(script));
        QElapsedTimer clock;
        clock.start();
        form->findChild<QAction*>(QStringLiteral("RunBackupAction"))->trigger();
        QVERIFY2(clock.elapsed() < 5000, "the second run waited for the first");
        QCOMPARE(world.dialogs.errors.size(), size_t{1});
        QVERIFY(world.dialogs.errors[0].text.startsWith(QLatin1String(tarvik::kStillRunning)));

        clock.restart();
        form.reset();
        QVERIFY2(clock.elapsed() < 5000, "closing waited for the backup");
        QVERIFY(shell.scriptRunning());
        QVERIFY(testfiles::readFile(world.settingsFile()).find("[BackUpForm]") !=
                std::string::npos);
        QVERIFY(tarvik::platform::fileExists(script));

        testfiles::writeFile(go, "");
        QTRY_VERIFY_WITH_TIMEOUT(!shell.scriptRunning(), 60000);
        form = std::make_unique<tarvik::gui::TBackUpForm>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(!tarvik::platform::fileExists(script));
    }
};

QTEST_MAIN(Win32ProgramTest)
#include "Win32ProgramTest.moc"
