// The stored window placement on two screens side by side (First 1024 x 768
// at 0,0; Second 1280 x 1024 to its right): whatever the settings file says,
// the window comes up within one screen, and that is what is saved again.

#include "OffscreenScreens.h"
#include "TestSystem.h"
#include "gui/FrmSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using tarvik::gui::TFrmSettings;

class FormPlacementTest : public QObject
{
    Q_OBJECT

  public:
    FormPlacementTest()
        : m_system(m_folder.filePath("TarvikBackUp").toStdString()), m_scoped(m_system)
    {}

  private slots:
    void storedPlacementFitsAScreen_data()
    {
        QTest::addColumn<QByteArray>("stored"); // Left Top Width Height
        QTest::addColumn<QRect>("expected");    // outer, frame included
        QTest::newRow("fits, kept") << QByteArray("50 40 700 500") << QRect(50, 40, 700, 500);
        QTest::newRow("on the second screen, kept")
            << QByteArray("1100 60 900 700") << QRect(1100, 60, 900, 700);
        QTest::newRow("huge, mostly on the second")
            << QByteArray("20 10 30000 30000") << QRect(1024, 0, 1280, 1024);
        QTest::newRow("hexadecimal size")
            << QByteArray("0 0 $10000 $10000") << QRect(1024, 0, 1280, 1024);
        QTest::newRow("largest 32-bit numbers") << QByteArray("2147483647 2147483647 415 506")
                                                << QRect(1024 - 415, 768 - 506, 415, 506);
        QTest::newRow("far out, back on the primary")
            << QByteArray("-32767 32767 415 506") << QRect(0, 768 - 506, 415, 506);
        QTest::newRow("whole screen lower down: bottom brought up")
            << QByteArray("0 30 1024 768") << QRect(0, 0, 1024, 768);
        QTest::newRow("over the right edge of the second")
            << QByteArray("2000 50 600 400") << QRect(2304 - 600, 50, 600, 400);
        QTest::newRow("above the top") << QByteArray("100 -500 400 300") << QRect(100, 0, 400, 300);
    }

    void storedPlacementFitsAScreen()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QRect, expected);
        const QList<QByteArray> values = stored.split(' ');
        writeSettings("[BackUpForm]\r\nLeft=" + values[0] + "\r\nTop=" + values[1] +
                      "\r\nWidth=" + values[2] + "\r\nHeight=" + values[3] + "\r\n");
        QWidget form;
        form.setObjectName("BackUpForm");
        QVERIFY(tarvik::test::showOnScreen(form, 0));
        TFrmSettings().RestoreForm(&form);
        QCOMPARE(form.frameGeometry(), expected);

        TFrmSettings saved;
        saved.StoreForm(&form);
        QCOMPARE(QRect(saved.Left, saved.Top, saved.Width, saved.Height), expected);
    }

  private:
    void writeSettings(const QByteArray& bytes)
    {
        QFile file(m_folder.filePath("TarvikBackUp.INI"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QTemporaryDir m_folder;
    testfiles::TestSystem m_system;
    tarvik::platform::ScopedSystem m_scoped;
};

TARVIK_OFFSCREEN_SCREENS_MAIN(FormPlacementTest)
#include "FormPlacementTest.moc"
