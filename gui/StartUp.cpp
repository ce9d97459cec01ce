#include "StartUp.h"

#include "System.h"

#include <QWidget>

#ifndef _WIN32
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarvik::gui {

void showMainWindow(QWidget& window, int showCommand)
{
    switch (showCommand) {
    case platform::ShowMaximized:
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
        window.show();
        break;
    case platform::ShowMinNoActive:
        window.setAttribute(Qt::WA_ShowWithoutActivating);
        window.setWindowState(window.windowState() | Qt::WindowMinimized);
        window.show();
        break;
    default:
        window.show();
        break;
    }
}

#ifdef _WIN32

void closeOnTerminationSignals(QWidget&) {}

#else

namespace {

// The handler may only write to a descriptor; the event loop reads the other
// end and does the closing.
int g_signalWriteEnd = -1;

extern "C" void onTerminationSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

void closeOnTerminationSignals(QWidget& window)
{
    int ends[2];
    if (g_signalWriteEnd != -1 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    g_signalWriteEnd = ends[0];
    auto* notifier = new QSocketNotifier(ends[1], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, readEnd = ends[1]] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(readEnd, &byte, 1);
        window.close();
    });

    struct sigaction action
    {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    // A second signal finds the default action again and ends the process,
    // should closing hang.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

#endif

} // namespace tarvik::gui
