#include "gui/PersistedControls.h"

#include "core/ProfileValues.h"
#include "platform/Profile.h"
#include "platform/System.h"

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

} // namespace tarvik::gui
