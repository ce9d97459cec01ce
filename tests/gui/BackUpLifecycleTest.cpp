// The main window from start to end: what it loads when first shown, what
// "/auto" starts, what closing saves and deletes, and how a failing handler
// is reported while the window goes on working.

#include "BoolRows.h"
#include "SettingsWidgets.h"
#include "ShownWindow.h"
#include "gui/BackUpMain.h"
#include "gui/ListBox.h"
#include "platform/Profile.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPalette>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <memory>
#include <unistd.h>

using tarvik::gui::TBackUpForm;
using tarvik::test::addBoolRows;
using tarvik::test::itemsOf;
using windowtest::WindowWorld;
using windowtest::WorldWithBackups;

namespace {

std::unique_ptr<TBackUpForm> startWindow(std::vector<std::string> commandLine = {})
{
    auto form = std::make_unique<TBackUpForm>(std::move(commandLine));
    form->show();
    return form;
}

// The eight stored values and the placement, as a user left them.
std::string storedSettings(const std::string& backupDirectory)
{
    return "[BackUpForm]\r\nTop=40\r\nLeft=60\r\nWidth=500\r\nHeight=620\r\nInitMax=0\r\n"
           "[DirectoryListBox]\r\nNumber=2\r\nsVal0=/data/Src\r\nsVal1=/data/Docs\r\n"
           "[BackupDirEdt]\r\nText=" +
           backupDirectory +
           "\r\n"
           "[AddNotesCheckBox]\r\nChecked=1\r\n"
           "[SubDirCheckBox]\r\nChecked=1\r\n"
           "[DelphiFilesCheckBox]\r\nChecked=0\r\n"
           "[ChangesFromDateCheckBox]\r\nChecked=1\r\n"
           "[FileTypesListBox]\r\nNumber=2\r\nsVal0=*.doc\r\nsVal1=*.xls\r\n";
}

std::string stored(const WindowWorld& world, const char* section, const char* key)
{
    return tarvik::platform::getProfileString(section, key, "<missing>", world.settingsFile());
}

} // namespace

class BackUpLifecycleTest : public QObject
{
    Q_OBJECT

