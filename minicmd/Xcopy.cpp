#include "minicmd/Xcopy.h"

#include "minicmd/Console.h"
#include "minicmd/Destination.h"
#include "minicmd/FileCopy.h"
#include "minicmd/Folders.h"
#include "minicmd/Interruption.h"
#include "minicmd/LineOutput.h"
#include "minicmd/TargetRecord.h"
#include "minicmd/Wildcard.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

struct Entry
{
    std::string name;
    unsigned char type;
};

// One xcopy line: what it refuses, copies and counts, and what it says.
class Copier
{
  public:
    Copier(const XcopyRequest& request, Console& console, const ScriptFolders* folders,
           bool deferred)
        : m_request(request), m_out(console, deferred), m_folders(folders),
          m_destinations(request.destination)
    {}

    const XcopyRequest& request() const { return m_request; }
    LineOutput& out() { return m_out; }
    int failures() const { return m_failures; }
    bool matchedAny() const { return m_matchedAny; }

    // False (after saying why) when the line copies nothing at all.
    bool start()
    {
        std::string refusal = cyclicRefusal();
        if (refusal.empty() && m_folders)
            refusal = m_folders->refusalFor(m_request.destination);
        if (refusal.empty())
            refusal = m_destinations.refusal();
        // A target folder the script made belongs to one source only.
        m_target = m_folders && m_folders->vouchedFor(m_request.destination);
        if (refusal.empty() && m_target)
            refusal = claimTarget(resolvedPath(m_request.destination),
                                  resolvedPath(m_request.sourceFolder));
        if (refusal.empty())
            return true;
        m_out.error(refusal);
        ++m_failures;
        return false;
    }

    // The script's MD line made the target folder before this copy could
    // give it the source folder's bits.
    void sourceRootMode(mode_t mode) const
    {
        if (m_target)
            m_destinations.keepNoMoreOpenThan(mode);
    }

    void finish(bool walked)
    {
        if (walked && !m_matchedAny && m_failures == 0)
            m_out.line("File not found - " + m_request.mask);
        m_out.line(std::to_string(m_copied) + " File(s) copied");
    }

    void fail(const std::string& what, int code)
    {
        m_out.error(what + ": " + std::strerror(code));
        ++m_failures;
    }

    void failWith(const std::string& message)
    {
        m_out.error(message);
        ++m_failures;
    }

    void leaveFolder()
    {
        if (m_destinationFd >= 0)
            ::close(m_destinationFd);
        m_destinationFd = -1;
        m_destinationFailed = 0;
    }

    // A regular file of the folder open as `folderFd` that matches the mask.
    void take(int folderFd, const std::string& relative, const std::string& name,
              const struct stat& info, const std::string& sourcePath,
              const std::vector<mode_t>& folderModes)
    {
        m_matchedAny = true;
        if (m_request.since && info.st_mtime < *m_request.since) {
            m_out.leftOut();
            return;
        }
        // The temporary file of a copy (ours or a concurrent run's) is none
        // of the user's; a file of only that name is left out, and said.
        if (isTemporaryName(name)) {
            failWith("Skipped " + sourcePath + ": named like a temporary file of a copy");
            return;
        }
        const std::string destinationFolder = joinPath(m_request.destination, relative);
        if (m_destinationFd < 0) {
            // A folder that cannot be made fails every file meant for it;
            // the reason is told once, each file is named. A refused folder
            // is named once, and nothing goes into it.
            if (m_destinationFailed < 0)
                return;
            if (m_destinationFailed != 0) {
                fail("Cannot write " + joinPath(destinationFolder, name), m_destinationFailed);
                return;
            }
            const OpenedFolder opened = m_destinations.open(relative, folderModes);
            if (!opened.refusal.empty()) {
                if (!opened.quiet)
                    failWith(opened.refusal);
                m_destinationFailed = -1;
                return;
            }
            if (opened.fd < 0) {
                fail("Cannot create folder " + destinationFolder, opened.code);
                m_destinationFailed = opened.code;
                return;
            }
            m_destinationFd = opened.fd;
        }
        copyOne(folderFd, name, info, sourcePath, destinationFolder);
    }

  private:
    // A copy with sub-folders into its own source would copy its copies.
    std::string cyclicRefusal() const
    {
        const std::string source = resolvedPath(m_request.sourceFolder);
        const std::string destination = resolvedPath(m_request.destination);
        if (source.empty() || destination.empty())
            return {};
        if (destination == source)
            return "File cannot be copied onto itself";
        if (m_request.subfolders && (source == "/" || destination.starts_with(source + "/")))
            return "Cannot perform a cyclic copy";
        return {};
    }

