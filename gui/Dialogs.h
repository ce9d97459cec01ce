#pragma once
// The modal dialogs the program opens: the standard error report, the folder
// browser and the one-line text prompt. The program reaches them only through
// dialogs(); tests install their own answers with ScopedDialogs, so no test
// ever blocks on a real modal dialog.

#include <QString>

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
};

// The dialogs in force: the real ones unless ScopedDialogs replaced them.
Dialogs& dialogs();

class ScopedDialogs
{
  public:
    explicit ScopedDialogs(Dialogs& replacement);
    ~ScopedDialogs();
    ScopedDialogs(const ScopedDialogs&) = delete;
    ScopedDialogs& operator=(const ScopedDialogs&) = delete;

  private:
    Dialogs* m_previous;
};

} // namespace tarvik::gui
