#include "StartUp.h"

#include "System.h"

#include <QWidget>

#ifndef _WIN32
#include <QCoreApplication>
#include <QPointer>
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
// end and closes the window the signals are meant for at that moment.
struct SignalRelay
{
    int writeEnd = -1;
    int readEnd = -1;
    QPointer<QWidget> window;
};

SignalRelay g_relay;

extern "C" void onTerminationSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_relay.writeEnd, &byte, 1);
    errno = savedErrno;
}

bool openRelay()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    g_relay.writeEnd = ends[0];
    g_relay.readEnd = ends[1];
    auto* notifier =
        new QSocketNotifier(g_relay.readEnd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_relay.readEnd, &byte, 1);
        if (g_relay.window)
            g_relay.window->close();
    });
    return true;
}

} // namespace

void closeOnTerminationSignals(QWidget& window)
{
    if (g_relay.writeEnd == -1 && !openRelay())
        return;
    g_relay.window = &window;

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
