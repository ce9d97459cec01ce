#pragma once
// One key's write made as an edit of its section: the edit a single write is,
// so that the one-pass edit of a settings file can be held against writes.

#include "platform/Names.h"
#include "platform/Profile.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace testfiles {

class OneKeyEdit final : public tarvik::platform::SectionEdit
{
  public:
    OneKeyEdit(std::string_view key, std::string_view value) : m_write{key, value} {}
    std::optional<tarvik::platform::ProfileWrite> change(std::string_view key,
                                                         std::string_view) override
    {
        return tarvik::platform::sameName(key, m_write.key) ? nextAddition() : std::nullopt;
    }
    std::optional<tarvik::platform::ProfileWrite> nextAddition() override
    {
        return std::exchange(m_done, true) ? std::nullopt : std::optional(m_write);
    }

  private:
    tarvik::platform::ProfileWrite m_write;
    bool m_done = false;
};

// Writes `value` to `key` in `section` of the file at `path` as one edit.
inline bool editOneKey(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& path)
{
    OneKeyEdit edit(key, value);
    return tarvik::platform::editProfileSection(section, edit, path);
}

} // namespace testfiles
