#include "platform/IniStore.h"
#include "platform/Profile.h"

#include <utility>

// POSIX has no profile calls of its own: the INI stand-in takes their place.
namespace tarvik::platform {

std::string getProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, const std::string& path)
{
    return ini::getString(section, key, defaultValue, path);
}

ProfileSection getProfileSection(const std::string& section, const std::string& path)
{
    return ini::getSection(section, path);
}

bool writeProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& path)
{
    return ini::writeString(section, key, value, path);
}

bool editProfileSection(const std::string& section, SectionEdit& edit, const std::string& path)
{
    return ini::editSection(section, edit, path);
}

bool flushProfile(const std::string& path)
{
    return ini::flush(path);
}

ProfileHold::ProfileHold(std::string path) : m_path(std::move(path))
{
    ini::beginHold(m_path);
}

ProfileHold::~ProfileHold()
{
    if (!m_committed)
        ini::endHold(m_path, false);
}

bool ProfileHold::commit()
{
    m_committed = true;
    return ini::endHold(m_path, true);
}

} // namespace tarvik::platform
