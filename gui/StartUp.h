#pragma once
// How the program brings up its main window and how the desktop session can
// end it.

class QWidget;

namespace tarvik::gui {

// Shows `window` as the starter asked: maximised for platform::ShowMaximized,
// minimised for platform::ShowMinNoActive (its values then load only when the
// user restores it), normally otherwise.
void showMainWindow(QWidget& window, int showCommand);

// On POSIX, the signals a session sends at logout or on `kill` (SIGTERM,
// SIGINT, SIGHUP) close `window` as "Exit" does, from the event loop, so its
// values are saved and the backup script is deleted. Open dialogs (a message
// box, the folder browser, the prompt, About) are cancelled first, and any
// that a handler opens afterwards as soon as it shows; error reports go to
// standard error from then on, since no one is left to click them. Further
// signals ask again and never cut the save short. A later call moves the
// signals to its window and starts afresh. Needs the QApplication to exist.
// Does nothing elsewhere, where the system's session-end message takes this
// part.
void closeOnTerminationSignals(QWidget& window);

} // namespace tarvik::gui
