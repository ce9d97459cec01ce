#pragma once
// The main window. Its controls are the program's working state: the backup
// run reads them, the settings store loads them when the window is first shown
// and saves them when it is destroyed. Every command is an action of the
// window, shared by its tool buttons and menu items, and every handler runs
// inside the standard error report (ErrorReport.h).

#include "core/BackupRun.h"
#include "platform/System.h"

#include <QMainWindow>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QToolButton;

namespace tarvik::gui {

class ListBox;
class MissingFolders;
enum class Picture;

class TBackUpForm : public QMainWindow
{
    Q_OBJECT

  public:
    // `commandLine`: the program's arguments after its own name, as given.
    explicit TBackUpForm(std::vector<std::string> commandLine = {}, QWidget* parent = nullptr);
    ~TBackUpForm() override;

    // The Changes From date: set when the window is first shown, changed by
    // the picker. Only its calendar date is used.
    const platform::LocalDateTime& ChangesFromDate() const { return m_changesFromDate; }
    // The last backup script this window began to write; empty before that.
    const std::string& ScriptFileName() const { return m_run.ScriptFileName(); }

    // Handlers, each run by its event, action or click inside the standard
    // error report.
    void FormShow();
    void FormDestroy();
    void DateTimePickerChange();
    void ExitProgramExecute();
    void RunBackupActionExecute();
    void ProcessCommandLine();
    void RunBackup();
    // List editing, the backup folder, the notes and the About dialog.
    void AddDirectoryActionExecute();
    void RemoveDirectoryActionExecute();
    void AddFileTypeActionExecute();
    void RemoveFileTypeActionExecute();
    void SelectBUDirButtonClick();
    void SpeedButton2Click();
    void SaveNotes();
    void AboutActionExecute();

    // Components, named as their objectName.
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QFrame* Panel1;
    QToolButton* RunBackupSpeedButton;
    QToolButton* AddDirSpeedButton;
    QToolButton* SpeedButton1;
    ListBox* DirectoryListBox;
    QFrame* Panel2;
    QLabel* Label1;
    QDateEdit* DateTimePicker;
    QFrame* Panel3;
    QToolButton* SpeedButton2;
    QPlainTextEdit* NotesMemo;
    QGroupBox* GroupBox2;
    QLineEdit* BackupDirEdt;
    QPushButton* SelectBUDirButton;
    QGroupBox* GroupBox1;
    ListBox* FileTypesListBox;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton4;
    QGroupBox* GroupBox3;
    QCheckBox* SubDirCheckBox;
    QCheckBox* ChangesFromDateCheckBox;
    QCheckBox* AddNotesCheckBox;
    QCheckBox* DelphiFilesCheckBox;
    QStatusBar* StatusBar1;
    QMenuBar* MainMenu1;
    QMenu* File1;
    QAction* RunBackup1;
    QAction* N1;
    QAction* Exit1;
    QMenu* Help1;
    QAction* About1;
    QMenu* PopupMenu1;
    QAction* RemoveDir1;
    QObject* ActionList;
    QAction* ExitProgram;
    QAction* RunBackupAction;
    QAction* AddDirectoryAction;
    QAction* RemoveDirectoryAction;
    QAction* AddFileTypeAction;
    QAction* RemoveFileTypeAction;
    QAction* AboutAction;

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    // F10 takes the keyboard to the menu bar.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void createActions();
    void createMenus();
    void createBackupPage();
    void createNotesPage();
    void createSettingsPage();
    void createPages();
    void connectHandlers();
    void setFocusOrder();
    void fitToFont();
    void arrangeSettingsPage();
    // Hands the keyboard to the menu bar, as a lone Alt press does.
    void focusMenuBar();
    // Greys the source folders that are not there (the run skips them), as
    // soon as a look away from the window's thread has found them.
    void markMissingSources();

    // Runs `handler` inside the standard error report.
    void handle(void (TBackUpForm::*handler)());
    // FormShow once, when the window is first shown other than minimised.
    void showOnce();
    // Names are given without accelerators: no command has a keyboard shortcut.
    QAction* createAction(const char* name, const QString& caption);
    QAction* createAction(const char* name, const QString& caption, Picture glyph);
    QAction* createMenuItem(QMenu* menu, const char* name, QAction* action);

    std::vector<std::string> m_commandLine;
    platform::LocalDateTime m_changesFromDate;
    BackupRun m_run;
    bool m_shown = false;
    // The settings file as this window loaded it, and what the persisted
    // controls held then.
    std::string m_loadedVersion;
    std::vector<std::vector<std::string>> m_loadedValues;
    MissingFolders* m_missingFolders = nullptr; // made at the first look
};

} // namespace tarvik::gui
