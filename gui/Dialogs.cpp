#include "gui/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#ifdef Q_OS_WIN
#include "gui/Text.h"
#include "platform/FolderBrowser.h"
#endif

namespace tarvik::gui {
namespace {

// Moves its window when it is shown: by then the window has its size and, on
// platforms that report one, its frame. Moving also keeps QDialog from
// placing the window over its parent instead.
class CentreOnShow final : public QObject
{
  public:
    CentreOnShow(QWidget* window, const QRect& screen) : QObject(window), m_screen(screen)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            auto* window = static_cast<QWidget*>(watched);
            window->move(centredPosition(m_screen, window->frameGeometry().size()));
        }
        return false;
    }

  private:
    QRect m_screen;
};

// The error report's box. QMessageBox sizes itself, when shown and at every
// layout request, for its text only: a window manager's title bar, with its
// own bold font, the window's icon and its buttons, then cuts a short
// caption, and on a screen up to 1024 pixels wide a long message makes the
// box as wide as the screen before its frame is added. Each time it has sized
// itself the box is resized again: wide enough for the caption, never wider
// than the screen, and centred over its owner.
class ErrorBox final : public QMessageBox
{
  public:
    using QMessageBox::QMessageBox;

    bool event(QEvent* event) override
    {
        const bool handled = QMessageBox::event(event);
        if (event->type() == QEvent::LayoutRequest && isVisible())
            fitCaptionAndScreen();
        if (event->type() == QEvent::Move && isVisible())
            keepPlaced();
        return handled;
    }

  protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);
        fitCaptionAndScreen();
        // The owner may still move while the window manager settles it,
        // as a window does just after it first comes up: the box follows.
        if (QWidget* owner = parentWidget())
            owner->window()->installEventFilter(this);
    }

    void hideEvent(QHideEvent* event) override
    {
        if (QWidget* owner = parentWidget())
            owner->window()->removeEventFilter(this);
        QMessageBox::hideEvent(event);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
            centreOver(static_cast<QWidget*>(watched));
        return QMessageBox::eventFilter(watched, event);
    }

  private:
    void fitCaptionAndScreen()
    {
        const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        // Before the window manager has framed the box its frame is not
        // known; a few pixels a side are assumed.
        const int frame = std::max(frameGeometry().width() - width(), 2 * 8);
        const int widest = screen->availableGeometry().width() - frame;
        const int wanted = std::min(std::max(width(), captionWidth()), widest);
        if (wanted != width()) {
            // A box made narrower has its text wrapped already: QMessageBox
            // wraps whatever is wider than half the screen.
            const int height = layout()->hasHeightForWidth()
                                   ? layout()->totalHeightForWidth(wanted)
                                   : layout()->totalMinimumSize().height();
            setFixedSize(wanted, height);
        }
        if (QWidget* owner = parentWidget())
            centreOver(owner->window());
    }

    // Centred over `owner`, kept on the owner's screen. Inner rectangles
    // both: while a window manager frames a window, the frame Qt reports
    // for it can be any size for a moment.
    void centreOver(const QWidget* owner)
    {
        QRect placed(QPoint(), size());
        placed.moveCenter(owner->geometry().center());
        if (const QScreen* screen = owner->screen()) {
            const QRect area = screen->availableGeometry();
            placed.moveLeft(
                std::max(area.left(), std::min(placed.left(), area.right() + 1 - placed.width())));
            placed.moveTop(
                std::max(area.top(), std::min(placed.top(), area.bottom() + 1 - placed.height())));
        }
        // Noted first: the box may hear of its move before setGeometry returns.
        m_placed = placed.topLeft();
        m_placedAt.start();
        setGeometry(placed);
    }

    // A window manager that is still settling the box may answer a change of
    // its size with the position the box had before it was placed, the
    // screen's corner (seen with Openbox): such a move, in the first moments
    // after the box was placed, is undone a few times at most. A move after
    // that is the user's.
    void keepPlaced()
    {
        constexpr qint64 kSettlingMs = 1000;
        constexpr int kMostUndone = 4;
        if (!m_placedAt.isValid() || m_placedAt.elapsed() > kSettlingMs ||
            m_undone >= kMostUndone || geometry().topLeft() == m_placed)
            return;
        if (QWidget* owner = parentWidget()) {
            ++m_undone;
            centreOver(owner->window());
        }
    }

    // The caption in bold, and beside it the window's icon, up to four
    // title-bar buttons and the bar's margins, each taken as wide as the bar
    // is high.
    int captionWidth() const
    {
        QFont bold = QApplication::font("QMdiSubWindowTitleBar");
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        const int bar = metrics.height() + 8;
        return metrics.horizontalAdvance(windowTitle()) + 6 * bar;
    }

    QPoint m_placed;
    QElapsedTimer m_placedAt;
    int m_undone = 0;
};

