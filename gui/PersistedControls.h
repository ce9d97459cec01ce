#pragma once
// The main window's persisted values: its placement and the controls whose
// values the settings file keeps, each under a section named after the
// control's objectName. Both the load at the first show and the save at the
// end walk this one table, in its order; a further value is one more row.

#include <cstdint>

class QWidget;

namespace tarvik::gui {

class TFrmSettings;

enum class PersistedKind : std::uint8_t
{
    Form,     // RestoreForm / StoreForm
    ListBox,  // LoadListBox / SaveListBox
    Edit,     // LoadEdit / SaveEdit
    CheckBox, // LoadCheckBox / SaveCheckBox
};

struct PersistedControl
{
    PersistedKind kind;
    const char* section; // the objectName of the form, or of one of its controls
};

inline constexpr PersistedControl kPersistedControls[] = {
    {PersistedKind::Form, "BackUpForm"},
    {PersistedKind::ListBox, "DirectoryListBox"},
    {PersistedKind::Edit, "BackupDirEdt"},
    {PersistedKind::CheckBox, "AddNotesCheckBox"},
    {PersistedKind::CheckBox, "SubDirCheckBox"},
    {PersistedKind::CheckBox, "DelphiFilesCheckBox"},
    {PersistedKind::CheckBox, "ChangesFromDateCheckBox"},
    {PersistedKind::ListBox, "FileTypesListBox"},
};

// Load or save every row of the table with `store`: the form row is `form`
// itself, the others are controls among its descendants. A row that names no
// control of its kind is a fault of the program and throws std::logic_error.
void loadPersistedControls(TFrmSettings& store, QWidget* form);
void savePersistedControls(TFrmSettings& store, QWidget* form);

} // namespace tarvik::gui
