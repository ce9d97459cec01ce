#include "platform/Profile.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <windows.h>

// The system's profile calls. Windows keeps a cached copy of the file it last
// touched; the flush call with three null arguments writes it out.
namespace tarvik::platform {
namespace {

// The buffer of a read: one more than the longest value, for the null.
constexpr DWORD kValueBuffer = kProfileValueLimit + 1;
static_assert(kValueBuffer == 2048);

// The names of the keys of `section`. The call cuts the list, ending it with
// two nulls, when the buffer is short; size - 2 tells that it was cut.
std::vector<std::string> keyNames(const std::string& section, const std::string& path)
{
    std::vector<char> buffer(4096);
    for (;;) {
        const DWORD length =
            ::GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                       static_cast<DWORD>(buffer.size()), path.c_str());
        if (length + 2 < buffer.size()) {
            std::vector<std::string> names;
            for (const char* name = buffer.data(); *name; name += std::strlen(name) + 1)
                names.emplace_back(name);
            return names;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The system writes a value as it stands, so a line break in it would start
// lines of its own: keys that were never written. The value ends at its first
// line break instead, as the stand-in does it.
std::string_view firstLine(std::string_view value)
{
    return value.substr(0, value.find_first_of("\r\n"));
}

// Names the file could not give back as written: the stand-in refuses them,
// and so does this.
bool readableNames(std::string_view section, std::string_view key)
{
    const auto trimmed = [](std::string_view name) {
        const size_t begin = name.find_first_not_of(" \t");
        return begin == std::string_view::npos
                   ? std::string_view()
                   : name.substr(begin, name.find_last_not_of(" \t") - begin + 1);
    };
    key = trimmed(key);
    return section.find_first_of("]\r\n") == std::string_view::npos && !key.empty() &&
           key.find_first_of("=\r\n") == std::string_view::npos && key.front() != '[' &&
           key.front() != ';';
}

} // namespace

std::string getProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, const std::string& path)
{
    char buffer[kValueBuffer];
    const DWORD length = ::GetPrivateProfileStringA(
        section.c_str(), key.c_str(), defaultValue.c_str(), buffer, kValueBuffer, path.c_str());
    return std::string(buffer, length);
}

ProfileSection getProfileSection(const std::string& section, const std::string& path)
{
    // Names and values end to end in one text, then viewed where they lie.
    auto texts = std::make_shared<std::string>();
    std::vector<std::pair<size_t, size_t>> sizes;
    for (const std::string& name : keyNames(section, path)) {
        const std::string value = getProfileString(section, name, "", path);
        texts->append(name).append(value);
        sizes.emplace_back(name.size(), value.size());
    }
    std::vector<ProfileEntry> entries;
    entries.reserve(sizes.size());
    std::string_view rest = *texts;
    for (const auto& [nameSize, valueSize] : sizes) {
        entries.push_back({rest.substr(0, nameSize), rest.substr(nameSize, valueSize)});
        rest.remove_prefix(nameSize + valueSize);
    }
    return ProfileSection(std::move(texts), std::move(entries));
}

bool writeProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& path)
{
    if (!readableNames(section, key))
        return false;
    const std::string line(firstLine(value));
    return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), line.c_str(), path.c_str()) !=
           FALSE;
}

bool editProfileSection(const std::string& section, SectionEdit& edit, const std::string& path)
{
    return editProfileSectionKeyByKey(section, edit, path);
}

bool flushProfile(const std::string& path)
{
    // The call gives no result worth having: each write has reported itself.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    return true;
}

// The system keeps its own cached copy; a hold adds nothing to it.
ProfileHold::ProfileHold(std::string path) : m_path(std::move(path)) {}

ProfileHold::~ProfileHold() = default;

bool ProfileHold::commit()
{
    m_committed = true;
    return flushProfile(m_path);
}

} // namespace tarvik::platform