class RealDialogs final : public Dialogs
{
  public:
    void showError(QWidget* owner, const QString& caption, const QString& text) override
    {
        makeErrorBox(owner, caption, text)->exec();
    }

    FolderChoice chooseFolder(QWidget* owner, const QString& prompt, const QString& root) override
    {
#ifdef Q_OS_WIN
        // The shell's own browser, owned by the main window.
        const platform::WindowHandle handle =
            owner ? reinterpret_cast<platform::WindowHandle>(owner->window()->winId()) : nullptr;
        const platform::ChosenFolder chosen =
            platform::ChooseFolder(handle, fromQt(prompt), root.toStdWString());
        return {chosen.confirmed, toQt(chosen.path)};
#else
        const auto dialog = makeFolderDialog(owner, prompt, root);
        const int result = dialog->exec();
        return folderChoiceOf(*dialog, result);
#endif
    }

    QString promptForText(QWidget* owner, const QString& caption, const QString& prompt,
                          const QString& initial) override
    {
        const auto dialog = makeTextPrompt(owner, caption, prompt, initial);
        const int result = dialog->exec();
        return promptTextOf(*dialog, result, initial);
    }

    int runModal(QDialog& dialog) override
    {
        return dialog.exec();
    }
};

} // namespace

int Dialogs::runModal(QDialog&)
{
    return QDialog::Rejected;
}

Dialogs& realDialogs()
{
    static RealDialogs real;
    return real;
}

Dialogs& dialogs()
{
    Dialogs* replacement = ScopedDialogs::installed();
    return replacement ? *replacement : realDialogs();
}

QPoint centredPosition(const QRect& screen, const QSize& outer)
{
    // Integer division truncates toward zero, also for a window wider than
    // the screen.
    return {screen.left() + (screen.width() - outer.width()) / 2,
            screen.top() + (screen.height() - outer.height()) / 2};
}

QRect screenAreaOf(const QWidget* owner)
{
    const QScreen* screen = owner ? owner->window()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

void centreWhenShown(QWidget* window, const QRect& screen)
{
    new CentreOnShow(window, screen);
}

std::unique_ptr<QFileDialog> makeFolderDialog(QWidget* owner, const QString& prompt,
                                              const QString& root)
{
    auto dialog = std::make_unique<QFileDialog>(owner, prompt, root);
    // Qt's own dialog, since a platform dialog offers to make new folders
    // and cannot be placed.
    dialog->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly |
                       QFileDialog::ReadOnly);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // ReadOnly disables making folders; the button goes as well.
    if (auto* newFolder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton")))
        newFolder->hide();
    // The columns beside the name are as wide as what they show, the name
    // takes the rest.
    dialog->setViewMode(QFileDialog::Detail);
    if (auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = tree->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        header->setMinimumSectionSize(header->fontMetrics().averageCharWidth() * 12);
    }
    centreWhenShown(dialog.get(), screenAreaOf(owner));
    return dialog;
}

std::unique_ptr<QMessageBox> makeErrorBox(QWidget* owner, const QString& caption,
                                          const QString& text)
{
    auto box =
        std::make_unique<ErrorBox>(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    // Messages quote folder names and file types as the user typed them: a
    // "<b>" in one is text, not markup.
    box->setTextFormat(Qt::PlainText);
    return box;
}

FolderChoice folderChoiceOf(const QFileDialog& dialog, int result)
{
    if (result != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return {};
    return {true, QDir::toNativeSeparators(chosen.first())};
}

std::unique_ptr<QDialog> makeTextPrompt(QWidget* owner, const QString& caption,
                                        const QString& prompt, const QString& initial)
{
    auto dialog = std::make_unique<QDialog>(owner);
    dialog->setObjectName(QStringLiteral("TextPrompt"));
    dialog->setWindowTitle(caption);
    dialog->setModal(true);

    auto* label = new QLabel(prompt, dialog.get());
    label->setObjectName(QStringLiteral("PromptLabel"));
    auto* edit = new QLineEdit(dialog.get());
    edit->setObjectName(QStringLiteral("PromptEdit"));
    edit->setMaxLength(kPromptMaxLength);
    edit->setText(initial);
    edit->selectAll();
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 40);
    label->setBuddy(edit);

    auto* ok = new QPushButton(QStringLiteral("OK"), dialog.get());
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog.get());
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setAutoDefault(false);
    QObject::connect(ok, &QPushButton::clicked, dialog.get(), &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog.get(), &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(dialog.get());
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    edit->setFocus();
    centreWhenShown(dialog.get(), screenAreaOf(owner));
    return dialog;
}

QString promptTextOf(const QDialog& dialog, int result, const QString& initial)
{
    const auto* edit = dialog.findChild<const QLineEdit*>(QStringLiteral("PromptEdit"));
    return result == QDialog::Accepted && edit ? edit->text() : initial;
}

} // namespace tarvik::gui
