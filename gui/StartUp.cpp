#include "gui/StartUp.h"

#include "gui/ErrorReport.h"
#include "platform/System.h"

#include <QWidget>

#ifndef _WIN32
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
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
    QPointer<QObject> dialogCanceller;
};

SignalRelay g_relay;

extern "C" void onTerminationSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    // Non-blocking: should signals outrun the event loop, the ones that find
    // the relay full ask for a close already asked for.
    [[maybe_unused]] const ssize_t written = ::write(g_relay.writeEnd, &byte, 1);
    errno = savedErrno;
}

// Cancels a modal dialog: its exec() returns as if the user had pressed
// "Cancel" or closed it, and the handler that opened it carries on.
void cancel(QDialog* dialog)
{
    if (dialog->isVisible())
        dialog->reject();
}

// Once the session has asked the program to close, a dialog that still comes
// up (one a handler opens after the one cancelled) waits for no one either.
class DialogCanceller final : public QObject
{
  public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && dialog->isWindow())
                QMetaObject::invokeMethod(
                    dialog, [dialog] { cancel(dialog); }, Qt::QueuedConnection);
        return false;
    }
};

// A close asked for by the session: every open dialog is cancelled, the
// window closes as "Exit" closes it, and what would be shown from now on,
// with no one left to answer it, goes to standard error instead.
void closeOnRequest()
{
    if (!g_relay.dialogCanceller) {
        g_relay.dialogCanceller = new DialogCanceller(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(g_relay.dialogCanceller);
        reportErrorsUnattended(true);
    }
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            cancel(dialog);
    if (g_relay.window)
        g_relay.window->close();
}

bool openRelay()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    const int flags = ::fcntl(ends[0], F_GETFL);
    if (flags == -1 || ::fcntl(ends[0], F_SETFL, flags | O_NONBLOCK) != 0 ||
        ::fcntl(ends[1], F_SETFL, ::fcntl(ends[1], F_GETFL) | O_NONBLOCK) != 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        return false;
    }
    g_relay.writeEnd = ends[0];
    g_relay.readEnd = ends[1];
    auto* notifier =
        new QSocketNotifier(g_relay.readEnd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[64];
        while (::read(g_relay.readEnd, bytes, sizeof bytes) > 0) {
        }
        closeOnRequest();
    });
    return true;
}

} // namespace

void closeOnTerminationSignals(QWidget& window)
{
    if (g_relay.writeEnd == -1 && !openRelay())
        return;
    g_relay.window = &window;
    delete g_relay.dialogCanceller;
    reportErrorsUnattended(false);

    struct sigaction action
    {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    // The handler stays: a second signal while the window closes and saves
    // its values only asks again, and must not cut the save short.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

#endif

} // namespace tarvik::gui
