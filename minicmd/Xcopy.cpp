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
#include <deque>
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

// One stat per entry: a link is followed (a link to a file is copied as the
// file), anything else is looked at as it is. 0, or why it failed.
int statusOf(int folderFd, const Entry& entry, struct stat& info)
{
    const int flags = entry.type == DT_LNK ? 0 : AT_SYMLINK_NOFOLLOW;
    return ::fstatat(folderFd, entry.name.c_str(), &info, flags) == 0 ? 0 : errno;
}

// What is known of an entry before its turn.
struct Sighting
{
    std::size_t matchesFrom = 0, matchesTo = 0; // its lines, in Look::matches
    bool wanted = false; // its status is needed: a line may take it, or it may be a folder
    int error = 0;
    struct stat info
    {};
};

// What is known of a batch of a folder's entries before their turn: the lines
// each matches and the status of each that needs one. The status calls are
// taken one at a time from a common count, by the walk and its helper alike,
// so that a helper kept waiting for a processor never keeps the walk waiting
// for more than the call in hand.
struct Look
{
    int folderFd = -1;
    const Entry* entries = nullptr;  // the batch's first
    std::vector<XcopyLine*> matches; // the lines each entry matches, in turn
    std::vector<Sighting> seen;      // one an entry of the batch
    std::vector<std::size_t> wanted; // the entries whose status is needed
    std::atomic<std::size_t> next = 0;

    void takeTurns()
    {
        for (std::size_t index; (index = next.fetch_add(1)) < wanted.size();) {
            Sighting& sighting = seen[wanted[index]];
            sighting.error = statusOf(folderFd, entries[wanted[index]], sighting.info);
        }
    }
};

// A folder opened and listed, its first batch looked at. A sub-folder is made
// ready this way by the walk's helper while the walk is busy with the one
// before it.
struct Listing
{
    int parentFd = -1; // of a sub-folder: its parent, open
    std::string name;  // of a sub-folder: its name there
    int fd = -1;       // the folder, once open
    int openError = 0; // why it could not be opened
    mode_t mode = 0755;
    std::vector<Entry> entries; // sorted
    bool listed = false;        // its names could be read, but for listError
    int listError = 0;
    Look first; // of its first entries

    // Between the walk and its helper, under the helper's lock.
    enum class Stage
    {
        Kept, // never handed over
        Queued,
        Listing,
        Listed
    } stage = Stage::Kept;
    bool helperHolds = false; // the helper is still at it
};

// A thread of the walk's own. On a tree of small files the walk is mostly
// listing folders and taking the status of every entry, and while few of them
// are copied the second processor has little else to do: the helper lists the
// next sub-folders while the walk is busy with the one before, and takes its
// share of the status calls of a large folder. It starts with the first work
// worth handing over.
class Helper
{
  public:
    explicit Helper(std::function<void(Listing&)> prepare) : m_prepare(std::move(prepare)) {}
    ~Helper()
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
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    // Hands `listing` over to be made ready before its turn.
    void post(Listing& listing)
    {
        start();
        {
            const std::lock_guard lock(m_mutex);
            listing.stage = Listing::Stage::Queued;
            m_queue.push_back(&listing);
        }
        m_changed.notify_all();
    }

    // Returns once `listing` is ready for its turn: made ready here when the
    // helper has not started on it, else with its status calls shared.
    void receive(Listing& listing)
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

    // Takes `listing` back before its turn; returns once the helper let go
    // of it.
    void withdraw(Listing& listing)
    {
        std::unique_lock lock(m_mutex);
        std::erase(m_queue, &listing);
        m_changed.wait(lock, [&] { return !listing.helperHolds; });
    }

    // Takes the status calls of `look`, shared with the helper when there are
    // enough of them: for a few dozen, the wake and the wait for it cost more
    // than half the calls.
    void share(Look& look)
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

