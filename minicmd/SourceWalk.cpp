#include "minicmd/SourceWalk.h"

#include "minicmd/Console.h"
#include "minicmd/CopyQueue.h"
#include "minicmd/Folders.h"
#include "minicmd/Interruption.h"
#include "minicmd/WalkHelper.h"
#include "minicmd/Wildcard.h"
#include "minicmd/XcopyLine.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

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
            m_helper = std::make_unique<WalkHelper>([this](Listing& listing) { prepare(listing); });
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
        if (::fstat(root.fd, &info) == 0) {
            root.mode = info.st_mode;
            root.group = info.st_gid;
        }
        m_folderModes.push_back({root.mode, root.group});
        for (const auto& copier : m_copiers)
            copier->sourceRoot(m_folderModes.back());
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
            if (::fstat(listing.fd, &info) == 0) {
                listing.mode = info.st_mode;
                listing.group = info.st_gid;
            }
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
            m_folderModes.push_back({sub->mode, sub->group});
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
    const XcopyRequest& m_request;           // the first line's; the others differ in the mask only
    std::vector<SourceFolder> m_folderModes; // of the source folders being walked, root first
    int m_sharedTarget = -1;                 // the target of the folder being walked
    Look m_later;                            // a batch of a large folder after its first
    std::unique_ptr<CopyQueue> m_queue;      // none when copies wait for answers
    std::unique_ptr<WalkHelper> m_helper;    // likewise
};

} // namespace

void walkSource(std::vector<XcopyLine*> lines, Console& console)
{
    Walk(std::move(lines), console).run();
}

} // namespace tarvik::minicmd
