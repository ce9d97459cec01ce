#pragma once
// The main window's persisted widgets, named as the program names them, and
// the full load and save in the program's order.

#include "BackUpSettings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QStringList>
#include <QWidget>

namespace tarvik::test {

inline QStringList itemsOf(const QListWidget& list)
{
    QStringList items;
    for (int i = 0; i < list.count(); ++i)
        items << list.item(i)->text();
    return items;
}

struct MainWidgets
{
    QWidget form;
    QListWidget directories;
    QLineEdit backupDir;
    QCheckBox addNotes, subDir, delphiFiles, changesFromDate;
    QListWidget fileTypes;

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
