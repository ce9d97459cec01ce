#pragma once
// The main window's persisted widgets, named as the program names them, and
// the full load and save in the program's order.

#include "BackUpSettings.h"
#include "ListBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

namespace tarvik::test {

inline QStringList itemsOf(const gui::ListBox& list)
{
    return list.items();
}

struct MainWidgets
{
    QWidget form;
    gui::ListBox directories;
    QLineEdit backupDir;
    QCheckBox addNotes, subDir, delphiFiles, changesFromDate;
    gui::ListBox fileTypes;

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
    }
    void load()
    {
        gui::TBackUpSettings settings;
        settings.RestoreForm(&form);
        settings.LoadListBox(&directories);
        settings.LoadEdit(&backupDir);
        for (QCheckBox* box : {&addNotes, &subDir, &delphiFiles, &changesFromDate})
            settings.LoadCheckBox(box);
        settings.LoadListBox(&fileTypes);
    }
    void save()
    {
        gui::TBackUpSettings settings;
        settings.StoreForm(&form);
        settings.SaveListBox(&directories);
        settings.SaveEdit(&backupDir);
        for (QCheckBox* box : {&addNotes, &subDir, &delphiFiles, &changesFromDate})
            settings.SaveCheckBox(box);
        settings.SaveListBox(&fileTypes);
    }
};

} // namespace tarvik::test
