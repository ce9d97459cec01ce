#include "minicmd/Xcopy.h"

#include "minicmd/Console.h"
#include "minicmd/CopyQueue.h"
#include "minicmd/FileCopy.h"
#include "minicmd/Folders.h"
#include "minicmd/Interruption.h"
#include "minicmd/Wildcard.h"
#include "minicmd/XcopyLine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

struct Entry
{
    std::string name;
    unsigned char type;
};

// Shares a batch of calls between the walk and a thread of its own. On a tree
// of small files the walk is mostly the status of every entry, and while few
// of them are copied the second processor has little else to do. The calls
// are taken one at a time from a common count, so a helper kept waiting for
// a processor never keeps the walk waiting for more than the call in hand.
class SharedCalls
{
  public:
    SharedCalls() = default;
    ~SharedCalls()
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
    SharedCalls(const SharedCalls&) = delete;
    SharedCalls& operator=(const SharedCalls&) = delete;

    // Calls `call` once with every index below `count`; returns when all
    // calls are done. A folder of a few dozen entries is not worth waking the
    // helper for: the wake and the wait for it cost more than half its calls.
    void callAll(std::size_t count, const std::function<void(std::size_t)>& call)
    {
        constexpr std::size_t kWorthSharing = 64;
        if (count < kWorthSharing) {
            for (std::size_t index = 0; index < count; ++index)
                call(index);
            return;
        }
        // The helper starts with the first batch worth it: a tree of small
        // folders never needs one.
        if (!m_thread.joinable()) {
            const QuietThreads quiet;
            m_thread = std::thread([this] { run(); });
        }
        {
            const std::lock_guard lock(m_mutex);
            m_call = &call;
            m_count = count;
            m_next = 0;
            ++m_batch;
        }
        m_changed.notify_all();
        takeTurns(call, count);
        std::unique_lock lock(m_mutex);
        m_call = nullptr;
        m_changed.wait(lock, [this] { return !m_helping; });
    }

  private:
    void takeTurns(const std::function<void(std::size_t)>& call, std::size_t count)
    {
        for (std::size_t index; (index = m_next.fetch_add(1)) < count;)
            call(index);
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (std::uint64_t served = 0;;) {
            m_changed.wait(lock, [&] { return m_stopping || (m_call && m_batch != served); });
            if (m_stopping)
                return;
            served = m_batch;
            m_helping = true;
            const auto& call = *m_call;
            const std::size_t count = m_count;
            lock.unlock();
            takeTurns(call, count);
            lock.lock();
            m_helping = false;
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::function<void(std::size_t)>* m_call = nullptr; // the open batch, if any
    std::size_t m_count = 0;
    std::uint64_t m_batch = 0; // counts the batches opened
    std::atomic<std::size_t> m_next = 0;
    bool m_helping = false; // the helper is taking calls from the open batch
    bool m_stopping = false;
    std::thread m_thread;
};

// One walk of a source tree for every line that shares it: each folder is
// listed once and each entry looked at once, then offered to every line whose
// mask it matches, in the order of the lines.
class Walk
{
  public:
    Walk(std::vector<XcopyLine*> copiers, Console& console)
        : m_copiers(std::move(copiers)), m_console(console), m_request(m_copiers.front()->request())
    {
        // Questions about overwriting are asked one file at a time, each
        // file looked at when its turn comes.
        if (!console.interactive()) {
            m_queue = std::make_unique<CopyQueue>();
            m_sharedCalls = std::make_unique<SharedCalls>();
            for (XcopyLine* copier : m_copiers)
                copier->copyWith(m_queue.get());
        }
    }
    ~Walk()
    {
        for (XcopyLine* copier : m_copiers)
            copier->copyWith(nullptr);
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    void run()
    {
        const int root = ::open(m_request.sourceFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root < 0) {
            fail("Cannot read folder " + m_request.sourceFolder, errno);
            return;
        }
        struct stat info
        {};
        m_folderModes.push_back(::fstat(root, &info) == 0 ? info.st_mode : 0755);
        for (const auto& copier : m_copiers)
            copier->sourceRootMode(m_folderModes.front());
        ::close(walk(root, ""));
        drain();
    }

  private:
    // What is known of an entry of the batch before its turn.
    struct Sighting
    {
        std::size_t matchesFrom = 0, matchesTo = 0; // its lines, in m_matches
        bool wanted = false; // its status is needed: a line may take it, or it may be a folder
        int error = 0;
        struct stat info
        {};
    };

    void drain()
    {
        if (m_queue)
            m_queue->drain();
    }

    // Whatever keeps the tree from being read fails every line alike.
    void fail(const std::string& what, int code)
    {
        for (const auto& copier : m_copiers)
            copier->fail(what, code);
    }

    // Reads the names in the folder open as `folderFd`, sorted; false after
    // telling why it cannot be read.
    bool readEntries(int folderFd, const std::string& relative, std::vector<Entry>& entries)
    {
        const int listing = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
        DIR* folder = listing < 0 ? nullptr : ::fdopendir(listing);
        if (!folder) {
            fail("Cannot read folder " + joinPath(m_request.sourceFolder, relative), errno);
            if (listing >= 0)
                ::close(listing);
            return false;
        }
        errno = 0;
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..")
                entries.push_back({std::string(name), entry->d_type});
        }
        if (errno != 0)
            fail("Cannot read folder " + joinPath(m_request.sourceFolder, relative), errno);
        ::closedir(folder);
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });
        return true;
    }

