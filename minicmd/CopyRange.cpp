#include "minicmd/CopyRange.h"

#include "minicmd/ContentHash.h"
#include "minicmd/Interruption.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

// The kernel's steps: progress is told and an interruption seen at least this
// often, and the hashing thread follows one step behind. Smaller steps cost
// more in calls and wake-ups than they save.
constexpr off_t kChunk = 8 << 20;

// How many files handed over after a read that had to wait for the disk are
// read ahead: enough to keep the disk busy while the copies catch up, few
// enough that a tree in memory again soon stops paying for the requests.
constexpr int kReadAheadFiles = 64;
std::atomic<int> g_readAheadLeft{0};
// Whether the file systems met so far can tell a read that would wait.
std::atomic<bool> g_canTellWaits{true};

// pread, noting a read that had to wait for the disk. The bytes are first
// asked for without waiting; that fails when they are not in memory, which
// starts the disk's read all the same, and the read then waits as usual. Any
// other failure is left to the plain read to report as it always has.
ssize_t readNotingWaits(int from, char* buffer, size_t size, off_t offset)
{
    if (g_canTellWaits.load(std::memory_order_relaxed)) {
        iovec part{buffer, size};
        const ssize_t got = ::preadv2(from, &part, 1, offset, RWF_NOWAIT);
        if (got >= 0)
            return got;
        if (errno == EAGAIN)
            g_readAheadLeft.store(kReadAheadFiles, std::memory_order_relaxed);
        else if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL)
            g_canTellWaits.store(false, std::memory_order_relaxed);
    }
    return ::pread(from, buffer, size, offset);
}

// A range this long goes through the kernel even when it is hashed: reading
// and writing it through a buffer of ours costs a second pass over memory,
// which on a large file is most of the time. Writing the copy straight from a
// mapping of the source makes one pass, but where a page fault traps to a
// hypervisor it took four times as long as the kernel's copy, even with the
// mapping filled in advance.
constexpr off_t kKernelRange = 8 << 20;

// Hashes the copy's bytes on a thread of its own as the kernel puts them in
// place, so that the copy and its hash take the time of the copy alone. The
// copy is read back into a buffer, not mapped: where a page fault traps to a
// hypervisor, as on many virtual machines, faulting in a gigabyte's pages
// took twice as long as the copy itself, while reading it back kept pace.
class CopyHasher
{
  public:
    // `copyFd`: a descriptor of the copy open for reading; its bytes from
    // `start` on are to be hashed.
    CopyHasher(int copyFd, off_t start, ContentHash& hash)
        : m_fd(copyFd), m_hashed(start), m_placed(start), m_hash(hash)
    {
        const QuietThreads quiet;
        m_thread = std::thread([this] { run(); });
    }
    ~CopyHasher() { finish(); }
    CopyHasher(const CopyHasher&) = delete;
    CopyHasher& operator=(const CopyHasher&) = delete;

    // The copy holds its bytes up to `offset`.
    void placed(off_t offset)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_placed = offset;
        }
        m_changed.notify_one();
    }

    // Waits until every byte placed is hashed; why reading the copy failed,
    // if it did.
    std::string finish()
    {
        if (m_thread.joinable()) {
            {
                const std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_changed.notify_one();
            m_thread.join();
        }
        return m_error;
    }

  private:
    void run()
    {
        for (;;) {
            off_t until = 0;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_done || m_placed > m_hashed; });
                if (m_placed == m_hashed)
                    return;
                until = m_placed;
            }
            if (!hashUpTo(until)) {
                m_error = std::strerror(errno);
                return;
            }
        }
    }

    bool hashUpTo(off_t until)
    {
        constexpr std::size_t kBufferSize = 1 << 20;
        if (!m_buffer)
            m_buffer.reset(new char[kBufferSize]);
        while (m_hashed < until) {
            const ssize_t got = ::pread(
                m_fd, m_buffer.get(),
                static_cast<std::size_t>(std::min<off_t>(until - m_hashed, kBufferSize)), m_hashed);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                if (got == 0)
                    errno = EIO; // the copy is shorter than what was put in it
                return false;
            }
            m_hash.add(m_buffer.get(), static_cast<std::size_t>(got));
            m_hashed += got;
        }
        return true;
    }

    int m_fd;
    off_t m_hashed; // touched by the hashing thread only, once started
    off_t m_placed;
    ContentHash& m_hash;
    bool m_done = false;
    std::string m_error;
    std::unique_ptr<char[]> m_buffer;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

bool kernelCannotCopy(int code)
{
    return code == EXDEV || code == ENOSYS || code == EINVAL || code == EOPNOTSUPP ||
           code == EBADF || code == EPERM;
}

// Whose failure `code` from the kernel's copy at `offset` is: EFBIG, ENOSPC
// and EDQUOT are the writer's; for the others (EIO and the like) a read of
// the source there tells.
CopyFailure kernelFailure(int code, int from, off_t offset)
{
    bool reading = false;
    if (code != ENOSPC && code != EDQUOT && code != EFBIG) {
        char byte = 0;
        reading = ::pread(from, &byte, 1, offset) < 0;
    }
    return {std::strerror(code), reading};
}

