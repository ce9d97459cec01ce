#include "Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace tarvik::gui {
namespace {

class RealDialogs final : public Dialogs
{
  public:
    void showError(QWidget* owner, const QString& caption, const QString& text) override
    {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
        box.exec();
    }

    FolderChoice chooseFolder(QWidget* owner, const QString& prompt, const QString& root) override
    {
        const QString path = QFileDialog::getExistingDirectory(owner, prompt, root);
        return {!path.isEmpty(), path};
    }

    QString promptForText(QWidget* owner, const QString& caption, const QString& prompt,
                          const QString& initial) override
    {
        bool ok = false;
        const QString text =
            QInputDialog::getText(owner, caption, prompt, QLineEdit::Normal, initial, &ok);
        return ok ? text : initial;
    }
};

Dialogs* g_current = nullptr;

} // namespace

Dialogs& dialogs()
{
    static RealDialogs real;
    return g_current ? *g_current : real;
}

ScopedDialogs::ScopedDialogs(Dialogs& replacement) : m_previous(g_current)
{
    g_current = &replacement;
}

ScopedDialogs::~ScopedDialogs()
{
    g_current = m_previous;
}

} // namespace tarvik::gui
