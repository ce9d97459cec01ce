#pragma once
// The main window's persisted widgets, named as the program names them, and
// the full load and save through the program's own table of them.

#include "gui/BackUpSettings.h"
#include "gui/ListBox.h"
#include "gui/PersistedControls.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>
#include <initializer_list>

namespace tarvik::test {

// The items of `list` as the user sees them.
inline QStringList itemsOf(const gui::ListBox& list)
{
    QStringList items;
    for (int row = 0; row < list.count(); ++row)
        items.append(list.displayText(row));
    return items;
}

struct MainWidgets
{
    QWidget form;
    gui::ListBox directories;
    QLineEdit backupDir;
    QCheckBox addNotes, subDir, delphiFiles, changesFromDate;
    gui::ListBox fileTypes;
    // The members the program's table of persisted controls names.
    gui::ListBox* DirectoryListBox = &directories;
    QLineEdit* BackupDirEdt = &backupDir;
    QCheckBox *AddNotesCheckBox = &addNotes, *SubDirCheckBox = &subDir;
    QCheckBox *DelphiFilesCheckBox = &delphiFiles, *ChangesFromDateCheckBox = &changesFromDate;
    gui::ListBox* FileTypesListBox = &fileTypes;

    MainWidgets()
    {
        form.setObjectName("BackUpForm");
        directories.setObjectName("DirectoryListBox");
        backupDir.setObjectName("BackupDirEdt");
        addNotes.setObjectName("AddNotesCheckBox");
        subDir.setObjectName("SubDirCheckBox");
        delphiFiles.setObjectName("DelphiFilesCheckBox");
        changesFromDate.setObjectName("ChangesFromDateCheckBox");
        fileTypes.setObjectName("FileTypesListBox");
        // Children of the form, as in the main window; each leaves it again
        // when it is destroyed, before the form.
        for (QWidget* control :
             std::initializer_list<QWidget*>{&directories, &backupDir, &addNotes, &subDir,
                                             &delphiFiles, &changesFromDate, &fileTypes})
            control->setParent(&form);
    }
    void load()
    {
        gui::TBackUpSettings settings;
        gui::loadPersistedControls(settings, &form, *this);
    }
    void save()
    {
        gui::TBackUpSettings settings;
        gui::savePersistedControls(settings, &form, *this);
    }
};

} // namespace tarvik::test