  private:
    void start()
    {
        if (!m_thread.joinable()) {
            const QuietThreads quiet;
            m_thread = std::thread([this] { run(); });
        }
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (std::uint64_t served = 0;;) {
            m_changed.wait(lock, [&] {
                return m_stopping || (m_open && m_opened != served) || !m_queue.empty();
            });
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

    const std::function<void(Listing&)> m_prepare;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Listing*> m_queue; // listings to make ready, in the order handed over
    Look* m_open = nullptr;       // the batch the walk is taking calls from, if any
    std::uint64_t m_opened = 0;   // counts the batches opened
    bool m_helpingOpen = false;   // the helper is taking calls from the open batch
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
            m_helper = std::make_unique<Helper>([this](Listing& listing) { prepare(listing); });
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
        Listing root;
        root.fd = ::open(m_request.sourceFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root.fd < 0) {
            fail("Cannot read folder " + m_request.sourceFolder, errno);
            return;
        }
        struct stat info
        {};
        root.mode = ::fstat(root.fd, &info) == 0 ? info.st_mode : 0755;
        m_folderModes.push_back(root.mode);
        for (const auto& copier : m_copiers)
            copier->sourceRootMode(root.mode);
        receive(root);
        ::close(walk(root, ""));
        drain();
    }

  private:
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

    // Opens a sub-folder, reads its names and finds the lines its first
    // entries match. Runs on the walk's helper as well: what goes wrong is
    // kept for the walk to tell in its turn.
    void prepare(Listing& listing) const
    {
        if (listing.parentFd >= 0) {
            listing.fd = ::openat(listing.parentFd, listing.name.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (listing.fd < 0) {
                listing.openError = errno;
                return;
            }
            struct stat info
            {};
            listing.mode = ::fstat(listing.fd, &info) == 0 ? info.st_mode : 0755;
        }
        readEntries(listing);
        if (listing.listed)
            lookAt(listing, 0, listing.first);
    }

    // Reads the names in the folder, sorted.
    static void readEntries(Listing& listing)
    {
        const int duplicate = ::fcntl(listing.fd, F_DUPFD_CLOEXEC, 0);
        DIR* folder = duplicate < 0 ? nullptr : ::fdopendir(duplicate);
        if (!folder) {
            listing.listError = errno;
            if (duplicate >= 0)
                ::close(duplicate);
            return;
        }
        listing.listed = true;
        errno = 0;
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..")
                listing.entries.push_back({std::string(name), entry->d_type});
        }
        listing.listError = errno;
        ::closedir(folder);
        std::sort(listing.entries.begin(), listing.entries.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });
    }

    // Finds the lines each entry of the batch from `first` matches, and which
    // of them need a status.
    void lookAt(const Listing& listing, std::size_t first, Look& look) const
    {
        const std::size_t last = std::min(listing.entries.size(), first + kBatch);
        look.folderFd = listing.fd;
        look.entries = listing.entries.data() + first;
        look.matches.clear();
        look.seen.assign(last - first, {});
        look.wanted.clear();
        look.next = 0;
        for (std::size_t index = first; index < last; ++index) {
            const Entry& entry = listing.entries[index];
            Sighting& seen = look.seen[index - first];
            if (entry.type == DT_DIR)
                continue;
            seen.matchesFrom = look.matches.size();
            for (XcopyLine* copier : m_copiers)
                if (matchesMask(entry.name, copier->request().mask))
                    look.matches.push_back(copier);
            seen.matchesTo = look.matches.size();
            seen.wanted = seen.matchesTo > seen.matchesFrom ||
                          (entry.type == DT_UNKNOWN && m_request.subfolders);
            if (seen.wanted)
                look.wanted.push_back(index - first);
        }
    }

    // Makes `listing` ready for its turn: from the helper, or here. The
    // status calls are taken before the turn when no question waits on a
    // file.
    void receive(Listing& listing)
    {
        if (m_helper) {
            m_helper->receive(listing);
        } else {
            prepare(listing);
        }
    }

    // Copies what the folder holds, then walks its sub-folders. Returns the
    // folder's descriptor for the caller to close (-1 when it was lost).
    // Below kHeldLevels a folder lets go of its descriptor while its
    // sub-folders are walked and finds itself again through "..", so that a
    // tree of any depth needs a few open files only.
    int walk(Listing& folder, const std::string& relative)
    {
        const std::string path = joinPath(m_request.sourceFolder, relative);
        if (!folder.listed) {
            fail("Cannot read folder " + path, folder.listError);
            return folder.fd;
        }
        if (folder.listError != 0)
            fail("Cannot read folder " + path, folder.listError);

        m_console.folder(path);
        std::vector<std::string> subfolders;
        for (std::size_t first = 0; first < folder.entries.size(); first += kBatch) {
            Look* look = &folder.first;
            if (first > 0) {
                look = &m_later;
                lookAt(folder, first, m_later);
                if (m_helper)
                    m_helper->share(m_later);
            }
            for (std::size_t index = 0; index < look->seen.size(); ++index)
                visit(folder.fd, relative, folder.entries[first + index], *look, look->seen[index],
                      subfolders);
        }
        // Copies into this folder may go on while the next is walked: each
        // holds its own target and its place in the record.
        for (const auto& copier : m_copiers)
            copier->leaveFolder();
        if (m_sharedTarget >= 0)
            ::close(m_sharedTarget);
        m_sharedTarget = -1;
        return walkSubfolders(folder.fd, relative, subfolders);
    }

