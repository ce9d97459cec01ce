#pragma once
// The modal dialogs the program opens: the standard error report, the folder
// browser and the one-line text prompt. The program reaches them only through
// dialogs(); tests install their own answers with ScopedDialogs, so no test
// ever blocks on a real modal dialog.

#include "platform/ScopedReplacement.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>

class QDialog;
class QFileDialog;
class QMessageBox;
class QWidget;

namespace tarvik::gui {

struct FolderChoice
{
    bool confirmed = false;
    QString path; // empty when not confirmed
};

class Dialogs
{
  public:
    virtual ~Dialogs() = default;

    // Message box with `caption`, an error icon and an "OK" button.
    virtual void showError(QWidget* owner, const QString& caption, const QString& text) = 0;

    // The folder browser, opened at `root` with nothing preselected.
    virtual FolderChoice chooseFolder(QWidget* owner, const QString& prompt,
                                      const QString& root) = 0;

    // One-line text box; gives `initial` back when cancelled or closed.
    virtual QString promptForText(QWidget* owner, const QString& caption, const QString& prompt,
                                  const QString& initial) = 0;

    // Runs one of the program's own modal dialogs (the About dialog) and
    // gives its result. The real dialogs run its modal loop; a replacement
    // that does not answer it gets QDialog::Rejected at once, without the
    // dialog being shown, so that no test waits on a modal loop.
    virtual int runModal(QDialog& dialog);
};

// The dialogs in force: the real ones unless ScopedDialogs replaced them.
Dialogs& dialogs();
// The real dialogs, whatever is in force.
Dialogs& realDialogs();

// Installs `replacement` as dialogs() for its own lifetime.
using ScopedDialogs = platform::ScopedReplacement<Dialogs>;

// The real dialogs are built and read back by the functions below, apart from
// running them, so that tests can look at them and answer them without a
// nested event loop. The real path is: build, exec(), read back.

// Longest text the prompt accepts.
inline constexpr int kPromptMaxLength = 255;

// Top-left corner that centres a window of `outer` size (frame included) on
// `screen`; each half is truncated toward zero.
QPoint centredPosition(const QRect& screen, const QSize& outer);

// The area of the screen that holds `owner`'s window, or of the primary
// screen when there is no owner.
QRect screenAreaOf(const QWidget* owner);

// Moves `window` to the centre of `screen` each time it is shown, once its
// frame is known.
void centreWhenShown(QWidget* window, const QRect& screen);

// The standard error report: `caption`, the error icon, `text` as plain text,
// one "OK" button.
std::unique_ptr<QMessageBox> makeErrorBox(QWidget* owner, const QString& caption,
                                          const QString& text);

// Folder browser: folders only, no "new folder" button, opened at `root`,
// nothing preselected, centred on the owner's screen.
std::unique_ptr<QFileDialog> makeFolderDialog(QWidget* owner, const QString& prompt,
                                              const QString& root);
// What a folder browser that ended with `result` gives back.
FolderChoice folderChoiceOf(const QFileDialog& dialog, int result);

// Text prompt: caption, prompt label, an edit holding `initial` (selected,
// at most kPromptMaxLength characters), "OK" (default) and "Cancel".
std::unique_ptr<QDialog> makeTextPrompt(QWidget* owner, const QString& caption,
                                        const QString& prompt, const QString& initial);
// What a text prompt that ended with `result` gives back: the edit's text on
// "OK", `initial` otherwise.
QString promptTextOf(const QDialog& dialog, int result, const QString& initial);

} // namespace tarvik::gui
