#include "platform/Profile.h"

namespace tarvik::platform {

bool editProfileSectionKeyByKey(const std::string& section, SectionEdit& edit,
                                const std::string& path)
{
    const auto write = [&](const ProfileWrite& made) {
        return writeProfileString(section, std::string(made.key), std::string(made.value), path);
    };
    // The section as read before the first write; the writes change the
    // file, not this copy.
    const ProfileSection held = getProfileSection(section, path);
    for (const ProfileEntry& entry : held) {
        const std::optional<ProfileWrite> made = edit.change(entry.key, entry.value);
        if (made && !write(*made))
            return false;
    }
    while (const std::optional<ProfileWrite> made = edit.nextAddition()) {
        if (!write(*made))
            return false;
    }
    return true;
}

} // namespace tarvik::platform
