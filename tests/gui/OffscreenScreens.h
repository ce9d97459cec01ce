#pragma once
// A test main for GUI tests that need more than one monitor: on Qt's
// offscreen platform it sets up two screens side by side, with window frames,
// so placements that depend on the owner's screen and the frame can be seen.

#include <QApplication>
#include <QByteArray>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>
#include <QWidget>

namespace tarvik::test {

inline QByteArray offscreenScreensConfig()
{
    return R"({
  "synchronousWindowSystemEvents": true,
  "windowFrameMargins": true,
  "screens": [
    { "name": "First", "x": 0, "y": 0, "width": 1024, "height": 768,
      "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 },
    { "name": "Second", "x": 1024, "y": 0, "width": 1280, "height": 1024,
      "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 }
  ]
})";
}

// Points the offscreen platform at the two-screen set-up; other platforms
// are left as they are.
inline bool useTwoOffscreenScreens(QTemporaryFile& config)
{
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen")
        return false;
    if (!config.open() || config.write(offscreenScreensConfig()) < 0 || !config.flush())
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    return true;
}

// Data rows for a test that runs once per screen: the column "screenIndex".
inline void addScreenRows()
{
    QTest::addColumn<int>("screenIndex");
    const auto screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i)
        QTest::newRow(qPrintable(screens[i]->name())) << i;
}

// Shows `window` at the main window's designed size near the top-left of
// screen number `index`; gives that screen, or null when it did not get there.
inline QScreen* showOnScreen(QWidget& window, int index)
{
    QScreen* screen = QGuiApplication::screens().value(index);
    if (!screen)
        return nullptr;
    window.setGeometry(QRect(screen->geometry().topLeft() + QPoint(40, 30), QSize(415, 506)));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return nullptr;
    return window.screen() == screen ? screen : nullptr;
}

} // namespace tarvik::test

#define TARVIK_OFFSCREEN_SCREENS_MAIN(TestClass)                                                   \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QTemporaryFile config;                                                                     \
        tarvik::test::useTwoOffscreenScreens(config);                                              \
        QApplication application(argc, argv);                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
