#include "platform/win32/Win32CreatedFiles.h"

#include <map>
#include <mutex>
#include <utility>

namespace tarvik::platform::win32 {
namespace {

struct Created
{
    std::mutex mutex;
    std::map<std::intptr_t, std::pair<std::string, std::string>> open; // path, bytes
    std::map<std::string, std::string> closed;                         // bytes by path
};

Created& created()
{
    static Created files;
    return files;
}

} // namespace

void noteCreatedFile(std::intptr_t handle, const std::string& path)
{
    Created& files = created();
    const std::lock_guard lock(files.mutex);
    files.open[handle] = {path, std::string()};
}

void noteWrittenBytes(std::intptr_t handle, const char* data, std::size_t size)
{
    Created& files = created();
    const std::lock_guard lock(files.mutex);
    if (const auto found = files.open.find(handle); found != files.open.end())
        found->second.second.append(data, size);
}

void noteClosedFile(std::intptr_t handle)
{
    Created& files = created();
    const std::lock_guard lock(files.mutex);
    if (const auto found = files.open.find(handle); found != files.open.end()) {
        files.closed[found->second.first] = std::move(found->second.second);
        files.open.erase(found);
    }
}

bool replacesCreatedFile(const std::string& path, std::string_view content)
{
    Created& files = created();
    const std::lock_guard lock(files.mutex);
    const auto found = files.closed.find(path);
    return found != files.closed.end() && found->second != content;
}

} // namespace tarvik::platform::win32
