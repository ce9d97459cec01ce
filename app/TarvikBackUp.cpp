// The program's entry: the application object, the main window, the loop.

#include "BackUpMain.h"
#include "ImageList.h"
#include "StartUp.h"
#include "System.h"

#include <QApplication>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Taken before QApplication removes the arguments it knows itself.
    const std::vector<std::string> commandLine(argv + (argc > 0 ? 1 : 0), argv + argc);
    QApplication application(argc, argv);
    // The interpreter reports the same version (minicmd --version).
    QApplication::setApplicationVersion(QStringLiteral(TARVIK_VERSION));
    QApplication::setWindowIcon(tarvik::gui::picture(tarvik::gui::Picture::Application));

    tarvik::gui::TBackUpForm form(commandLine);
    tarvik::gui::closeOnTerminationSignals(form);
    tarvik::gui::showMainWindow(form, tarvik::platform::current().startupShowCommand());
    return application.exec();
}
