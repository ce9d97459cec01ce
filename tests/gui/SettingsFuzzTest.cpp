// Arbitrary bytes as the settings file, fed to every load operation: nothing
// may crash or hang, a list loads what reading each index would give, and
// what was loaded survives a save and a second load unchanged.
#include "SettingsWidgets.h"
#include "TestSystem.h"
#include "core/ProfileValues.h"
#include "gui/BackUpSettings.h"
#include "gui/ListBox.h"
#include "platform/Profile.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

using namespace tarvik;
using namespace tarvik::gui;
using tarvik::test::itemsOf;
using Widgets = tarvik::test::MainWidgets;

namespace {

constexpr int kGenerated = 2000;
constexpr int kMutated = 1200;
constexpr int kRandomBytes = 300;

const char* const kSections[] = {
    "BackUpForm",          "DirectoryListBox", "BackupDirEdt",     "SubDirCheckBox",
    "DelphiFilesCheckBox", "FileTypesListBox", "AddNotesCheckBox", "Other"};
const char* const kKeys[] = {"Top",   "Left",   "Width",  "Height", "InitMax", "Number",
                             "sVal0", "sVal1",  "sVal2",  "sVal9",  "Text",    "Checked",
                             "SVAL3", "sVal03", "sVal-1", "junk"};
const char* const kValues[] = {
    "0",         "1",    "-1",          "3",          "12",   "2147483647", "-2147483648",
    "$FFFFFFFF", "0x10", "x",           "yes",        "",     "  *.doc  ",  "/srv/a=b",
    "[x]",       ";c",   "99999999999", "$100000000", "\t7 ", "-0"};

class Generator
{
  public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    unsigned below(unsigned bound) { return static_cast<unsigned>(m_random() % bound); }
    template <class T, size_t N> const T& pick(const T (&choices)[N]) { return choices[below(N)]; }

    QByteArray randomBytes(int length)
    {
        QByteArray bytes;
        for (int i = 0; i < length; ++i)
            bytes += static_cast<char>(below(256));
        return bytes;
    }

    // Lines of settings-file shape with names in any case and odd values.
    QByteArray settingsLike()
    {
        QByteArray file;
        const int lines = static_cast<int>(below(40));
        for (int i = 0; i < lines; ++i) {
            switch (below(10)) {
            case 0:
            case 1: {
                QByteArray name = pick(kSections);
                if (below(3) == 0)
                    name = name.toLower();
                file += (below(4) == 0 ? " [" : "[") + name + (below(6) == 0 ? "" : "]");
                break;
            }
            case 2:
                file += ";" + QByteArray(pick(kKeys)) + "=1";
                break;
            case 3:
                file += below(2) ? "" : " \t";
                break;
            case 4:
                file += randomBytes(static_cast<int>(below(12)));
                break;
            case 5:
                file += "sVal" + QByteArray::number(below(20)) + "=" + randomBytes(3);
                break;
            default:
                file += QByteArray(below(5) == 0 ? " " : "") + pick(kKeys) +
                        (below(4) == 0 ? " = " : "=") + pick(kValues);
            }
            const char* endings[] = {"\r\n", "\r\n", "\n", "\r", ""};
            file += pick(endings);
        }
        return file;
    }

    QByteArray mutated(const QByteArray& original, const QByteArray& other)
    {
        QByteArray bytes = original;
        const int steps = 1 + static_cast<int>(below(6));
        for (int step = 0; step < steps; ++step) {
            const int at = bytes.isEmpty() ? 0 : static_cast<int>(below(bytes.size()));
            switch (below(5)) {
            case 0:
                if (!bytes.isEmpty())
                    bytes[at] = static_cast<char>(bytes[at] ^ (1 << below(8)));
                break;
            case 1:
                bytes.insert(at, randomBytes(1 + static_cast<int>(below(8))));
                break;
            case 2:
                bytes.remove(at, static_cast<int>(below(20)));
                break;
            case 3:
                bytes.insert(at, bytes.mid(static_cast<int>(below(bytes.size() + 1)),
                                           static_cast<int>(below(40))));
                break;
            default:
                bytes = bytes.left(at) + other.mid(static_cast<int>(below(other.size() + 1)));
            }
        }
        return bytes;
    }

