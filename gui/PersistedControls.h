#pragma once
// The main window's persisted values: its placement and the controls whose
// values the settings file keeps, each under a section named after the
// control's objectName. Both the load at the first show and the save at the
// end walk this one table, in its order; a further value is one more row.

#include "gui/FrmSettings.h"

#include <cstddef>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace tarvik::gui {

class ListBox;

// The controls of a form, after the form's own placement, in load and save
// order. Each row is the member that holds the control.
template <class Form>
inline constexpr auto kPersistedControls =
    std::tuple{&Form::DirectoryListBox, &Form::BackupDirEdt,        &Form::AddNotesCheckBox,
               &Form::SubDirCheckBox,   &Form::DelphiFilesCheckBox, &Form::ChangesFromDateCheckBox,
               &Form::FileTypesListBox};

// The store's load and save of a control of each kind.
constexpr auto operationsOf(ListBox*)
{
    return std::pair{&TFrmSettings::LoadListBox, &TFrmSettings::SaveListBox};
}
constexpr auto operationsOf(QLineEdit*)
{
    return std::pair{&TFrmSettings::LoadEdit, &TFrmSettings::SaveEdit};
}
constexpr auto operationsOf(QCheckBox*)
{
    return std::pair{&TFrmSettings::LoadCheckBox, &TFrmSettings::SaveCheckBox};
}

// What each control of the table holds, in the table's order: a list's
// items (the 8-bit texts), an edit's bytes, a box's check as "1" or "0".
using PersistedValues = std::vector<std::vector<std::string>>;
std::vector<std::string> valueOf(const ListBox* list);
std::vector<std::string> valueOf(const QLineEdit* edit);
std::vector<std::string> valueOf(const QCheckBox* box);

template <class Form> PersistedValues persistedValues(const Form& form)
{
    PersistedValues values;
    std::apply([&](auto... row) { (values.push_back(valueOf(form.*row)), ...); },
               kPersistedControls<Form>);
    return values;
}

// Runs a walk of the table with the settings file held, so that it reads the
// file once and writes it at most once, at the end. The operations before a
// failing one keep their writes, as they would one by one; a failure to write
// them at the end is a SettingsWriteError.
void withSettingsHeld(const std::function<void()>& walk);

// Load or save the placement of `window` and every control of `form` (the
// window itself, or an object with members named as the window's).
template <class Form> void loadPersistedControls(TFrmSettings& store, QWidget* window, Form& form)
{
    withSettingsHeld([&] {
        store.RestoreForm(window);
        std::apply([&](auto... row) { ((store.*operationsOf(form.*row).first)(form.*row), ...); },
                   kPersistedControls<Form>);
    });
}

// With `loaded`, what the controls held when they were loaded, only the
// controls whose value has changed since are saved.
template <class Form>
void savePersistedControls(TFrmSettings& store, QWidget* window, Form& form,
                           const PersistedValues* loaded = nullptr)
{
    withSettingsHeld([&] {
        store.StoreForm(window);
        std::size_t index = 0;
        const auto save = [&](auto* control) {
            if (!loaded || index >= loaded->size() || valueOf(control) != (*loaded)[index])
                (store.*operationsOf(control).second)(control);
            ++index;
        };
        std::apply([&](auto... row) { (save(form.*row), ...); }, kPersistedControls<Form>);
    });
}

} // namespace tarvik::gui