    void copyOne(int folderFd, const std::string& name, const struct stat& info,
                 const std::string& sourcePath, const std::string& destinationFolder)
    {
        const std::string destinationPath = joinPath(destinationFolder, name);
        if (m_out.interactive() && !m_overwriteAll) {
            struct stat existing
            {};
            if (::fstatat(m_destinationFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
                const OverwriteAnswer answer = m_out.askOverwrite(destinationPath);
                if (answer == OverwriteAnswer::No)
                    return;
                if (answer == OverwriteAnswer::All)
                    m_overwriteAll = true;
            }
        }
        const int source =
            ::openat(folderFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (source < 0) {
            fail("Cannot read " + sourcePath, errno);
            return;
        }
        m_out.copying(sourcePath, static_cast<std::uint64_t>(info.st_size));
        CopiedFile copied;
        const CopyFailure failure = copyFileInto(
            source, info, m_destinationFd, name,
            [this](std::uint64_t done) { m_out.progress(done); }, &copied);
        ::close(source);
        if (failure) {
            if (failure.changed)
                m_out.error("Cannot copy " + sourcePath + ": " + failure.reason);
            else
                m_out.error("Cannot " + std::string(failure.reading ? "read " : "write ") +
                            (failure.reading ? sourcePath : destinationPath) + ": " +
                            failure.reason);
            ++m_failures;
            return;
        }
        ++m_copied;
        m_out.line(sourcePath);
        m_out.copied(destinationPath, copied, sourcePath.substr(0, sourcePath.rfind('/')));
    }

    const XcopyRequest& m_request;
    LineOutput m_out;
    const ScriptFolders* m_folders;
    DestinationFolders m_destinations;
    bool m_target = false;
    int m_failures = 0;
    long long m_copied = 0;
    bool m_matchedAny = false;
    bool m_overwriteAll = false;
    // The target of the folder being walked, or why there is none.
    int m_destinationFd = -1;
    int m_destinationFailed = 0;
};

// One walk of a source tree for every line that shares it: each folder is
// listed once and each entry looked at once, then offered to every line whose
// mask it matches, in the order of the lines.
class Walk
{
  public:
    Walk(std::vector<Copier*> copiers, Console& console)
        : m_copiers(std::move(copiers)), m_console(console), m_request(m_copiers.front()->request())
    {}

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
    }

  private:
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
        for (const Entry& entry : entries)
            visit(folderFd, relative, entry, subfolders);
        for (const auto& copier : m_copiers)
            copier->leaveFolder();

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

    void visit(int folderFd, const std::string& relative, const Entry& entry,
               std::vector<std::string>& subfolders)
    {
        if (interruptingSignal())
            return;
        if (entry.type == DT_DIR) {
            if (m_request.subfolders)
                subfolders.push_back(entry.name);
            return;
        }
        m_matching.clear();
        for (const auto& copier : m_copiers)
            if (matchesMask(entry.name, copier->request().mask))
                m_matching.push_back(copier);
        const bool matches = !m_matching.empty();
        const bool unknown = entry.type == DT_UNKNOWN;
        if (!matches && !(unknown && m_request.subfolders))
            return;

        // One stat per entry: a link is followed (a link to a file is copied
        // as the file), anything else is looked at as it is.
        struct stat info
        {};
        const int flags = entry.type == DT_LNK ? 0 : AT_SYMLINK_NOFOLLOW;
        const std::string sourcePath = joinPath(m_request.sourceFolder, relative + entry.name);
        if (::fstatat(folderFd, entry.name.c_str(), &info, flags) != 0) {
            const int code = errno;
            for (Copier* copier : m_matching)
                copier->fail("Cannot read " + sourcePath, code);
            return;
        }
        bool viaLink = entry.type == DT_LNK;
        if (S_ISLNK(info.st_mode)) {
            if (!matches)
                return;
            viaLink = true;
            if (::fstatat(folderFd, entry.name.c_str(), &info, 0) != 0) {
                const int code = errno;
                for (Copier* copier : m_matching)
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
        for (Copier* copier : m_matching)
            if (!interruptingSignal())
                copier->take(folderFd, relative, entry.name, info, sourcePath, m_folderModes);
    }

    // Source folders held open at once, at most; deeper ones are found again.
    static constexpr std::size_t kHeldLevels = 64;

    std::vector<Copier*> m_copiers;
    Console& m_console;
    const XcopyRequest& m_request;     // the first line's; the others differ in the mask only
    std::vector<mode_t> m_folderModes; // of the source folders being walked, root first
    std::vector<Copier*> m_matching;   // the lines the entry being looked at matches
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
    std::vector<std::unique_ptr<Copier>> copiers;
    std::vector<Copier*> walking; // the lines not refused
    for (std::size_t index = 0; index < requests.size(); ++index) {
        copiers.push_back(std::make_unique<Copier>(requests[index], console, folders, index > 0));
        if (copiers.back()->start())
            walking.push_back(copiers.back().get());
    }
    if (!walking.empty())
        Walk(walking, console).run();
    console.idle();
    for (std::size_t index = 0; index < copiers.size(); ++index) {
        Copier& copier = *copiers[index];
        if (index > 0 && turns.start)
            turns.start(index);
        copier.out().release();
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