    int walkSubfolders(int folderFd, const std::string& relative,
                       const std::vector<std::string>& subfolders)
    {
        // A folder that lets go of its descriptor lists its sub-folders one at a time.
        const bool letGo = m_folderModes.size() >= kHeldLevels;
        // The sub-folders after this one, handed to the helper.
        std::deque<std::unique_ptr<Listing>> ahead;
        for (std::size_t index = 0; index < subfolders.size(); ++index) {
            const std::string& name = subfolders[index];
            std::unique_ptr<Listing> sub;
            if (ahead.empty()) {
                sub = subfolder(folderFd, name);
            } else {
                sub = std::move(ahead.front());
                ahead.pop_front();
            }
            for (std::size_t after = index + 1 + ahead.size();
                 m_helper && !letGo && ahead.size() < kAhead && after < subfolders.size();
                 ++after) {
                ahead.push_back(subfolder(folderFd, subfolders[after]));
                m_helper->post(*ahead.back());
            }
            receive(*sub);
            if (sub->fd < 0) {
                // A folder swapped for a link meanwhile is not followed either.
                if (sub->openError != ELOOP && sub->openError != ENOTDIR)
                    fail("Cannot read folder " + joinPath(m_request.sourceFolder, relative + name),
                         sub->openError);
                continue;
            }
            m_folderModes.push_back(sub->mode);
            struct stat self
            {};
            if (letGo && ::fstat(folderFd, &self) == 0) {
                ::close(folderFd);
                folderFd = -1;
            }
            const int subFd = walk(*sub, relative + name + "/");
            m_folderModes.pop_back();
            if (folderFd < 0)
                folderFd = parentOf(subFd, self, relative);
            if (subFd >= 0)
                ::close(subFd);
            if (folderFd < 0)
                break;
        }
        // Nothing is handed over ahead where the descriptor can be lost; the
        // helper is let go of what is, all the same.
        for (const auto& listing : ahead) {
            m_helper->withdraw(*listing);
            if (listing->fd >= 0)
                ::close(listing->fd);
        }
        return folderFd;
    }

    static std::unique_ptr<Listing> subfolder(int parentFd, const std::string& name)
    {
        auto listing = std::make_unique<Listing>();
        listing->parentFd = parentFd;
        listing->name = name;
        return listing;
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

    void visit(int folderFd, const std::string& relative, const Entry& entry, const Look& look,
               Sighting& seen, std::vector<std::string>& subfolders)
    {
        if (interruptingSignal())
            return;
        if (entry.type == DT_DIR) {
            if (m_request.subfolders)
                subfolders.push_back(entry.name);
            return;
        }
        const std::span<XcopyLine* const> matching(look.matches.data() + seen.matchesFrom,
                                                   seen.matchesTo - seen.matchesFrom);
        const bool matches = !matching.empty();
        if (!seen.wanted)
            return;

        // Taken here only when the walk looks at each file in its turn.
        struct stat& info = seen.info;
        if (!m_helper)
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
    // Sub-folders of one folder handed to the helper ahead of their turn.
    static constexpr std::size_t kAhead = 2;

    std::vector<XcopyLine*> m_copiers;
    Console& m_console;
    const XcopyRequest& m_request;      // the first line's; the others differ in the mask only
    std::vector<mode_t> m_folderModes;  // of the source folders being walked, root first
    int m_sharedTarget = -1;            // the target of the folder being walked
    Look m_later;                       // a batch of a large folder after its first
    std::unique_ptr<CopyQueue> m_queue; // none when copies wait for answers
    std::unique_ptr<Helper> m_helper;   // likewise
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
