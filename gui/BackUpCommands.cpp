// The commands that edit the lists, choose the backup folder, write the notes
// and show the About dialog.

#include "core/Notes.h"
#include "gui/BackUpMain.h"
#include "gui/Dialogs.h"
#include "gui/EditBytes.h"
#include "gui/ListBox.h"
#include "gui/MemoLines.h"
#include "gui/Text.h"
#include "gui/frmAboutUnit.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <memory>

namespace tarvik::gui {
namespace {

const QString kSelectDirectory = QStringLiteral("Select Directory");

// Where the folder browser starts: the top of the file system.
QString folderRoot()
{
#ifdef _WIN32
    return QStringLiteral("c:\\");
#else
    return QStringLiteral("/");
#endif
}

// `text` without the blanks and control characters (code 32 or less) at
// either end; other characters, such as a no-break space, stay.
QString trimmedOfControls(const QString& text)
{
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && text[first].unicode() <= 32)
        ++first;
    while (end > first && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(first, end - first);
}

// Deletes the selected item; without one, nothing happens.
void removeSelectedItem(ListBox* list)
{
    if (const int row = list->selectedRow(); row >= 0)
        list->removeItem(row);
}

} // namespace

void TBackUpForm::AddDirectoryActionExecute()
{
    const FolderChoice choice = dialogs().chooseFolder(this, kSelectDirectory, folderRoot());
    if (choice.confirmed)
        DirectoryListBox->addItem(trimmedOfControls(choice.path));
}

void TBackUpForm::RemoveDirectoryActionExecute()
{
    removeSelectedItem(DirectoryListBox);
}

void TBackUpForm::AddFileTypeActionExecute()
{
    const QString text = dialogs().promptForText(this, QStringLiteral("Add File Type"),
                                                 QStringLiteral("File Type"), QString());
    // Tested before trimming: blanks only still add an (empty) item.
    if (!text.isEmpty())
        FileTypesListBox->addItem(trimmedOfControls(text));
}

void TBackUpForm::RemoveFileTypeActionExecute()
{
    removeSelectedItem(FileTypesListBox);
}

void TBackUpForm::SelectBUDirButtonClick()
{
    const FolderChoice choice = dialogs().chooseFolder(this, kSelectDirectory, folderRoot());
    if (choice.confirmed)
        BackupDirEdt->setText(choice.path);
}

void TBackUpForm::SpeedButton2Click()
{
    SaveNotes();
}

void TBackUpForm::SaveNotes()
{
    // The Notes page is never displayed; its memo wraps as if it were.
    layOutAsDisplayedPage(*TabSheet2);
    std::vector<std::string> lines;
    for (const QString& line : memoLines(*NotesMemo))
        lines.push_back(fromQt(line));
    WriteNotesFile(editBytes(BackupDirEdt), ChangesFromDate().date, lines);
}

void TBackUpForm::AboutActionExecute()
{
    // Built afresh each time and gone when it closes, also when it fails.
    const auto about = std::make_unique<TfrmAbout>(this);
    dialogs().runModal(*about);
}

} // namespace tarvik::gui
