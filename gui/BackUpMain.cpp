#include "gui/BackUpMain.h"

#include "core/ProfileValues.h"
#include "gui/BackUpSettings.h"
#include "gui/EditBytes.h"
#include "gui/ErrorReport.h"
#include "gui/ImageList.h"
#include "gui/ListBox.h"
#include "gui/MissingFolders.h"
#include "gui/PersistedControls.h"
#include "gui/Text.h"
#include "platform/FileSystem.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QWindow>
#include <exception>
#include <functional>
#include <utility>

namespace tarvik::gui {
namespace {

QDateTime qDateTimeOf(const platform::LocalDateTime& when)
{
    return QDateTime(QDate(when.date.year, when.date.month, when.date.day),
                     QTime(when.hour, when.minute, when.second, when.millisecond));
}

platform::LocalDateTime localDateTimeOf(const QDateTime& when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    return {{date.year(), date.month(), date.day()},
            time.hour(),
            time.minute(),
            time.second(),
            time.msec()};
}

// Runs `step` from the event loop once `window` is on screen: right away
// when it already is, else after the first expose event that finds it so.
class WhenExposed final : public QObject
{
  public:
    WhenExposed(QWindow* window, std::function<void()> step)
        : QObject(window), m_step(std::move(step))
    {
        if (window->isExposed())
            start();
        else
            window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Expose &&
            static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            start();
        }
        return false;
    }

  private:
    // Queued, so that the expose that shows the window finishes painting it
    // before a step that may open a modal dialog over it.
    void start()
    {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_step();
                deleteLater();
            },
            Qt::QueuedConnection);
    }

    std::function<void()> m_step;
};

const QString kMissingFolderTip = QStringLiteral("Folder not found: Run Backup skips it.");

std::string settingsPath()
{
    return settingsFilePath(platform::current().modulePath());
}

} // namespace

TBackUpForm::TBackUpForm(std::vector<std::string> commandLine, QWidget* parent)
    : QMainWindow(parent), m_commandLine(std::move(commandLine))
{
    setObjectName(QStringLiteral("BackUpForm"));
    setWindowTitle(QStringLiteral("Back Up"));
    setWindowIcon(picture(Picture::Application));
    // The window was laid out for an 8 point font. The desktop's own family is
    // kept: asking for one it lacks costs a font fallback search at start-up.
    QFont designed = font();
    designed.setPointSize(8);
    setFont(designed);

    createActions();
    createMenus();
    createPages();
    connectHandlers();
    setFocusOrder();
    fitToFont();
}

TBackUpForm::~TBackUpForm()
{
    handle(&TBackUpForm::FormDestroy);
}

void TBackUpForm::connectHandlers()
{
    const auto bind = [this](QAction* action, void (TBackUpForm::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { handle(handler); });
    };
    bind(ExitProgram, &TBackUpForm::ExitProgramExecute);
    bind(RunBackupAction, &TBackUpForm::RunBackupActionExecute);
    bind(AddDirectoryAction, &TBackUpForm::AddDirectoryActionExecute);
    bind(RemoveDirectoryAction, &TBackUpForm::RemoveDirectoryActionExecute);
    bind(AddFileTypeAction, &TBackUpForm::AddFileTypeActionExecute);
    bind(RemoveFileTypeAction, &TBackUpForm::RemoveFileTypeActionExecute);
    bind(AboutAction, &TBackUpForm::AboutActionExecute);
    connect(SelectBUDirButton, &QPushButton::clicked, this,
            [this] { handle(&TBackUpForm::SelectBUDirButtonClick); });
    connect(SpeedButton2, &QToolButton::clicked, this,
            [this] { handle(&TBackUpForm::SpeedButton2Click); });
    connect(DateTimePicker, &QDateTimeEdit::dateTimeChanged, this,
            [this] { handle(&TBackUpForm::DateTimePickerChange); });
}

void TBackUpForm::handle(void (TBackUpForm::*handler)())
{
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        showErrorReport(this, error.what());
    }
}

void TBackUpForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    showOnce();
    markMissingSources();
}

void TBackUpForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::NoModifier) {
        focusMenuBar();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

// The menu bar watches this window's keys for a lone Alt (see MenuBarKeys).
// F10 stands for one: the same three key events go to the control that has
// the focus, and the menu bar toggles its keyboard mode as for the real key.
void TBackUpForm::focusMenuBar()
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : this;
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(target, &override);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

void TBackUpForm::markMissingSources()
{
    if (!m_missingFolders) {
        m_missingFolders = new MissingFolders(
            [](const std::string& folder) { return platform::directoryExists(folder); },
            [this](const std::map<std::string, bool>& missing) {
                // A folder added since the look began is not greyed until the next.
                DirectoryListBox->markMissing(
                    [&missing](std::string_view folder) {
                        const auto found = missing.find(std::string(folder));
                        return found != missing.end() && found->second;
                    },
                    kMissingFolderTip);
            },
            this);
    }
    m_missingFolders->check(valueOf(DirectoryListBox));
}

void TBackUpForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Restored from the minimised start, the window shows for the first time.
    if (event->type() == QEvent::WindowStateChange && isVisible() && !isMinimized()) {
        showOnce();
        markMissingSources();
    }
}

// A window started minimised has not been shown to the user: its values are
// loaded when the user first restores it.
void TBackUpForm::showOnce()
{
    if (m_shown || !isVisible() || isMinimized())
        return;
    m_shown = true;
    handle(&TBackUpForm::FormShow);
}

void TBackUpForm::FormShow()
{
    m_changesFromDate = platform::current().now();
    {
        const QSignalBlocker quiet(DateTimePicker);
        DateTimePicker->setDateTime(qDateTimeOf(m_changesFromDate));
    }
    {
        TBackUpSettings store;
        m_loadedVersion = platform::fileVersion(settingsPath());
        loadPersistedControls(store, this, *this);
        m_loadedValues = persistedValues(*this);
    }
#ifdef Q_OS_WIN
    // Only here may a script outlive the program: its interpreter holds it
    // while the backup runs, so one that can go now is over.
    BackupRun::removeLeftoverScripts(editBytes(BackupDirEdt));
#endif
    PageControl1->setCurrentWidget(TabSheet1);
    // A run's message box needs the window on screen to stand over it: the
    // command line waits until the window is first exposed. A window closed
    // before that runs nothing.
    if (!windowHandle()) {
        ProcessCommandLine();
        return;
    }
    new WhenExposed(windowHandle(), [this] {
        if (isVisible())
            handle(&TBackUpForm::ProcessCommandLine);
    });
}

void TBackUpForm::FormDestroy()
{
    // The settings first, as they are what a session's end must not lose; the
    // script after them, also when their save failed. Neither waits for a
    // backup that still runs.
    struct DeleteScriptLast
    {
        BackupRun& run;
        ~DeleteScriptLast() { run.deleteScript(); }
    } deleteScriptLast{m_run};
    // A window that was never shown never loaded its values: saving its empty
    // controls would wipe the stored lists.
    if (!m_shown)
        return;
    // Another window of the program (a scheduled run's, left open for hours)
    // may have saved since this one loaded: then only what the user changed
    // here is saved, so that a value this window merely kept does not undo
    // that window's change.
    const bool savedElsewhere = platform::fileVersion(settingsPath()) != m_loadedVersion;
    TBackUpSettings store;
    savePersistedControls(store, this, *this, savedElsewhere ? &m_loadedValues : nullptr);
}

void TBackUpForm::DateTimePickerChange()
{
    m_changesFromDate = localDateTimeOf(DateTimePicker->dateTime());
}

void TBackUpForm::ExitProgramExecute()
{
    close();
}

void TBackUpForm::RunBackupActionExecute()
{
    RunBackup();
}

void TBackUpForm::ProcessCommandLine()
{
    for (const std::string& argument : m_commandLine)
        if (argument == "/auto")
            RunBackup();
}

void TBackUpForm::RunBackup()
{
    markMissingSources();
    BackupJob job;
    job.backupDirectory = editBytes(BackupDirEdt);
    job.sourceDirectories = valueOf(DirectoryListBox);
    job.fileTypes = valueOf(FileTypesListBox);
    job.includeSubDirectories = SubDirCheckBox->isChecked();
    job.changesFrom = m_changesFromDate.date;
    m_run.RunBackup(job, reinterpret_cast<platform::WindowHandle>(effectiveWinId()));
}

} // namespace tarvik::gui
