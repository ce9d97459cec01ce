// One start of the program as the start-up benchmark times it: the same steps
// as the program's entry up to the end of showing the window (for the main
// window that includes FormShow and its loading of the settings file), then a
// line on standard output, then the ordinary end. Built three times: with the
// main window; with a bare QMainWindow, the reference; and with a QMainWindow
// holding one label, which shows what merely having text costs (the font
// database is read before a window with text can be shown).

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#ifdef TARVIK_PROBE_MAIN_WINDOW
#include "gui/BackUpMain.h"
#include "gui/ImageList.h"
#include "gui/StartUp.h"
#include "platform/System.h"
#else
#include <QLabel>
#include <QMainWindow>
#endif

int main(int argc, char** argv)
{
    const std::vector<std::string> commandLine(argv + (argc > 0 ? 1 : 0), argv + argc);
    QApplication application(argc, argv);
#ifdef TARVIK_PROBE_MAIN_WINDOW
    QApplication::setWindowIcon(tarvik::gui::picture(tarvik::gui::Picture::Application));
    tarvik::gui::TBackUpForm window(commandLine);
    tarvik::gui::closeOnTerminationSignals(window);
    tarvik::gui::showMainWindow(window, tarvik::platform::current().startupShowCommand());
#else
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Back Up"));
#ifdef TARVIK_PROBE_TEXT
    window.setCentralWidget(new QLabel(QStringLiteral("Back Up")));
#endif
    window.show();
#endif
    std::puts("shown");
    std::fflush(stdout);
    return 0;
}
