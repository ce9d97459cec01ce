#include "minicmd/CopyNames.h"

#include "minicmd/FileCopy.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

// A temporary file being written, for removeUnfinishedCopy(): data a signal
// handler may read, published by `active`.
struct Unfinished
{
    std::atomic<int> active{0};
    std::atomic<bool> claimed{false};
    int folderFd = -1;
    char name[64] = {};
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "read from a signal handler");

// More than the walk and its workers ever use at once.
constexpr int kPlaces = 16;
Unfinished g_unfinished[kPlaces];

// The place of the calling thread, claimed on first use and given back when
// the thread ends.
struct Place
{
    Unfinished* slot = nullptr;
    ~Place()
    {
        if (slot) {
            slot->active = 0;
            slot->claimed = false;
        }
    }
};
thread_local Place t_place;

Unfinished* ownPlace()
{
    if (!t_place.slot) {
        for (Unfinished& slot : g_unfinished) {
            bool expected = false;
            if (slot.claimed.compare_exchange_strong(expected, true)) {
                t_place.slot = &slot;
                break;
            }
        }
    }
    return t_place.slot;
}

} // namespace

bool processIsGone(long pid)
{
    return pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
           errno == ESRCH;
}

std::string temporaryName()
{
    static std::atomic<unsigned> counter{0};
    // The interpreter never forks, so its process id is asked for once.
    static const std::string prefix = ".~minicmd" + std::to_string(::getpid()) + "-";
    return prefix + std::to_string(counter++) + ".tmp";
}

void UnfinishedCopy::track(int folderFd, const std::string& name)
{
    Unfinished* slot = ownPlace();
    if (!slot)
        return;
    slot->active = 0;
    slot->folderFd = folderFd;
    const std::size_t length = std::min(name.size(), sizeof slot->name - 1);
    name.copy(slot->name, length);
    slot->name[length] = '\0';
    slot->active = 1;
    m_tracking = true;
}

void UnfinishedCopy::release()
{
    if (m_tracking && t_place.slot)
        t_place.slot->active = 0;
    m_tracking = false;
}

void removeUnfinishedCopy()
{
    for (Unfinished& slot : g_unfinished)
        if (slot.active)
            ::unlinkat(slot.folderFd, slot.name, 0);
}

bool isTemporaryName(const std::string& name, long* writer)
{
    // Exactly what temporaryName() makes: prefix, pid, "-", counter, suffix.
    constexpr std::string_view prefix = ".~minicmd", suffix = ".tmp";
    if (!name.starts_with(prefix) || !name.ends_with(suffix) ||
        name.size() < prefix.size() + suffix.size() + 3)
        return false;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size() - suffix.size();
    long pid = 0;
    unsigned long long counter = 0;
    const auto [dash, pidError] = std::from_chars(first, last, pid);
    if (pidError != std::errc() || dash == first || *first == '0' || pid <= 0 || dash == last ||
        *dash != '-')
        return false;
    const auto [end, counterError] = std::from_chars(dash + 1, last, counter);
    if (counterError != std::errc() || end != last || end == dash + 1 ||
        (dash[1] == '0' && end != dash + 2))
        return false;
    if (writer)
        *writer = pid;
    return true;
}

void removeAbandonedCopies(int folderFd)
{
    const int listing = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* folder = ::fdopendir(listing);
    if (!folder) {
        ::close(listing);
        return;
    }
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        long writer = 0;
        if (!isTemporaryName(name, &writer) || !processIsGone(writer))
            continue;
        // Only our own: in a shared folder another user's file of that name
        // is theirs to remove, also when we run as root.
        struct stat info
        {};
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            ::unlinkat(folderFd, name.c_str(), 0);
    }
    ::closedir(folder);
}

} // namespace tarvik::minicmd
