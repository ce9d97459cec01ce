#include "minicmd/CopyQueue.h"

#include "minicmd/Interruption.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::minicmd {

SharedFd::SharedFd(int fd)
{
    if (fd < 0)
        return;
    m_fd = std::shared_ptr<const int>(new int(fd), [](const int* held) {
        ::close(*held);
        delete held;
    });
    struct stat info
    {};
    if (::fstat(fd, &info) == 0)
        m_filesGroup = (info.st_mode & S_ISGID) != 0 ? info.st_gid : ::getegid();
}

CopyQueue::CopyQueue() = default;

void CopyQueue::startWorkers()
{
    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
    const QuietThreads quiet;
    for (unsigned i = 0; i < count; ++i)
        m_workers.emplace_back([this] { work(); });
}

CopyQueue::~CopyQueue()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
    if (m_held)
        ::close(m_held->source);
}

void CopyQueue::submit(std::unique_ptr<Job> job)
{
    if (!m_held) {
        bool idle = false;
        {
            const std::lock_guard lock(m_mutex);
            idle = m_order.empty();
        }
        if (idle) {
            m_held = std::move(job);
            return;
        }
    } else {
        enqueue(std::move(m_held));
    }
    enqueue(std::move(job));
}

void CopyQueue::enqueue(std::unique_ptr<Job> job)
{
    if (m_workers.empty())
        startWorkers();
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_order.size() < kBound) {
                m_waiting.push_back(job.get());
                m_order.push_back(std::move(job));
                break;
            }
        }
        tell(*takeDone(true));
    }
    m_work.notify_one();
    while (const std::unique_ptr<Job> done = takeDone(false))
        tell(*done);
}

void CopyQueue::drain()
{
    // Nothing is in flight while a copy is held: it is the next to tell.
    if (m_held) {
        make(*m_held);
        tell(*m_held);
        m_held.reset();
    }
    while (const std::unique_ptr<Job> done = takeDone(true))
        tell(*done);
}

void CopyQueue::tell(const Job& job)
{
    if (!job.skipped && job.done)
        job.done(job);
}

void CopyQueue::make(Job& job)
{
    // A run asked to stop starts no more copies, as the walk visits no more
    // files.
    if (interruptingSignal())
        job.skipped = true;
    else
        job.failure = copyFileInto(job.source, job.info, job.folder.get(), job.name, {},
                                   &job.copied, job.folder.filesGroup());
    ::close(job.source);
    job.folder = {};
}

std::unique_ptr<CopyQueue::Job> CopyQueue::takeDone(bool wait)
{
    std::unique_lock lock(m_mutex);
    if (m_order.empty())
        return nullptr;
    if (!m_order.front()->finished) {
        if (!wait)
            return nullptr;
        m_submitterWaiting = true;
        m_finished.wait(lock, [this] { return headReady(); });
        m_submitterWaiting = false;
    }
    std::unique_ptr<Job> job = std::move(m_order.front());
    m_order.pop_front();
    return job;
}

bool CopyQueue::headReady() const
{
    const std::size_t wanted = std::min(kTellBatch, m_order.size());
    std::size_t done = 0;
    while (done < wanted && m_order[done]->finished)
        ++done;
    return done == wanted;
}

void CopyQueue::work()
{
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_work.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            if (m_waiting.empty())
                return;
            job = m_waiting.front();
            m_waiting.pop_front();
        }
        make(*job);
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            job->finished = true;
            wake = m_submitterWaiting && headReady();
        }
        if (wake)
            m_finished.notify_one();
    }
}

} // namespace tarvik::minicmd
