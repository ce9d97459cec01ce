#include "platform/posix/CreatedFiles.h"

#include <map>
#include <mutex>
#include <utility>

namespace tarvik::platform {
namespace {

std::mutex g_mutex;
std::map<std::string, std::pair<dev_t, ino_t>>& created()
{
    static std::map<std::string, std::pair<dev_t, ino_t>> files;
    return files;
}

} // namespace

void noteCreatedFile(const std::string& path, const struct stat& info)
{
    const std::lock_guard lock(g_mutex);
    created()[path] = {info.st_dev, info.st_ino};
}

bool replacesCreatedFile(const std::string& path, const struct stat& info)
{
    const std::lock_guard lock(g_mutex);
    const auto found = created().find(path);
    return found != created().end() &&
           found->second != std::pair<dev_t, ino_t>(info.st_dev, info.st_ino);
}

} // namespace tarvik::platform
