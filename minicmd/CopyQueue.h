#pragma once
// Copies of different files made side by side by a few worker threads: the
// file system's create, the content and the close of one file overlap with
// those of the next. What each copy came to is told on the thread that handed
// it over, strictly in the order it was handed over, so the listing, the
// record and the summary read as a copy made one file after the other.

#include "minicmd/FileCopy.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace tarvik::minicmd {

// A folder descriptor that several hold at once, closed when the last lets
// go: the target folder of the walk and of the copies into it still in flight.
class SharedFd
{
  public:
    SharedFd() = default;
    // Takes `fd` over; -1 holds nothing.
    explicit SharedFd(int fd);
    int get() const { return m_fd ? *m_fd : -1; }
    // The group a file made in the folder gets: the folder's own where it
    // passes it on (set-group-ID), else ours; -1 when not known.
    gid_t filesGroup() const { return m_filesGroup; }

  private:
    std::shared_ptr<const int> m_fd;
    gid_t m_filesGroup = static_cast<gid_t>(-1);
};

class CopyQueue
{
  public:
    // One file to copy, and what its copy came to.
    struct Job
    {
        int source = -1; // open for reading; the queue closes it
        struct stat info
        {};
        SharedFd folder; // the target folder
        // Keeps the target folder in the record of copies in progress.
        std::shared_ptr<const void> folderHold;
        std::string name;
        CopyFailure failure;
        CopiedFile copied;
        // Told when the copy is done, in order; not told of a copy that a
        // request to stop kept from starting.
        std::function<void(const Job&)> done;
        bool skipped = false;
        bool finished = false;
    };

    // Two to four workers, started when the first copy can overlap another:
    // more only contend for the same disk and journal.
    CopyQueue();
    ~CopyQueue();
    CopyQueue(const CopyQueue&) = delete;
    CopyQueue& operator=(const CopyQueue&) = delete;

    // Hands a copy over, then tells those done at the head of the queue.
    // Waits while the queue is full, so memory and descriptors stay bounded.
    void submit(std::unique_ptr<Job> job);
    // Waits for every copy handed over, telling each in order.
    void drain();

  private:
    void startWorkers();
    void enqueue(std::unique_ptr<Job> job);
    void work();
    static void make(Job& job);
    static void tell(const Job& job);
    // The head of the queue once it is done; with `wait`, a head not yet
    // done is waited for together with the batch behind it.
    std::unique_ptr<Job> takeDone(bool wait);
    // Whether a waiting submitter has enough done at the head to tell.
    bool headReady() const;

    // Copies handed over and not yet told, at most.
    static constexpr std::size_t kBound = 32;
    // A submitter that waits for the head is woken once this many copies
    // at the head are done (or all there are): one wake for a batch, not
    // one for every copy, which on two cores costs as much as the copy.
    static constexpr std::size_t kTellBatch = kBound / 2;

    std::mutex m_mutex;
    std::condition_variable m_work;           // workers wait for copies to make
    std::condition_variable m_finished;       // the submitting thread waits for the head
    std::deque<std::unique_ptr<Job>> m_order; // handed over, not yet told
    std::deque<Job*> m_waiting;               // not yet started
    bool m_stopping = false;
    bool m_submitterWaiting = false;
    // A copy handed over while none was in flight: handing it to a worker
    // pays only when another follows before the queue is drained, else the
    // walk's thread makes it (a walk with one file to copy gains nothing
    // from a worker, and would wait for one to wake).
    std::unique_ptr<Job> m_held;
    std::vector<std::thread> m_workers;
};

} // namespace tarvik::minicmd
