// The program's entry: the application object, the main window, the loop.

#include "gui/BackUpMain.h"
#include "gui/ErrorReport.h"
#include "gui/ImageList.h"
#include "gui/StartUp.h"
#include "platform/System.h"

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

    int status = 0;
    {
        tarvik::gui::TBackUpForm form(commandLine);
        tarvik::gui::closeOnTerminationSignals(form);
        tarvik::gui::showMainWindow(form, tarvik::platform::current().startupShowCommand());
        // A signal while the window was being shown may have closed it
        // already, and the loop would wait for a window that is gone.
        if (!form.isHidden())
            status = application.exec();
    } // the window saves its values here
    // A save that failed with no one there to see the message (the session
    // closed the program) must not end as a success.
    return tarvik::gui::unattendedErrorReports() > 0 ? 1 : status;
}