// The kernel's copy of [offset, end), each step hashed from the copy while
// the next is made. `fallback` is told where the kernel could not go on, for
// read and write to take over from there. The steps are made one at a time:
// on two cores, two halves of a gigabyte copied side by side saved about a
// twentieth of the time unhashed, and cost about a third more beside the
// hashing thread. Writeback is left to the kernel: starting it after each
// step (sync_file_range) put a gigabyte on disk about a sixth sooner, but the
// copy returned about a third later. Started by the hashing thread, which
// mostly waits for the next step, or only while it waits, it still returned
// a fifth to a third later than with no writeback: the writes themselves take
// the cores, wherever they are submitted.
CopyFailure copyByKernel(int from, int to, off_t& offset, off_t end, const CopyProgress& progress,
                         ContentHash* hash, bool& fallback)
{
    fallback = false;
    int copyFd = -1;
    if (hash) {
        // The copy is write-only; it is read back through a descriptor of its own.
        const std::string self = "/proc/self/fd/" + std::to_string(to);
        copyFd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
        if (copyFd < 0) {
            fallback = true;
            return {};
        }
    }
    std::optional<CopyHasher> hasher;
    if (hash)
        hasher.emplace(copyFd, offset, *hash);
    CopyFailure failure;
    while (offset < end) {
        if (interruptingSignal()) {
            failure = {kInterrupted, false};
            break;
        }
        loff_t in = offset, out = offset;
        const ssize_t moved = ::copy_file_range(
            from, &in, to, &out, static_cast<size_t>(std::min(end - offset, kChunk)), 0);
        if (moved > 0) {
            offset += moved;
            if (hasher)
                hasher->placed(offset);
            if (progress)
                progress(static_cast<std::uint64_t>(offset));
            continue;
        }
        if (moved == 0)
            break;
        if (errno == EINTR)
            continue;
        if (kernelCannotCopy(errno))
            fallback = true;
        else
            failure = kernelFailure(errno, from, offset);
        break;
    }
    if (hasher) {
        const std::string unread = hasher->finish();
        if (!failure && !unread.empty())
            failure = {unread, false};
        ::close(copyFd);
    }
    return failure;
}

// Reserves the blocks of a long range of the copy before it is written: the
// file system then places the bytes in blocks it already has, rather than
// accounting for every page on its own, and a large copy takes about a fifth
// less time. The copy's size still grows only with what is put in it, and
// only the range's own blocks are reserved, so holes stay holes. Where the
// file system cannot reserve, or has no room for all of it, the copy goes
// on as it would have and meets any real shortage itself.
void reserveBlocks(int to, off_t offset, off_t end)
{
    if (end - offset >= kKernelRange)
        ::fallocate(to, FALLOC_FL_KEEP_SIZE, offset, end - offset);
}

} // namespace

CopyFailure copyByReading(int from, int to, off_t offset, off_t end, const CopyProgress& progress,
                          ContentHash* hash, off_t* reached)
{
    // One buffer for every copy: a fresh one per file cost a map, an unmap
    // and its page faults, more than a small file's content itself.
    constexpr std::size_t kBufferSize = 1 << 20;
    thread_local const std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    while (end < 0 || offset < end) {
        if (interruptingSignal())
            return {kInterrupted, false};
        const size_t want =
            end < 0 ? kBufferSize
                    : static_cast<size_t>(std::min<off_t>(end - offset, off_t(kBufferSize)));
        const ssize_t got = readNotingWaits(from, buffer.get(), want, offset);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {std::strerror(errno), true};
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                ::pwrite(to, buffer.get() + done, static_cast<size_t>(got - done), offset + done);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return {std::strerror(errno), false};
            }
            done += put;
        }
        if (hash)
            hash->add(buffer.get(), static_cast<size_t>(got));
        offset += got;
        if (progress)
            progress(static_cast<std::uint64_t>(offset));
    }
    if (reached)
        *reached = offset;
    return {};
}

void readAheadWhileUncached(int from, off_t size)
{
    if (size > 0 && g_readAheadLeft.load(std::memory_order_relaxed) > 0) {
        g_readAheadLeft.fetch_sub(1, std::memory_order_relaxed);
        ::posix_fadvise(from, 0, size, POSIX_FADV_WILLNEED);
    }
}

CopyFailure copyRange(int from, int to, off_t offset, off_t end, const CopyProgress& progress,
                      ContentHash* hash)
{
    // A short range hashed is cheapest read once into a buffer of ours.
    if (hash && end - offset < kKernelRange)
        return copyByReading(from, to, offset, end, progress, hash);
    reserveBlocks(to, offset, end);
    bool fallback = false;
    if (CopyFailure failure = copyByKernel(from, to, offset, end, progress, hash, fallback))
        return failure;
    return fallback ? copyByReading(from, to, offset, end, progress, hash) : CopyFailure{};
}

} // namespace tarvik::minicmd
