#include "minicmd/WalkHelper.h"

#include "minicmd/Interruption.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>

namespace tarvik::minicmd {

int statusOf(int folderFd, const Entry& entry, struct stat& info)
{
    const int flags = entry.type == DT_LNK ? 0 : AT_SYMLINK_NOFOLLOW;
    return ::fstatat(folderFd, entry.name.c_str(), &info, flags) == 0 ? 0 : errno;
}

void Look::takeTurns()
{
    for (std::size_t index; (index = next.fetch_add(1)) < wanted.size();) {
        Sighting& sighting = seen[wanted[index]];
        sighting.error = statusOf(folderFd, entries[wanted[index]], sighting.info);
    }
}

WalkHelper::~WalkHelper()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void WalkHelper::post(Listing& listing)
{
    start();
    {
        const std::lock_guard lock(m_mutex);
        listing.stage = Listing::Stage::Queued;
        m_queue.push_back(&listing);
    }
    m_changed.notify_all();
}

void WalkHelper::receive(Listing& listing)
{
    std::unique_lock lock(m_mutex);
    if (listing.stage == Listing::Stage::Kept || listing.stage == Listing::Stage::Queued) {
        std::erase(m_queue, &listing);
        listing.stage = Listing::Stage::Listed;
        lock.unlock();
        m_prepare(listing);
        share(listing.first);
        return;
    }
    m_changed.wait(lock, [&] { return listing.stage == Listing::Stage::Listed; });
    lock.unlock();
    listing.first.takeTurns();
    lock.lock();
    m_changed.wait(lock, [&] { return !listing.helperHolds; });
}

void WalkHelper::withdraw(Listing& listing)
{
    std::unique_lock lock(m_mutex);
    std::erase(m_queue, &listing);
    m_changed.wait(lock, [&] { return !listing.helperHolds; });
}

void WalkHelper::share(Look& look)
{
    constexpr std::size_t kWorthSharing = 64;
    if (look.wanted.size() < kWorthSharing) {
        look.takeTurns();
        return;
    }
    start();
    {
        const std::lock_guard lock(m_mutex);
        m_open = &look;
        ++m_opened;
    }
    m_changed.notify_all();
    look.takeTurns();
    std::unique_lock lock(m_mutex);
    m_open = nullptr;
    m_changed.wait(lock, [this] { return !m_helpingOpen; });
}

void WalkHelper::start()
{
    if (!m_thread.joinable()) {
        const QuietThreads quiet;
        m_thread = std::thread([this] { run(); });
    }
}

void WalkHelper::run()
{
    std::unique_lock lock(m_mutex);
    for (std::uint64_t served = 0;;) {
        m_changed.wait(
            lock, [&] { return m_stopping || (m_open && m_opened != served) || !m_queue.empty(); });
        if (m_stopping)
            return;
        // The walk waits on an open batch; a listing is only ahead.
        if (m_open && m_opened != served) {
            served = m_opened;
            m_helpingOpen = true;
            Look& look = *m_open;
            lock.unlock();
            look.takeTurns();
            lock.lock();
            m_helpingOpen = false;
            m_changed.notify_all();
            continue;
        }
        Listing& listing = *m_queue.front();
        m_queue.pop_front();
        listing.stage = Listing::Stage::Listing;
        listing.helperHolds = true;
        lock.unlock();
        m_prepare(listing);
        lock.lock();
        listing.stage = Listing::Stage::Listed;
        m_changed.notify_all();
        lock.unlock();
        listing.first.takeTurns();
        lock.lock();
        listing.helperHolds = false;
        m_changed.notify_all();
    }
}

} // namespace tarvik::minicmd
