// The widget boundary's conversions give exactly what the locale's own
// converter gives, whichever way they take.
#include "gui/Text.h"

#include "gui/DateFormat.h"

#include <QRegularExpression>
#include <QtTest>

using namespace tarvik::gui;

class TextTest : public QObject
{
    Q_OBJECT

  private slots:
    void bytesToQt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("ASCII path") << QByteArray("/home/user/a b/c.txt");
        QTest::newRow("NUL and DEL inside") << QByteArray("a\0b\x7f", 4);
        QTest::newRow("controls") << QByteArray("\x01\t\r\x1f");
        QTest::newRow("two-byte letter") << QByteArray("/home/J\xc3\xbcrgen");
        QTest::newRow("byte order mark first") << QByteArray("\xef\xbb\xbf/a");
        QTest::newRow("byte order mark inside") << QByteArray("/a\xef\xbb\xbf");
        QTest::newRow("invalid byte") << QByteArray("a\xff b");
        QTest::newRow("cut sequence at end") << QByteArray("a\xe2\x82");
        QTest::newRow("four-byte character") << QByteArray("\xf0\x9f\x98\x80x");
        QTest::newRow("first byte above ASCII") << QByteArray("\x80");
    }
    void bytesToQt()
    {
        QFETCH(QByteArray, bytes);
        const std::string text(bytes.constData(), static_cast<size_t>(bytes.size()));
        const QString expected = QString::fromLocal8Bit(text.data(), bytes.size());
        const QString converted = toQt(text);
        QCOMPARE(converted, expected);
        QCOMPARE(converted.isNull(), expected.isNull());
    }

    // The hand scan gives what the plain pattern for a two-letter year gives.
    void fullYear_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("empty") << QString("");
        QTest::newRow("US short") << QString("M/d/yy");
        QTest::newRow("German short") << QString("dd.MM.yy");
        QTest::newRow("year first") << QString("yy-MM-dd");
        QTest::newRow("full year already") << QString("yyyy-MM-dd");
        QTest::newRow("one letter") << QString("d/M/y");
        QTest::newRow("three letters") << QString("yyy MMM d");
        QTest::newRow("five letters") << QString("yyyyy");
        QTest::newRow("two years") << QString("yy/yy");
        QTest::newRow("joined to other letters") << QString("yyMMdd");
        QTest::newRow("quoted") << QString("d 'yy' yy");
        QTest::newRow("only y") << QString("yy");
        QTest::newRow("non-Latin around") << QString::fromUtf16(u"yy年M月d日");
    }
    void fullYear()
    {
        QFETCH(QString, format);
        static const QRegularExpression shortYear(QStringLiteral("(?<!y)yy(?!y)"));
        QString expected = format;
        expected.replace(shortYear, QStringLiteral("yyyy"));
        QCOMPARE(withFullYear(format), expected);
    }

    void qtToBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("null") << QString();
        QTest::newRow("empty") << QString("");
        QTest::newRow("ASCII path") << QString("/home/user/a b/c.txt");
        QTest::newRow("NUL and DEL inside") << QString::fromUtf16(u"a\0b\x7f", 4);
        QTest::newRow("first above ASCII") << QString(QChar(0x80));
        QTest::newRow("letter") << QString::fromUtf16(u"/home/J\u00fcrgen");
        QTest::newRow("wide letter") << QString::fromUtf16(u"x\u4e2d");
        QTest::newRow("surrogate pair") << QString::fromUtf16(u"\U0001F600");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "a";
        QTest::newRow("byte order mark") << QString(QChar(0xFEFF)) + "/a";
    }
    void qtToBytes()
    {
        QFETCH(QString, text);
        const QByteArray expected = text.toLocal8Bit();
        QCOMPARE(fromQt(text),
                 std::string(expected.constData(), static_cast<size_t>(expected.size())));
        // Text that went out as bytes comes back the same.
        QCOMPARE(toQt(fromQt(text)), QString::fromLocal8Bit(expected));
    }
};

QTEST_GUILESS_MAIN(TextTest)
#include "TextTest.moc"
