#include "gui/PersistedControls.h"

#include "core/ProfileValues.h"
#include "gui/EditBytes.h"
#include "gui/ListBox.h"
#include "platform/Profile.h"
#include "platform/System.h"

#include <QCheckBox>

namespace tarvik::gui {

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

std::vector<std::string> valueOf(const ListBox* list)
{
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(list->count()));
    for (int row = 0; row < list->count(); ++row)
        items.emplace_back(list->bytes(row));
    return items;
}

std::vector<std::string> valueOf(const QLineEdit* edit)
{
    return {editBytes(edit)};
}

std::vector<std::string> valueOf(const QCheckBox* box)
{
    return {box->isChecked() ? "1" : "0"};
}

} // namespace tarvik::gui