    // Copies what the folder open as `folderFd` holds, then walks its
    // sub-folders. Returns the folder's descriptor for the caller to close
    // (-1 when it was lost). Below kHeldLevels a folder lets go of its
    // descriptor while its sub-folders are walked and finds itself again
    // through "..", so that a tree of any depth needs a few open files only.
    int walk(int folderFd, const std::string& relative)
    {
        std::vector<Entry> entries;
        if (!readEntries(folderFd, relative, entries))
            return folderFd;

        m_console.folder(joinPath(m_request.sourceFolder, relative));
        std::vector<std::string> subfolders;
        for (std::size_t first = 0; first < entries.size(); first += kBatch) {
            const std::size_t last = std::min(entries.size(), first + kBatch);
            lookAhead(folderFd, entries, first, last);
            for (std::size_t index = first; index < last; ++index)
                visit(folderFd, relative, entries[index], m_batch[index - first], subfolders);
        }
        // Copies into this folder may go on while the next is walked: each
        // holds its own target and its place in the record.
        for (const auto& copier : m_copiers)
            copier->leaveFolder();
        if (m_sharedTarget >= 0)
            ::close(m_sharedTarget);
        m_sharedTarget = -1;

        for (const std::string& name : subfolders) {
            int sub =
                ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                // A folder swapped for a link meanwhile is not followed either.
                if (errno != ELOOP && errno != ENOTDIR)
                    fail("Cannot read folder " + joinPath(m_request.sourceFolder, relative + name),
                         errno);
                continue;
            }
            struct stat info
            {};
            m_folderModes.push_back(::fstat(sub, &info) == 0 ? info.st_mode : 0755);
            const bool letGo = m_folderModes.size() > kHeldLevels;
            struct stat self
            {};
            if (letGo && ::fstat(folderFd, &self) == 0) {
                ::close(folderFd);
                folderFd = -1;
            }
            sub = walk(sub, relative + name + "/");
            m_folderModes.pop_back();
            if (folderFd < 0)
                folderFd = parentOf(sub, self, relative);
            if (sub >= 0)
                ::close(sub);
            if (folderFd < 0)
                return -1;
        }
        return folderFd;
    }

    // The folder above the one open as `childFd`, when it is still the one
    // `expected` describes; -1 (told once) when the tree was moved meanwhile.
    int parentOf(int childFd, const struct stat& expected, const std::string& relative)
    {
        int parent = -1;
        if (childFd >= 0)
            parent = ::openat(childFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat found
        {};
        if (parent >= 0 && ::fstat(parent, &found) == 0 && found.st_dev == expected.st_dev &&
            found.st_ino == expected.st_ino)
            return parent;
        if (parent >= 0)
            ::close(parent);
        if (childFd >= 0) {
            for (const auto& copier : m_copiers)
                copier->failWith("Cannot read folder " +
                                 joinPath(m_request.sourceFolder, relative) +
                                 ": it was moved while it was copied");
        }
        return -1;
    }

    // Finds the lines each entry of [first, last) matches and, when no
    // question waits on a file, the status of each entry that needs one.
    void lookAhead(int folderFd, const std::vector<Entry>& entries, std::size_t first,
                   std::size_t last)
    {
        m_matches.clear();
        m_batch.assign(last - first, {});
        m_wanted.clear();
        for (std::size_t index = first; index < last; ++index) {
            const Entry& entry = entries[index];
            Sighting& seen = m_batch[index - first];
            if (entry.type == DT_DIR)
                continue;
            seen.matchesFrom = m_matches.size();
            for (XcopyLine* copier : m_copiers)
                if (matchesMask(entry.name, copier->request().mask))
                    m_matches.push_back(copier);
            seen.matchesTo = m_matches.size();
            seen.wanted = seen.matchesTo > seen.matchesFrom ||
                          (entry.type == DT_UNKNOWN && m_request.subfolders);
            if (seen.wanted)
                m_wanted.push_back(index - first);
        }
        if (!m_sharedCalls)
            return;
        m_sharedCalls->callAll(m_wanted.size(), [&](std::size_t wanted) {
            Sighting& seen = m_batch[m_wanted[wanted]];
            const Entry& entry = entries[first + m_wanted[wanted]];
            seen.error = statusOf(folderFd, entry, seen.info);
        });
    }

    // One stat per entry: a link is followed (a link to a file is copied as
    // the file), anything else is looked at as it is. 0, or why it failed.
    static int statusOf(int folderFd, const Entry& entry, struct stat& info)
    {
        const int flags = entry.type == DT_LNK ? 0 : AT_SYMLINK_NOFOLLOW;
        return ::fstatat(folderFd, entry.name.c_str(), &info, flags) == 0 ? 0 : errno;
    }

    void visit(int folderFd, const std::string& relative, const Entry& entry, Sighting& seen,
               std::vector<std::string>& subfolders)
    {
        if (interruptingSignal())
            return;
        if (entry.type == DT_DIR) {
            if (m_request.subfolders)
                subfolders.push_back(entry.name);
            return;
        }
        const std::span<XcopyLine* const> matching(m_matches.data() + seen.matchesFrom,
                                                   seen.matchesTo - seen.matchesFrom);
        const bool matches = !matching.empty();
        if (!seen.wanted)
            return;

        // Taken here only when the walk looks at each file in its turn.
        struct stat& info = seen.info;
        if (!m_sharedCalls)
            seen.error = statusOf(folderFd, entry, info);
        const std::string sourcePath = joinPath(m_request.sourceFolder, relative + entry.name);
        if (seen.error != 0) {
            for (XcopyLine* copier : matching)
                copier->fail("Cannot read " + sourcePath, seen.error);
            return;
        }
        bool viaLink = entry.type == DT_LNK;
        if (S_ISLNK(info.st_mode)) {
            if (!matches)
                return;
            viaLink = true;
            if (::fstatat(folderFd, entry.name.c_str(), &info, 0) != 0) {
                const int code = errno;
                for (XcopyLine* copier : matching)
                    copier->fail("Cannot read " + sourcePath, code);
                return;
            }
        }
        if (S_ISDIR(info.st_mode)) {
            if (!viaLink && m_request.subfolders)
                subfolders.push_back(entry.name);
            return;
        }
        if (!S_ISREG(info.st_mode))
            return;
        for (XcopyLine* copier : matching) {
            // A file two masks match is copied again over the first copy.
            if (copier != matching.front())
                drain();
            if (!interruptingSignal())
                copier->take(folderFd, relative, entry.name, info, sourcePath, m_folderModes,
                             m_sharedTarget);
        }
    }

    // Source folders held open at once, at most; deeper ones are found again.
    static constexpr std::size_t kHeldLevels = 64;
    // Entries looked ahead at once: a folder of any size costs a bounded
    // amount of memory.
    static constexpr std::size_t kBatch = 256;

    std::vector<XcopyLine*> m_copiers;
    Console& m_console;
    const XcopyRequest& m_request;     // the first line's; the others differ in the mask only
    std::vector<mode_t> m_folderModes; // of the source folders being walked, root first
    int m_sharedTarget = -1;           // the target of the folder being walked
    std::vector<XcopyLine*> m_matches; // the lines each entry of the batch matches, in turn
    std::vector<Sighting> m_batch;
    std::vector<std::size_t> m_wanted;          // the entries of the batch whose status is needed
    std::unique_ptr<CopyQueue> m_queue;         // none when copies wait for answers
    std::unique_ptr<SharedCalls> m_sharedCalls; // likewise
};

} // namespace

