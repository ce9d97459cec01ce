#include "gui/PersistedControls.h"

#include "core/ProfileValues.h"
#include "platform/Profile.h"
#include "platform/System.h"

namespace tarvik::gui {

void loadControl(TFrmSettings& store, ListBox* list)
{
    store.LoadListBox(list);
}

void loadControl(TFrmSettings& store, QLineEdit* edit)
{
    store.LoadEdit(edit);
}

void loadControl(TFrmSettings& store, QCheckBox* box)
{
    store.LoadCheckBox(box);
}

void saveControl(TFrmSettings& store, ListBox* list)
{
    store.SaveListBox(list);
}

void saveControl(TFrmSettings& store, QLineEdit* edit)
{
    store.SaveEdit(edit);
}

void saveControl(TFrmSettings& store, QCheckBox* box)
{
    store.SaveCheckBox(box);
}

void withSettingsHeld(const std::function<void()>& walk)
{
    const std::string path = settingsFilePath(platform::current().modulePath());
    platform::ProfileHold hold(path);
    try {
        walk();
    } catch (...) {
        // Its own report is the one to show; the file is then released as
        // every operation releases it, ignoring the result.
        hold.commit();
        throw;
    }
    if (!hold.commit())
        throw SettingsWriteError(path);
}

} // namespace tarvik::gui
