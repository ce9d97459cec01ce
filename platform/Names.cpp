#include "platform/Names.h"

#include <cstdint>

namespace tarvik::platform {

// FNV-1a over the lower-case bytes, so that names that match hash alike.
size_t NameIndex::Hash::operator()(std::string_view name) const
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(lowerAscii(c));
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

void NameIndex::add(std::string_view name, size_t position)
{
    if (m_positions.find(name) == m_positions.end())
        m_positions.emplace(name, position);
}

std::optional<size_t> NameIndex::find(std::string_view name) const
{
    const auto found = m_positions.find(name);
    if (found == m_positions.end())
        return std::nullopt;
    return found->second;
}

} // namespace tarvik::platform
