#include "platform/Names.h"
#include "platform/Profile.h"

#include <utility>

namespace tarvik::platform {

KeyWrites::KeyWrites(std::vector<ProfileWrite> writes)
    : m_writes(std::move(writes)), m_made(m_writes.size())
{}

// Of several writes to one name the last counts; all of them are then made.
std::optional<ProfileWrite> KeyWrites::change(std::string_view key, std::string_view)
{
    std::optional<ProfileWrite> last;
    for (size_t i = 0; i < m_writes.size(); ++i) {
        if (!m_made[i] && sameName(trimBlanks(m_writes[i].key), trimBlanks(key))) {
            m_made[i] = true;
            last = m_writes[i];
        }
    }
    return last;
}

std::optional<ProfileWrite> KeyWrites::nextAddition()
{
    while (m_next < m_writes.size() && m_made[m_next])
        ++m_next;
    return m_next < m_writes.size() ? change(m_writes[m_next].key, {}) : std::nullopt;
}

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
