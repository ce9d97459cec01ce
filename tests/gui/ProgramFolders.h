#pragma once
// What the tests of the built program lay out around it and read back: text
// files written and read whole, a source folder to back up, and the backup a
// "/auto" run makes of it today.

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>

namespace programtest {

inline void writeText(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Under `folder`: "src" with two documents (one in "src/sub") and a text
// file that is no document, and an empty "backups".
inline void makeSourceAndBackups(const QDir& folder)
{
    for (const char* sub : {"src/sub", "backups"})
        QVERIFY(folder.mkpath(QLatin1String(sub)));
    writeText(folder.filePath("src/report.doc"), "report\r\n");
    writeText(folder.filePath("src/sub/deep.doc"), "deep\r\n");
    writeText(folder.filePath("src/notes.txt"), "not a doc\r\n");
}

// Where today's backup of that "src" goes, and the script that makes it.
struct TodaysBackup
{
    explicit TodaysBackup(const QDir& folder)
        : stamp(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))),
          target(folder.filePath("backups/BK-" + stamp + "/src")),
          script(folder.filePath("backups/backup" + stamp + ".bat"))
    {}

    bool documentsCopied() const
    {
        return QFile::exists(target + "/sub/deep.doc") && QFile::exists(target + "/report.doc");
    }

    // Once the program has ended: the documents as they were, nothing else,
    // and no script left behind.
    void checkFinished() const
    {
        QCOMPARE(readText(target + "/report.doc"), QByteArray("report\r\n"));
        QCOMPARE(readText(target + "/sub/deep.doc"), QByteArray("deep\r\n"));
        QVERIFY(!QFile::exists(target + "/notes.txt"));
        QVERIFY2(!QFile::exists(script), "the script outlived the program");
    }

    const QString stamp, target, script;
};

} // namespace programtest
