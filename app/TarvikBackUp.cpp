// The program's entry: the application object, the main window, the loop.

#include "gui/BackUpMain.h"
#include "gui/ErrorReport.h"
#include "gui/ImageList.h"
#include "gui/StartUp.h"
#include "platform/System.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// Whether a window can be shown at all. Without a display Qt's own refusal
// ends the process with a core dump, which a scheduler reports as a crash.
bool displayReachable(const std::vector<std::string>& commandLine)
{
#ifdef _WIN32
    (void)commandLine;
    return true;
#else
    const auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY"))
        return true;
    // A platform chosen on purpose (offscreen, for one) needs no display.
    for (std::size_t i = 0; i + 1 < commandLine.size(); ++i)
        if (commandLine[i] == "-platform" || commandLine[i] == "--platform")
            return !commandLine[i + 1].starts_with("xcb") &&
                   !commandLine[i + 1].starts_with("wayland");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return platform && *platform && !std::string(platform).starts_with("xcb") &&
           !std::string(platform).starts_with("wayland");
#endif
}

const char kDisplayHint[] = "a scheduler must start it with the session's display, for example: "
                            "DISPLAY=:0 TarvikBackUp /auto";

// While the application object connects to the display, Qt's messages are
// held back: when it cannot connect, one line says so and the program ends
// with status 1 instead of Qt's abort; otherwise they are passed on.
std::vector<std::pair<QtMsgType, QString>> g_heldMessages;
QtMessageHandler g_passOn = nullptr;

void holdStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        g_heldMessages.emplace_back(type, text);
        return;
    }
    (void)context;
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "TarvikBackUp: cannot show its window on display %s; %s\n",
                 display && *display ? display : "(none)", kDisplayHint);
    std::_Exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    // Taken before QApplication removes the arguments it knows itself.
    const std::vector<std::string> commandLine(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (!displayReachable(commandLine)) {
        std::fprintf(stderr,
                     "TarvikBackUp: no display to show its window on (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set); %s\n",
                     kDisplayHint);
        return 1;
    }
    g_passOn = qInstallMessageHandler(holdStartMessage);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_passOn);
    for (const auto& [type, text] : g_heldMessages)
        qt_message_output(type, QMessageLogContext(), text);
    g_heldMessages.clear();
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