  private:
    std::mt19937 m_random;
};

// What reading each index in turn gives, for a list of modest "Number".
QStringList readEveryIndex(const std::string& path, const std::string& section)
{
    QStringList items;
    const std::int32_t number =
        parseProfileInteger(platform::getProfileString(section, "Number", "", path), 0);
    for (std::int32_t i = 0; i < number; ++i) {
        const std::string value =
            platform::getProfileString(section, settingsKey::Item + std::to_string(i), "", path);
        const std::string_view item = trimControls(value);
        if (!item.empty())
            items << QString::fromLocal8Bit(item.data(), static_cast<qsizetype>(item.size()));
    }
    platform::flushProfile(path);
    return items;
}

// The bytes a save of `items` to `section` of a file holding `bytes` leaves,
// in one pass over the file or key by key.
QByteArray savedList(const QString& file, const QByteArray& bytes, const std::string& section,
                     const std::vector<std::string_view>& items, bool onePass)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
        return "not written";
    out.close();
    const std::string path = file.toStdString();
    ListSectionSave save(items);
    const bool saved = onePass ? platform::editProfileSection(section, save, path)
                               : platform::editProfileSectionKeyByKey(section, save, path);
    if (!platform::flushProfile(path) || !saved)
        return "refused";
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : "not read";
}

} // namespace

class SettingsFuzzTest : public QObject
{
    Q_OBJECT

  private slots:
    void arbitraryFilesLoadSafelyAndConsistently()
    {
        // Saving puts each file on disk; a memory file system keeps that quick.
        QTemporaryDir folder(QDir("/dev/shm").exists() ? "/dev/shm/tarvik-fuzz-XXXXXX"
                                                       : QDir::tempPath() + "/tarvik-fuzz-XXXXXX");
        QVERIFY(folder.isValid());
        testfiles::TestSystem system(folder.filePath("TarvikBackUp").toStdString());
        platform::ScopedSystem scoped(system);
        const QString file = folder.filePath("TarvikBackUp.INI");
        const std::string path = file.toStdString();

        QList<QByteArray> goldens;
        for (const char* name : {"handEdited.INI", "handEdited.saved.INI", "fresh.INI"}) {
            QFile golden(QStringLiteral(TARVIK_TEST_DATA "/settings/") + name);
            QVERIFY(golden.open(QIODevice::ReadOnly));
            goldens << golden.readAll();
        }

        Generator generate(20261207);
        const int total = kGenerated + kMutated + kRandomBytes;
        int withItems = 0;
        int compared = 0;
        for (int round = 0; round < total; ++round) {
            QByteArray bytes;
            if (round < kGenerated)
                bytes = generate.settingsLike();
            else if (round < kGenerated + kMutated)
                bytes = generate.mutated(goldens[generate.below(3)], goldens[generate.below(3)]);
            else
                bytes = generate.randomBytes(static_cast<int>(generate.below(400)));
            {
                QFile out(file);
                QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
                out.write(bytes);
            }
            const QByteArray label =
                "round " + QByteArray::number(round) + ": " + bytes.toPercentEncoding();

            Widgets loaded;
            loaded.load();
            TBackUpSettings placement; // the placement read from any section
            placement.SectionName = "DirectoryListBox";
            placement.LoadPlacement();
            for (gui::ListBox* list : {&loaded.directories, &loaded.fileTypes}) {
                const std::string section = list->objectName().toStdString();
                const std::int32_t number =
                    parseProfileInteger(platform::getProfileString(section, "Number", "", path), 0);
                if (number <= 64) {
                    QVERIFY2(itemsOf(*list) == readEveryIndex(path, section), label.constData());
                    ++compared;
                }
                withItems += list->count() > 0;
            }

            // A list saved over the file in one pass leaves what writing its
            // keys one by one leaves.
            std::vector<std::string_view> items(generate.below(6));
            for (std::string_view& item : items)
                item = kValues[generate.below(std::size(kValues))];
            const std::string section = kSections[generate.below(std::size(kSections))];
            QVERIFY2(savedList(folder.filePath("OnePass.INI"), bytes, section, items, true) ==
                         savedList(folder.filePath("KeyByKey.INI"), bytes, section, items, false),
                     label.constData());

            // Every eighth file also goes through a full save and a second load.
            if (round % 8 != 0)
                continue;
            loaded.save();
            Widgets again;
            again.load();
            QVERIFY2(itemsOf(again.directories) == itemsOf(loaded.directories), label.constData());
            QVERIFY2(itemsOf(again.fileTypes) == itemsOf(loaded.fileTypes), label.constData());
            QVERIFY2(again.backupDir.text() == loaded.backupDir.text(), label.constData());
            QVERIFY2(again.subDir.isChecked() == loaded.subDir.isChecked(), label.constData());
            QVERIFY2(again.delphiFiles.isChecked() == loaded.delphiFiles.isChecked(),
                     label.constData());
            QVERIFY2(again.form.windowState() == loaded.form.windowState(), label.constData());
        }
        // The inputs reach the interesting paths, not only the defaults.
        qInfo("%d lists compared with reading every index, %d loaded items", compared, withItems);
        QVERIFY(withItems > total / 10);
        QVERIFY(compared > total);
    }
};

QTEST_MAIN(SettingsFuzzTest)
#include "SettingsFuzzTest.moc"