bool sharesWalk(const XcopyRequest& a, const XcopyRequest& b)
{
    return a.sourceFolder == b.sourceFolder && a.destination == b.destination &&
           a.subfolders == b.subfolders && a.since == b.since;
}

void runXcopies(const std::vector<XcopyRequest>& requests, Console& console,
                const ScriptFolders* folders, const XcopyTurns& turns)
{
    // Only the line that speaks at once may ask a question.
    if (console.interactive() && requests.size() > 1) {
        for (std::size_t index = 0; index < requests.size(); ++index)
            runXcopies({requests[index]}, console, folders,
                       {[&](std::size_t) {
                            if (turns.start)
                                turns.start(index);
                        },
                        [&](std::size_t, int failures, bool matched) {
                            if (turns.end)
                                turns.end(index, failures, matched);
                        }});
        return;
    }
    if (turns.start)
        turns.start(0);
    std::vector<std::unique_ptr<XcopyLine>> copiers;
    std::vector<XcopyLine*> walking; // the lines not refused
    for (std::size_t index = 0; index < requests.size(); ++index) {
        copiers.push_back(
            std::make_unique<XcopyLine>(requests[index], console, folders, index > 0));
        if (copiers.back()->start())
            walking.push_back(copiers.back().get());
    }
    if (!walking.empty())
        Walk(walking, console).run();
    console.idle();
    for (std::size_t index = 0; index < copiers.size(); ++index) {
        XcopyLine& copier = *copiers[index];
        if (index > 0 && turns.start)
            turns.start(index);
        // Losing what a line said would hide what it did.
        if (!copier.out().release())
            copier.failWith("Part of what this copy did was not told: a temporary file failed");
        copier.finish(std::find(walking.begin(), walking.end(), &copier) != walking.end());
        if (turns.end)
            turns.end(index, copier.failures(), copier.matchedAny());
    }
}

int runXcopy(const XcopyRequest& request, Console& console, const ScriptFolders* folders,
             bool* matched)
{
    int failures = 0;
    runXcopies({request}, console, folders, {{}, [&](std::size_t, int failed, bool any) {
                                                 failures = failed;
                                                 if (matched)
                                                     *matched = any;
                                             }});
    return failures;
}

} // namespace tarvik::minicmd
