// The settings store on real widgets and real files.
#include "BoolRows.h"
#include "SettingsWidgets.h"
#include "TestSystem.h"
#include "gui/BackUpSettings.h"
#include "gui/ListBox.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvik;
using namespace tarvik::gui;
using tarvik::test::addBoolRows;
using tarvik::test::itemsOf;
using tarvik::test::MainWidgets;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class FrmSettingsTest : public QObject
{
    Q_OBJECT

  public:
    FrmSettingsTest() : m_system(""), m_scoped(m_system) {}

  private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_system.module = m_folder->filePath("TarvikBackUp").toStdString();
        m_settingsFile = m_folder->filePath("TarvikBackUp.INI");
    }

    void firstRunWithoutFileKeepsTheWidgetsOwnState()
    {
        MainWidgets widgets;
        widgets.form.setGeometry(33, 44, 300, 200);
        widgets.backupDir.setText("typed");
        widgets.subDir.setChecked(true);
        widgets.fileTypes.addItem("*.kept");
        widgets.load();
        QCOMPARE(widgets.form.geometry(), QRect(33, 44, 300, 200));
        QCOMPARE(widgets.form.windowState(), Qt::WindowNoState);
        QCOMPARE(widgets.directories.count(), 0);
        QCOMPARE(widgets.backupDir.text(), QString());
        QVERIFY(!widgets.subDir.isChecked());
        QCOMPARE(itemsOf(widgets.fileTypes), QStringList{"*.kept"});
        QVERIFY(!QFile::exists(m_settingsFile)); // loading creates nothing
    }

    void loadListBox_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QStringList>("expected");
        const QStringList none;
        QTest::newRow("number 0") << QByteArray("Number=0\r\nsVal0=a\r\n") << none;
        QTest::newRow("negative number") << QByteArray("Number=-2\r\nsVal0=a\r\n") << none;
        QTest::newRow("no number") << QByteArray("sVal0=a\r\n") << none;
        QTest::newRow("number that is no number")
            << QByteArray("Number=two\r\nsVal0=a\r\n") << none;
        QTest::newRow("gap") << QByteArray("Number=3\r\nsVal0=a\r\nsVal2=c\r\n")
                             << QStringList{"a", "c"};
        QTest::newRow("leftover key not read")
            << QByteArray("Number=2\r\nsVal0=a\r\nsVal1=b\r\nsVal2=c\r\n") << QStringList{"a", "b"};
        QTest::newRow("hex number")
            << QByteArray("Number=$2\r\nsVal1=b\r\nsVal0=a\r\n") << QStringList{"a", "b"};
        QTest::newRow("blank and padded items")
            << QByteArray("Number=3\r\nsVal0=   \r\nsVal1=  *.doc\t\r\nsVal2=\r\n")
            << QStringList{"*.doc"};
        QTest::newRow("names in any case")
            << QByteArray("NUMBER = 2\r\nSVAL1=b\r\nsval0=a\r\n") << QStringList{"a", "b"};
        QTest::newRow("huge number, three keys")
            << QByteArray("Number=2147483647\r\nsVal7=b\r\nsVal0=a\r\nsVal2147483646=z\r\n")
            << QStringList{"a", "b", "z"};
    }

    void loadListBox()
    {
        QFETCH(QByteArray, section);
        QFETCH(QStringList, expected);
        writeBytes(m_settingsFile, "[Other]\r\nNumber=1\r\nsVal0=other\r\n[FileTypesListBox]\r\n" +
                                       section + "[Later]\r\nsVal1=later\r\n");
        gui::ListBox list;
        list.setObjectName("FileTypesListBox");
        list.addItem("already there");
        TFrmSettings().LoadListBox(&list);
        QCOMPARE(itemsOf(list), QStringList{"already there"} + expected);
    }

    void saveListBoxTrimsAndKeepsIndices()
    {
        writeBytes(m_settingsFile,
                   "[DirectoryListBox]\r\nNumber=9\r\nsVal1=old\r\nsVal5=older\r\n");
        gui::ListBox list;
        list.setObjectName("DirectoryListBox");
        list.addItems({"  *.doc  ", " \t ", "\x01/srv/share\x1f", ""});
        TFrmSettings().SaveListBox(&list);
        // The blank item at index 1 leaves a gap, and the earlier list's item
        // there is blanked so that it does not come back; keys at and above
        // the new "Number" are never read and stay.
        QCOMPARE(readBytes(m_settingsFile),
                 QByteArray("[DirectoryListBox]\r\nNumber=4\r\nsVal1=\r\nsVal5=older\r\n"
                            "sVal0=*.doc\r\nsVal2=/srv/share\r\n"));
        gui::ListBox loaded;
        loaded.setObjectName("DirectoryListBox");
        TFrmSettings().LoadListBox(&loaded);
        QCOMPARE(itemsOf(loaded), (QStringList{"*.doc", "/srv/share"}));
    }

    void loadCheckBox_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("checked");
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("any other number") << QByteArray("-7") << true;
        QTest::newRow("hex") << QByteArray("0x1") << true;
        QTest::newRow("hex zero") << QByteArray("$0") << false;
        QTest::newRow("word true") << QByteArray("true") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }

    void loadCheckBox()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, checked);
        writeBytes(m_settingsFile, "[subdircheckbox]\r\nchecked=" + value + "\r\n");
        QCheckBox box;
        box.setObjectName("SubDirCheckBox");
        box.setChecked(!checked);
        TFrmSettings().LoadCheckBox(&box);
        QCOMPARE(box.isChecked(), checked);
        TFrmSettings().SaveCheckBox(&box);
        QCOMPARE(readBytes(m_settingsFile),
                 "[subdircheckbox]\r\nChecked=" + QByteArray(checked ? "1" : "0") + "\r\n");
    }

    void editTextIsCutTo2047Characters()
    {
        QLineEdit edit;
        edit.setObjectName("BackupDirEdt");
        edit.setText(QString(3000, 'x'));
        TFrmSettings().SaveEdit(&edit);
        QVERIFY(readBytes(m_settingsFile).contains(QByteArray(3000, 'x')));
        TFrmSettings().LoadEdit(&edit);
        QCOMPARE(edit.text(), QString(2047, 'x'));
    }

    // An edit left as loaded saves the bytes it loaded, also ones that are no
    // text in the locale's encoding; an edit the user changed saves its text.
    void editSavesTheBytesItLoaded_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("typed"); // null: left as loaded
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("Latin-1 letter")
            << QByteArray("/mnt/bk\xe9") << QString() << QByteArray("/mnt/bk\xe9");
        QTest::newRow("cut UTF-8 sequence")
            << QByteArray("bk\xc3") << QString() << QByteArray("bk\xc3");
        QTest::newRow("stray continuation byte")
            << QByteArray("b\x80k") << QString() << QByteArray("b\x80k");
        QTest::newRow("valid UTF-8")
            << QByteArray("bk\xc3\xa9") << QString() << QByteArray("bk\xc3\xa9");
        QTest::newRow("changed by the user")
            << QByteArray("/mnt/bk\xe9") << QString("/mnt/new") << QByteArray("/mnt/new");
    }

    void editSavesTheBytesItLoaded()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, typed);
        QFETCH(QByteArray, saved);
        writeBytes(m_settingsFile, "[BackupDirEdt]\r\nText=" + stored + "\r\n");
        QLineEdit edit;
        edit.setObjectName("BackupDirEdt");
        TFrmSettings().LoadEdit(&edit);
        if (!typed.isNull())
            edit.setText(typed);
        TFrmSettings().SaveEdit(&edit);
        QCOMPARE(readBytes(m_settingsFile), "[BackupDirEdt]\r\nText=" + saved + "\r\n");
    }

    // Positions and sizes are the outer frame's; -1 in `expected` stands for the
    // form's own value, -2 for a size not looked at.
    void restoreForm_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<bool>("frameless");
        QTest::addColumn<QRect>("expected");
        QTest::addColumn<bool>("maximized");
        const QByteArray all = "Top=40\r\nLeft=50\r\nWidth=700\r\nHeight=500\r\n";
        QTest::newRow("all stored") << all << false << QRect(50, 40, 700, 500) << false;
        QTest::newRow("InitMax 1") << all + "InitMax=1\r\n"
                                   << false << QRect(50, 40, 700, 500) << true;
        QTest::newRow("InitMax other number") << all + "InitMax=-3\r\n"
                                              << false << QRect(50, 40, 700, 500) << true;
        QTest::newRow("InitMax 0") << all + "InitMax=0\r\n"
                                   << false << QRect(50, 40, 700, 500) << false;
        QTest::newRow("InitMax yes") << all + "InitMax=yes\r\n"
                                     << false << QRect(50, 40, 700, 500) << false;
        QTest::newRow("-1 not stored")
            << QByteArray("Top=40\r\nLeft=-1\r\nWidth=-1\r\nHeight=500\r\n") << false
            << QRect(11, 40, -1, 500) << false;
        QTest::newRow("hex and padded")
            << QByteArray("Top = $28\r\nLeft=0x32\r\n") << false << QRect(50, 40, -1, -1) << false;
        QTest::newRow("no border takes no size") << all << true << QRect(50, 40, -1, -1) << false;
        QTest::newRow("far out of range")
            << QByteArray("Top=2147483647\r\nLeft=-2147483648\r\nWidth=-2147483648\r\n"
                          "Height=2147483647\r\nInitMax=$FFFFFFFF\r\n")
            << false << QRect(0, 0, -2, -2) << true; // brought onto the screen
    }

    void restoreForm()
    {
        QFETCH(QByteArray, section);
        QFETCH(bool, frameless);
        QFETCH(QRect, expected);
        QFETCH(bool, maximized);
        writeBytes(m_settingsFile, "[BackUpForm]\r\n" + section);
        QWidget form;
        form.setObjectName("BackUpForm");
        if (frameless)
            form.setWindowFlags(Qt::FramelessWindowHint);
        form.setWindowState(Qt::WindowMinimized);
        form.move(11, 22);
        form.resize(300, 200);
        const QSize own = form.frameGeometry().size();
        TFrmSettings settings;
        settings.RestoreForm(&form);
        QCOMPARE(settings.SectionName, std::string("BackUpForm"));
        QCOMPARE(form.frameGeometry().topLeft(), expected.topLeft());
        if (expected.width() != -2)
            QCOMPARE(form.frameGeometry().width(),
                     expected.width() == -1 ? own.width() : expected.width());
        if (expected.height() != -2)
            QCOMPARE(form.frameGeometry().height(),
                     expected.height() == -1 ? own.height() : expected.height());
        QCOMPARE(form.windowState(), maximized ? Qt::WindowMaximized : Qt::WindowNoState);
    }

    void storeForm_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("initMax");
        QTest::newRow("normal") << int(Qt::WindowNoState) << QByteArray("0");
        QTest::newRow("maximized") << int(Qt::WindowMaximized) << QByteArray("1");
        QTest::newRow("minimized saved as normal") << int(Qt::WindowMinimized) << QByteArray("0");
        QTest::newRow("minimized from maximized")
            << int(Qt::WindowMinimized | Qt::WindowMaximized) << QByteArray("0");
    }

    void storeForm()
    {
        QFETCH(int, state);
        QFETCH(QByteArray, initMax);
        QWidget form;
        form.setObjectName("BackUpForm");
        form.setWindowState(Qt::WindowMinimized); // makes the frame known
        form.move(-1, 22);
        form.resize(320, 240);
        form.setWindowState(Qt::WindowStates(state));
        const QRect frame = form.frameGeometry();
        QCOMPARE(frame.topLeft(), QPoint(-1, 22));
        TFrmSettings settings;
        settings.StoreForm(&form);
        QCOMPARE(readBytes(m_settingsFile),
                 "[BackUpForm]\r\nTop=22\r\nLeft=-1\r\nWidth=" + QByteArray::number(frame.width()) +
                     "\r\nHeight=" + QByteArray::number(frame.height()) + "\r\nInitMax=" + initMax +
                     "\r\n");
        // Left -1 reads as not stored: a form keeps its own left edge.
        QWidget next;
        next.setObjectName("BackUpForm");
        next.setWindowState(Qt::WindowMinimized);
        next.move(77, 0);
        TFrmSettings().RestoreForm(&next);
        QCOMPARE(next.frameGeometry().topLeft(), QPoint(77, 22));
        QCOMPARE(next.frameGeometry().size(), frame.size());
        QCOMPARE(next.windowState(), initMax == "1" ? Qt::WindowMaximized : Qt::WindowNoState);
    }

    void handEditedFileKeepsEverythingAfterAFullSave()
    {
        QVERIFY(QFile::copy(TARVIK_TEST_DATA "/settings/handEdited.INI", m_settingsFile));
        MainWidgets widgets;
        widgets.load();
        QCOMPARE(widgets.form.frameGeometry(), QRect(50, 40, 700, 500));
        QCOMPARE(widgets.form.windowState(), Qt::WindowNoState);
        QCOMPARE(itemsOf(widgets.directories),
                 (QStringList{"/home/jo/Documents", "/home/jo/Pictures"}));
        QCOMPARE(widgets.backupDir.text(), QString("/mnt/backup"));
        QVERIFY(!widgets.addNotes.isChecked());
        QVERIFY(widgets.subDir.isChecked());
        QVERIFY(!widgets.delphiFiles.isChecked());
        QVERIFY(!widgets.changesFromDate.isChecked());
        QCOMPARE(itemsOf(widgets.fileTypes), (QStringList{"*.doc", "*.txt"}));
        widgets.save();
        QCOMPARE(readBytes(m_settingsFile),
                 readBytes(TARVIK_TEST_DATA "/settings/handEdited.saved.INI"));
    }

    void newFileHoldsTheSectionsInTheProgramsOrder()
    {
        MainWidgets widgets;
        widgets.form.setGeometry(20, 30, 640, 480);
        widgets.directories.addItems(
            {"/home/jo/Documents", "  ", " /srv/share\t", "C:\\Work\\Src"});
        widgets.backupDir.setText("  /mnt/backup  ");
        widgets.subDir.setChecked(true);
        widgets.changesFromDate.setChecked(true);
        widgets.fileTypes.addItems({"*.doc", "*.pas", "   "});
        widgets.save();
        QCOMPARE(readBytes(m_settingsFile), readBytes(TARVIK_TEST_DATA "/settings/fresh.INI"));

        MainWidgets loaded;
        loaded.load();
        QCOMPARE(loaded.form.frameGeometry(), QRect(20, 30, 640, 480));
        QCOMPARE(itemsOf(loaded.directories),
                 (QStringList{"/home/jo/Documents", "/srv/share", "C:\\Work\\Src"}));
        QCOMPARE(loaded.backupDir.text(), QString("/mnt/backup"));
        QVERIFY(loaded.subDir.isChecked() && loaded.changesFromDate.isChecked());
        QVERIFY(!loaded.addNotes.isChecked() && !loaded.delphiFiles.isChecked());
        QCOMPARE(itemsOf(loaded.fileTypes), (QStringList{"*.doc", "*.pas"}));
    }

    void settingsPathIsWorkedOutByEveryOperation()
    {
        QLineEdit edit;
        edit.setObjectName("BackupDirEdt");
        edit.setText("one");
        m_system.module = m_folder->filePath("Tool.bin").toStdString();
        TFrmSettings settings;
        settings.SaveEdit(&edit);
        m_system.module = m_folder->filePath("Other").toStdString();
        edit.setText("two");
        settings.SaveEdit(&edit);
        QCOMPARE(readBytes(m_folder->filePath("Tool.INI")),
                 QByteArray("[BackupDirEdt]\r\nText=one\r\n"));
        QCOMPARE(readBytes(m_folder->filePath("Other.INI")),
                 QByteArray("[BackupDirEdt]\r\nText=two\r\n"));
    }

    void refusedWriteNamesTheFile()
    {
        // A folder that is a file takes no settings file, root or not, nor
        // a settings folder.
        writeBytes(m_folder->filePath("plain"), "x");
        const std::string module = m_folder->filePath("plain/TarvikBackUp.exe").toStdString();
        m_system.module = module;
        const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_folder->filePath("plain/config")));
        const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", config); });
        const std::string expected =
            "Unable to write to " +
            m_folder->filePath("plain/config/tarvikbackup/TarvikBackUp.INI").toStdString();
        MainWidgets widgets;
        widgets.load(); // reading never fails
        TBackUpSettings settings;
        const std::function<void()> saves[] = {
            [&] { settings.StoreForm(&widgets.form); },
            [&] { settings.SaveListBox(&widgets.directories); },
            [&] { settings.SaveEdit(&widgets.backupDir); },
            [&] { settings.SaveCheckBox(&widgets.subDir); },
        };
        for (const auto& save : saves) {
            try {
                save();
                QFAIL("no error from a refused write");
            } catch (const std::runtime_error& error) {
                QCOMPARE(std::string(error.what()), expected);
            }
        }
    }

    void readOnlyFileKeepsItsContent_data()
    {
        // The unchanged list changes nothing, but the file still says it takes no writes.
        addBoolRows("list", {{"a changed edit", false}, {"an unchanged list", true}});
    }

    void readOnlyFileKeepsItsContent()
    {
        QFETCH(bool, list);
        const QByteArray content =
            "; "
            "mine\r\n[BackupDirEdt]\r\nText=old\r\n[DirectoryListBox]\r\nNumber=1\r\nsVal0=/a\r\n";
        writeBytes(m_settingsFile, content);
        QFile::setPermissions(m_settingsFile,
                              QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        // Anyone may rename in the folder; only the file's own permission stops the write.
        QFile::setPermissions(m_folder->path(), QFileDevice::Permissions(0x7777));
        // Root ignores permissions, so the save runs as the user nobody.
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
            QLineEdit edit;
            edit.setObjectName("BackupDirEdt");
            edit.setText("new");
            ListBox directories;
            directories.setObjectName("DirectoryListBox");
            directories.addItem("/a");
            try {
                if (list)
                    TBackUpSettings().SaveListBox(&directories);
                else
                    TBackUpSettings().SaveEdit(&edit);
            } catch (const SettingsWriteError& error) {
                ::_exit(std::string(error.what()) ==
                                "Unable to write to " + m_settingsFile.toStdString()
                            ? 0
                            : 2);
            }
            ::_exit(1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(readBytes(m_settingsFile), content);
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{"TarvikBackUp.INI"});
    }

    // A list saved as it was loaded leaves the file as it was, down to its
    // identity on disk; a changed item rewrites its own line only.
    void listSavedUnchangedLeavesTheFileAlone_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("replaced");
        const QByteArray stored =
            "[DirectoryListBox]\r\nNumber=3\r\nsVal0=/a\r\nSVAL1 =  /b  \r\nsVal2=/c\r\n";
        QTest::newRow("the same items") << QStringList{"/a", "/b", "/c"} << stored << false;
        QTest::newRow("the same items with blanks around")
            << QStringList{" /a", "/b\t", "/c"} << stored << false;
        QTest::newRow("one item changed")
            << QStringList{"/a", "/b", "/new"}
            << QByteArray(stored).replace("sVal2=/c", "sVal2=/new") << true;
        QTest::newRow("one item removed")
            << QStringList{"/a", "", "/c"} << QByteArray(stored).replace("SVAL1 =  /b  ", "sVal1=")
            << true;
        QTest::newRow("one item fewer")
            << QStringList{"/a", "/b"} << QByteArray(stored).replace("Number=3", "Number=2")
            << true;
    }

    void listSavedUnchangedLeavesTheFileAlone()
    {
        QFETCH(QStringList, items);
        QFETCH(QByteArray, after);
        QFETCH(bool, replaced);
        writeBytes(m_settingsFile,
                   "[DirectoryListBox]\r\nNumber=3\r\nsVal0=/a\r\nSVAL1 =  /b  \r\nsVal2=/c\r\n");
        const auto inode = [&] {
            struct stat status
            {};
            return ::stat(qPrintable(m_settingsFile), &status) == 0 ? status.st_ino : ino_t{0};
        };
        const ino_t before = inode();
        ListBox list;
        list.setObjectName("DirectoryListBox");
        list.addItems(items);
        TBackUpSettings().SaveListBox(&list);
        QCOMPARE(readBytes(m_settingsFile), after);
        QCOMPARE(inode() != before, replaced);
    }

    // The whole load reads the file once; an exit reads it once, checks once
    // that it may be written, and writes it at most once, not at all when
    // nothing changed, looking through the folder for leftovers only then.
    void aWholeLoadOrExitReadsOnceAndWritesAtMostOnce_data()
    {
        QTest::addColumn<bool>("exit");
        QTest::addColumn<bool>("change");
        // Of the settings file: its reads, its closes after opening for
        // writing (the check that it may be written; the new file, closed
        // once it has the name), the renames onto it; and the folder's opens
        // (the leftover scan and the folder's sync).
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("load") << false << false << QList<int>{1, 0, 0, 0};
        QTest::newRow("exit, nothing changed") << true << false << QList<int>{1, 1, 0, 0};
        QTest::newRow("exit, one value changed") << true << true << QList<int>{1, 2, 1, 2};
    }

    void aWholeLoadOrExitReadsOnceAndWritesAtMostOnce()
    {
        QFETCH(bool, exit);
        QFETCH(bool, change);
        writeBytes(m_settingsFile, readBytes(TARVIK_TEST_DATA "/settings/handEdited.INI"));
        MainWidgets widgets;
        widgets.load();
        widgets.save(); // the hand edits' spelling settles
        widgets.backupDir.setText(change ? "/mnt/elsewhere" : widgets.backupDir.text());
        // Closes, not opens: the kernel merges like events that follow each other.
        const int watch = ::inotify_init1(IN_NONBLOCK);
        QVERIFY(::inotify_add_watch(watch, qPrintable(m_folder->path()),
                                    IN_CLOSE_NOWRITE | IN_CLOSE_WRITE | IN_MOVED_TO) >= 0);
        exit ? widgets.save() : widgets.load();
        alignas(inotify_event) char buffer[16384];
        QList<int> counts{0, 0, 0, 0};
        for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                const bool settings =
                    event->len > 0 && QByteArray(event->name) == "TarvikBackUp.INI";
                counts[0] += settings && (event->mask & IN_CLOSE_NOWRITE);
                counts[1] += settings && (event->mask & IN_CLOSE_WRITE);
                counts[2] += settings && (event->mask & IN_MOVED_TO);
                counts[3] += event->len == 0 && (event->mask & IN_CLOSE_NOWRITE);
                at += sizeof(inotify_event) + event->len;
            }
        }
        ::close(watch);
        QTEST(counts, "counts");
    }

  private:
    testfiles::TestSystem m_system;
    platform::ScopedSystem m_scoped;
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_settingsFile;
};

QTEST_MAIN(FrmSettingsTest)
#include "FrmSettingsTest.moc"