  private slots:
    void firstStartTakesDefaults()
    {
        WindowWorld world;
        auto form = startWindow();
        QVERIFY(form->DirectoryListBox->count() == 0 && form->FileTypesListBox->count() == 0);
        QVERIFY(form->BackupDirEdt->text().isEmpty());
        for (QCheckBox* box : form->findChildren<QCheckBox*>())
            QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
        QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet1);
        QCOMPARE(form->DateTimePicker->date(), QDate(2026, 12, 6));
        const auto& changesFrom = form->ChangesFromDate();
        QCOMPARE(changesFrom.date, (tarvik::platform::CivilDate{2026, 12, 6}));
        QCOMPARE(changesFrom.millisecond, 250);
        QVERIFY(!form->isMaximized());
        QVERIFY(world.dialogs.errors.empty());
    }

    void startRestoresEveryStoredValue()
    {
        WindowWorld world;
        testfiles::writeFile(world.settingsFile(), storedSettings("/backups"));
        auto form = startWindow();
        QCOMPARE(itemsOf(*form->DirectoryListBox), QStringList({"/data/Src", "/data/Docs"}));
        QCOMPARE(form->BackupDirEdt->text(), QStringLiteral("/backups"));
        QVERIFY(form->AddNotesCheckBox->isChecked());
        QVERIFY(form->SubDirCheckBox->isChecked());
        QVERIFY(!form->DelphiFilesCheckBox->isChecked());
        QVERIFY(form->ChangesFromDateCheckBox->isChecked());
        QCOMPARE(itemsOf(*form->FileTypesListBox), QStringList({"*.doc", "*.xls"}));
        QCOMPARE(form->frameGeometry(), QRect(60, 40, 500, 620));
        QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet1);
        QVERIFY(world.system.shellCalls.empty());
    }

    // Each argument that is exactly "/auto" starts one run once the values
    // are loaded; anything else is passed over without a word.
    void autoSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("runs");
        QTest::newRow("none") << QStringList() << 0;
        QTest::newRow("once") << QStringList({"/auto"}) << 1;
        QTest::newRow("twice") << QStringList({"/auto", "/auto"}) << 2;
        QTest::newRow("among others") << QStringList({"x", "/auto", "-y"}) << 1;
        QTest::newRow("capitals") << QStringList({"/AUTO"}) << 0;
        QTest::newRow("dash") << QStringList({"-auto"}) << 0;
        QTest::newRow("no slash") << QStringList({"auto"}) << 0;
        QTest::newRow("appended") << QStringList({"/autox"}) << 0;
        QTest::newRow("blank after") << QStringList({"/auto "}) << 0;
    }
    void autoSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, runs);
        WorldWithBackups world(storedSettings);
        std::vector<std::string> commandLine;
        for (const QString& argument : arguments)
            commandLine.push_back(argument.toStdString());
        auto form = startWindow(commandLine);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTRY_COMPARE(int(world.system.shellCalls.size()), runs);
        for (const auto& call : world.system.shellCalls) {
            QCOMPARE(call.verb, std::string("open"));
            QCOMPARE(call.file, world.backups + "/backup20261206.bat");
        }
        // The runs saw the stored values, not the empty ones of the definition.
        if (runs > 0)
            QVERIFY(testfiles::readFile(world.backups + "/backup20261206.bat")
                        .find("MD " + world.backups) == 0);
        QVERIFY(world.dialogs.errors.empty());
    }

    // "Exit", its menu item and the window's close button all save every value.
    void closingSavesEveryValue_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Exit action") << "ExitProgram";
        QTest::newRow("File menu Exit") << "Exit1";
        QTest::newRow("close button") << "";
    }
    void closingSavesEveryValue()
    {
        QFETCH(QString, how);
        WindowWorld world;
        testfiles::writeFile(world.settingsFile(), storedSettings("/old"));
        {
            auto form = startWindow();
            form->DirectoryListBox->addItem(QStringLiteral("/data/More"));
            form->FileTypesListBox->clear();
            form->FileTypesListBox->addItem(QStringLiteral("*.txt"));
            form->BackupDirEdt->setText(QStringLiteral("/new backups"));
            form->SubDirCheckBox->setChecked(false);
            form->setGeometry(70, 80, 430, 540);
            if (how.isEmpty())
                QVERIFY(form->close());
            else
                form->findChild<QAction*>(how)->trigger();
            QTRY_VERIFY(!form->isVisible());
        }
        QVERIFY(world.dialogs.errors.empty());
        QCOMPARE(stored(world, "BackupDirEdt", "Text"), std::string("/new backups"));
        QCOMPARE(stored(world, "SubDirCheckBox", "Checked"), std::string("0"));
        QCOMPARE(stored(world, "AddNotesCheckBox", "Checked"), std::string("1"));

        // The next start finds what the user left, and today's date again.
        world.system.clock.date = {2027, 3, 1};
        auto form = startWindow();
        QCOMPARE(itemsOf(*form->DirectoryListBox),
                 QStringList({"/data/Src", "/data/Docs", "/data/More"}));
        QCOMPARE(itemsOf(*form->FileTypesListBox), QStringList({"*.txt"}));
        QCOMPARE(form->BackupDirEdt->text(), QStringLiteral("/new backups"));
        QVERIFY(!form->SubDirCheckBox->isChecked());
        QCOMPARE(form->geometry(), QRect(70, 80, 430, 540));
        QCOMPARE(form->DateTimePicker->date(), QDate(2027, 3, 1));
    }

    // Another window of the program (a scheduled run's, left open for hours)
    // saves while this one is open: closing this one saves what its user
    // changed, and leaves alone the other's changes to anything else.
    void closingKeepsAnotherWindowsChanges_data()
    {
        QTest::addColumn<QString>("otherWindowWrites"); // replaces the matching stored line
        QTest::addColumn<QString>("thisWindowDoes");
        QTest::addColumn<QStringList>("expected"); // "Section Key Value"
        QTest::newRow("a folder added there, the backup folder changed here")
            << "Number=2\r\nsVal0=/data/Src|Number=3\r\nsVal2=/data/More\r\nsVal0=/data/Src"
            << "backup folder"
            << QStringList{"DirectoryListBox Number 3", "DirectoryListBox sVal2 /data/More",
                           "BackupDirEdt Text /new"};
        QTest::newRow("the folders changed in both: this window's save is last")
            << "Number=2\r\nsVal0=/data/Src|Number=3\r\nsVal2=/data/More\r\nsVal0=/data/Src"
            << "remove a folder" << QStringList{"DirectoryListBox Number 1"};
        QTest::newRow("a box unchecked there, unchecked and checked again here")
            << "[SubDirCheckBox]\r\nChecked=1|[SubDirCheckBox]\r\nChecked=0"
            << "uncheck and check" << QStringList{"SubDirCheckBox Checked 0"};
    }
    void closingKeepsAnotherWindowsChanges()
    {
        QFETCH(QString, otherWindowWrites);
        QFETCH(QString, thisWindowDoes);
        QFETCH(QStringList, expected);
        WindowWorld world;
        const std::string before = storedSettings("/old");
        testfiles::writeFile(world.settingsFile(), before);
        {
            auto form = startWindow();
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            const QStringList replace = otherWindowWrites.split('|');
            std::string other = before;
            const auto at = other.find(replace[0].toStdString());
            QVERIFY(at != std::string::npos);
            other.replace(at, static_cast<size_t>(replace[0].size()), replace[1].toStdString());
            // As the program saves: a new file renamed over the old one.
            testfiles::writeFile(world.settingsFile() + ".new", other);
            std::filesystem::rename(world.settingsFile() + ".new", world.settingsFile());

            if (thisWindowDoes == "backup folder") {
                form->BackupDirEdt->setText(QStringLiteral("/new"));
            } else if (thisWindowDoes == "remove a folder") {
                form->DirectoryListBox->removeItem(1);
            } else {
                form->SubDirCheckBox->setChecked(false);
                form->SubDirCheckBox->setChecked(true);
            }
            QVERIFY(form->close());
        }
        QVERIFY(world.dialogs.errors.empty());
        for (const QString& line : expected) {
            const QStringList field = line.split(' ');
            QCOMPARE(stored(world, qPrintable(field[0]), qPrintable(field[1])),
                     field[2].toStdString());
        }
    }

    void closingDeletesTheLastScriptOnly_data()
    {
        addBoolRows("run", {{"after a run", true}, {"without a run", false}});
    }
    void closingDeletesTheLastScriptOnly()
    {
        QFETCH(bool, run);
        WorldWithBackups world(storedSettings);
        const std::string script = world.backups + "/backup20261206.bat";
        testfiles::writeFile(script, "left from an earlier day\r\n");
        {
            auto form = startWindow();
            if (run) {
                form->RunBackupAction->trigger();
                QCOMPARE(form->ScriptFileName(), script);
            }
            form->ExitProgram->trigger();
        }
        QCOMPARE(std::filesystem::exists(script), !run);
        QCOMPARE(int(world.system.shellCalls.size()), run ? 1 : 0);
    }

    // The hidden check boxes pass from the file into the window and back
    // unchanged, whatever their states.
    void hiddenCheckBoxesRoundTrip_data()
    {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("delphi");
        QTest::addColumn<QString>("changesFrom");
        QTest::newRow("all clear") << "0"
                                   << "0"
                                   << "0";
        QTest::newRow("all set") << "1"
                                 << "1"
                                 << "1";
        QTest::newRow("mixed") << "1"
                               << "0"
                               << "1";
        QTest::newRow("hex and words") << "0x1"
                                       << "yes"
                                       << "-7";
    }
    void hiddenCheckBoxesRoundTrip()
    {
        QFETCH(QString, notes);
        QFETCH(QString, delphi);
        QFETCH(QString, changesFrom);
        const auto saved = [](const QString& value) {
            return value == "0" || value == "yes" ? std::string("0") : std::string("1");
        };
        WindowWorld world;
        testfiles::writeFile(
            world.settingsFile(),
            "[AddNotesCheckBox]\r\nChecked=" + notes.toStdString() +
                "\r\n[DelphiFilesCheckBox]\r\nChecked=" + delphi.toStdString() +
                "\r\n[ChangesFromDateCheckBox]\r\nChecked=" + changesFrom.toStdString() + "\r\n");
        for (int start = 0; start < 2; ++start) {
            auto form = startWindow();
            QCOMPARE(form->AddNotesCheckBox->isChecked(), saved(notes) == "1");
            QCOMPARE(form->DelphiFilesCheckBox->isChecked(), saved(delphi) == "1");
            QCOMPARE(form->ChangesFromDateCheckBox->isChecked(), saved(changesFrom) == "1");
            QVERIFY(!form->AddNotesCheckBox->isVisible());
        }
        QCOMPARE(stored(world, "AddNotesCheckBox", "Checked"), saved(notes));
        QCOMPARE(stored(world, "DelphiFilesCheckBox", "Checked"), saved(delphi));
        QCOMPARE(stored(world, "ChangesFromDateCheckBox", "Checked"), saved(changesFrom));
    }

    // The user's date names the script and the backup folder of the next run.
    void pickerChangeReachesTheRun()
    {
        WorldWithBackups world(storedSettings);
        auto form = startWindow();
        form->DateTimePicker->setFocus();
        form->DateTimePicker->setDate(QDate(2027, 1, 15));
        QCOMPARE(form->ChangesFromDate().date, (tarvik::platform::CivilDate{2027, 1, 15}));
        form->RunBackupAction->trigger();
        QCOMPARE(form->ScriptFileName(), world.backups + "/backup20270115.bat");
        QCOMPARE(testfiles::readFile(form->ScriptFileName()),
                 "MD " + world.backups + "/BK-20270115\r\n");
    }

    // A failing run ends with the standard report; the window goes on, and
    // the next run with a usable folder works.
    void failingHandlerIsReported()
    {
        WindowWorld world;
        auto form = startWindow();
        form->BackupDirEdt->setText(QString::fromStdString(world.folder / "missing"));
        form->RunBackupAction->trigger();
        QCOMPARE(int(world.dialogs.errors.size()), 1);
        QCOMPARE(world.dialogs.errors[0].caption, QStringLiteral("Tarvikbackup"));
        QCOMPARE(world.dialogs.errors[0].text, QStringLiteral("Invalid filename."));
        QVERIFY(world.system.shellCalls.empty());
        QVERIFY(form->isVisible());

        form->BackupDirEdt->setText(QString::fromStdString(world.folder.path()));
        form->RunBackup1->trigger();
        QCOMPARE(int(world.dialogs.errors.size()), 1);
        QCOMPARE(int(world.system.shellCalls.size()), 1);
    }

    // A run of "/auto" that fails ends the show handler: one report, and the
    // second "/auto" does not run.
    void failingAutoRunEndsTheStart()
    {
        WindowWorld world;
        testfiles::writeFile(world.settingsFile(), storedSettings(world.folder / "missing"));
        auto form = startWindow({"/auto", "/auto"});
        QTRY_COMPARE(int(world.dialogs.errors.size()), 1);
        QCoreApplication::processEvents();
        QCOMPARE(int(world.dialogs.errors.size()), 1);
        QCOMPARE(world.dialogs.errors[0].text, QStringLiteral("Invalid filename."));
        // Reported over the window, which is on screen by then.
        QCOMPARE(world.dialogs.errors[0].owner, form.get());
        QVERIFY(world.dialogs.errors[0].ownerOnScreen);
        QVERIFY(world.system.shellCalls.empty());
        QCOMPARE(form->DirectoryListBox->count(), 2);
    }

    // A source folder that is not there is greyed, with a tooltip, when the
    // window shows and again before each run; the list itself keeps it.
    // Folders "a" and "b" are listed; marks per row: 'g' greyed, '.' plain.
    void missingSourcesAreGreyed_data()
    {
        QTest::addColumn<QString>("madeBeforeStart");
        QTest::addColumn<QString>("changedBeforeRun"); // made, or removed after a '-'
        QTest::addColumn<QString>("atStart");
        QTest::addColumn<QString>("afterRun");
        QTest::newRow("both there") << "ab"
                                    << ""
                                    << ".."
                                    << "..";
        QTest::newRow("one missing") << "a"
                                     << ""
                                     << ".g"
                                     << ".g";
        QTest::newRow("made before the run") << ""
                                             << "b"
                                             << "gg"
                                             << "g.";
        QTest::newRow("removed before the run") << "ab"
                                                << "-a"
                                                << ".."
                                                << "g.";
    }
    void missingSourcesAreGreyed()
    {
        QFETCH(QString, madeBeforeStart);
        QFETCH(QString, changedBeforeRun);
        QFETCH(QString, atStart);
        QFETCH(QString, afterRun);
        WindowWorld world;
        const std::string backups = world.makeFolder("backups");
        const auto folderOf = [&](QChar name) {
            return world.folder / std::string(1, name.toLatin1());
        };
        for (QChar name : madeBeforeStart)
            testfiles::makeDirectory(folderOf(name));
        std::string settings = storedSettings(backups);
        const std::string listed = "sVal0=/data/Src\r\nsVal1=/data/Docs";
        settings.replace(settings.find(listed), listed.size(),
                         "sVal0=" + folderOf('a') + "\r\nsVal1=" + folderOf('b'));
        testfiles::writeFile(world.settingsFile(), settings);
        const auto marks = [](const tarvik::gui::ListBox* list) {
            const QVariant grey =
                QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
            QString rows;
            for (int row = 0; row < list->count(); ++row) {
                const QModelIndex index = list->model()->index(row, 0);
                const QString tip = index.data(Qt::ToolTipRole).toString();
                if (index.data(Qt::ForegroundRole) != grey)
                    rows += tip.isEmpty() ? '.' : '?';
                else
                    rows +=
                        tip == QStringLiteral("Folder not found: Run Backup skips it.") ? 'g' : '?';
            }
            return rows;
        };
        auto form = startWindow();
        QTRY_COMPARE(marks(form->DirectoryListBox), atStart);
        if (changedBeforeRun.startsWith('-'))
            std::filesystem::remove(folderOf(changedBeforeRun[1]));
        else
            for (QChar name : changedBeforeRun)
                testfiles::makeDirectory(folderOf(name));
        form->RunBackupAction->trigger();
        QTRY_COMPARE(marks(form->DirectoryListBox), afterRun);
        QCOMPARE(int(world.system.shellCalls.size()), 1);
        form.reset();
        QCOMPARE(stored(world, "DirectoryListBox", "Number"), std::string("2"));
        QCOMPARE(stored(world, "DirectoryListBox", "sVal1"), folderOf('b'));
    }

    void refusedSettingsWriteIsReported_data()
    {
        addBoolRows("readOnlyFile",
                    {{"read-only file", true}, {"folder in the file's place", false}});
    }
    void refusedSettingsWriteIsReported()
    {
        QFETCH(bool, readOnlyFile);
        if (readOnlyFile && ::geteuid() == 0)
            QSKIP("the superuser writes read-only files");
        WindowWorld world;
        std::string before;
        if (readOnlyFile) {
            before = storedSettings("/old");
            testfiles::writeFile(world.settingsFile(), before);
            std::filesystem::permissions(world.settingsFile(), std::filesystem::perms::owner_read);
        } else {
            testfiles::makeDirectory(world.settingsFile());
        }
        {
            auto form = startWindow();
            form->BackupDirEdt->setText(QStringLiteral("/changed"));
            form->ExitProgram->trigger();
        }
        QCOMPARE(int(world.dialogs.errors.size()), 1);
        QCOMPARE(world.dialogs.errors[0].text,
                 QString::fromStdString("Unable to write to " + world.settingsFile() + "."));
        QCOMPARE(world.dialogs.errors[0].caption, QStringLiteral("Tarvikbackup"));
        if (readOnlyFile)
            QCOMPARE(testfiles::readFile(world.settingsFile()), before);
    }

    // A window that was never shown never loaded the stored values, so it
    // leaves them alone; it still deletes nothing it did not write.
    void neverShownWindowKeepsTheStoredValues()
    {
        WindowWorld world;
        const std::string before = storedSettings("/kept");
        testfiles::writeFile(world.settingsFile(), before);
        {
            TBackUpForm form;
        }
        QCOMPARE(testfiles::readFile(world.settingsFile()), before);
        QVERIFY(world.dialogs.errors.empty());
    }
};

QTEST_MAIN(BackUpLifecycleTest)
#include "BackUpLifecycleTest.moc"
