#include "minicmd/Xcopy.h"

#include "minicmd/Console.h"
#include "minicmd/Destination.h"
#include "minicmd/FileCopy.h"
#include "minicmd/Folders.h"
#include "minicmd/Interruption.h"
#include "minicmd/TargetRecord.h"
#include "minicmd/Wildcard.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isDateSwitch(std::string_view word)
{
    return word.size() >= 3 && word[0] == '/' && (word[1] == 'D' || word[1] == 'd') &&
           word[2] == ':';
}

struct Entry
{
    std::string name;
    unsigned char type;
};

class Copier
{
  public:
    Copier(const XcopyRequest& request, Console& console, const ScriptFolders* folders)
        : m_request(request), m_console(console), m_folders(folders),
          m_destinations(request.destination)
    {}

    int run()
    {
        std::string refusal = cyclicRefusal();
        if (refusal.empty() && m_folders)
            refusal = m_folders->refusalFor(m_request.destination);
        if (refusal.empty())
            refusal = m_destinations.refusal();
        // A target folder the script made belongs to one source only.
        const bool target = m_folders && m_folders->vouchedFor(m_request.destination);
        if (refusal.empty() && target)
            refusal = claimTarget(resolvedPath(m_request.destination),
                                  resolvedPath(m_request.sourceFolder));
        if (!refusal.empty()) {
            m_console.error(refusal);
            m_console.line("0 File(s) copied");
            return 1;
        }
        const int root = ::open(m_request.sourceFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root < 0) {
            fail("Cannot read folder " + m_request.sourceFolder, errno);
        } else {
            struct stat info
            {};
            m_folderModes.push_back(::fstat(root, &info) == 0 ? info.st_mode : 0755);
            // The script's MD line made the target folder before this copy
            // could give it the source folder's bits.
            if (target)
                m_destinations.keepNoMoreOpenThan(m_folderModes.front());
            ::close(walk(root, ""));
        }
        m_console.idle();
        if (!m_matchedAny && m_failures == 0)
            m_console.line("File not found - " + m_request.mask);
        m_console.line(std::to_string(m_copied) + " File(s) copied");
        return m_failures;
    }

    bool matchedAny() const { return m_matchedAny; }

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

    void fail(const std::string& what, int code)
    {
        m_console.error(what + ": " + std::strerror(code));
        ++m_failures;
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
        int destinationFd = -1;
        int destinationFailed = 0;
        for (const Entry& entry : entries)
            visit(folderFd, relative, entry, subfolders, destinationFd, destinationFailed);
        if (destinationFd >= 0)
            ::close(destinationFd);

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
            m_console.error("Cannot read folder " + joinPath(m_request.sourceFolder, relative) +
                            ": it was moved while it was copied");
            ++m_failures;
        }
        return -1;
    }

    void visit(int folderFd, const std::string& relative, const Entry& entry,
               std::vector<std::string>& subfolders, int& destinationFd, int& destinationFailed)
    {
        if (interruptingSignal())
            return;
        if (entry.type == DT_DIR) {
            if (m_request.subfolders)
                subfolders.push_back(entry.name);
            return;
        }
        const bool matches = matchesMask(entry.name, m_request.mask);
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
            if (matches)
                fail("Cannot read " + sourcePath, errno);
            return;
        }
        bool viaLink = entry.type == DT_LNK;
        if (S_ISLNK(info.st_mode)) {
            if (!matches)
                return;
            viaLink = true;
            if (::fstatat(folderFd, entry.name.c_str(), &info, 0) != 0) {
                fail("Cannot read " + sourcePath, errno);
                return;
            }
        }
        if (S_ISDIR(info.st_mode)) {
            if (!viaLink && m_request.subfolders)
                subfolders.push_back(entry.name);
            return;
        }
        if (!matches || !S_ISREG(info.st_mode))
            return;
        m_matchedAny = true;
        if (m_request.since && info.st_mtime < *m_request.since) {
            m_console.leftOut();
            return;
        }
        // The temporary file of a copy (ours or a concurrent run's) is none
        // of the user's; a file of only that name is left out, and said.
        if (isTemporaryName(entry.name)) {
            m_console.error("Skipped " + sourcePath + ": named like a temporary file of a copy");
            ++m_failures;
            return;
        }

        const std::string destinationFolder = joinPath(m_request.destination, relative);
        if (destinationFd < 0) {
            // A folder that cannot be made fails every file meant for it;
            // the reason is told once, each file is named. A refused folder
            // is named once, and nothing goes into it.
            if (destinationFailed < 0)
                return;
            if (destinationFailed != 0) {
                fail("Cannot write " + joinPath(destinationFolder, entry.name), destinationFailed);
                return;
            }
            const OpenedFolder opened = m_destinations.open(relative, m_folderModes);
            if (!opened.refusal.empty()) {
                if (!opened.quiet) {
                    m_console.error(opened.refusal);
                    ++m_failures;
                }
                destinationFailed = -1;
                return;
            }
            if (opened.fd < 0) {
                fail("Cannot create folder " + destinationFolder, opened.code);
                destinationFailed = opened.code;
                return;
            }
            destinationFd = opened.fd;
        }
        copyOne(folderFd, entry.name, info, sourcePath, destinationFd, destinationFolder);
    }

    void copyOne(int folderFd, const std::string& name, const struct stat& info,
                 const std::string& sourcePath, int destinationFd,
                 const std::string& destinationFolder)
    {
        const std::string destinationPath = joinPath(destinationFolder, name);
        if (m_console.interactive() && !m_overwriteAll) {
            struct stat existing
            {};
            if (::fstatat(destinationFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
                const OverwriteAnswer answer = m_console.askOverwrite(destinationPath);
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
        m_console.copying(sourcePath, static_cast<std::uint64_t>(info.st_size));
        CopiedFile copied;
        const CopyFailure failure = copyFileInto(
            source, info, destinationFd, name,
            [this](std::uint64_t done) { m_console.progress(done); }, &copied);
        ::close(source);
        if (failure) {
            if (failure.changed)
                m_console.error("Cannot copy " + sourcePath + ": " + failure.reason);
            else
                m_console.error("Cannot " + std::string(failure.reading ? "read " : "write ") +
                                (failure.reading ? sourcePath : destinationPath) + ": " +
                                failure.reason);
            ++m_failures;
            return;
        }
        ++m_copied;
        m_console.line(sourcePath);
        m_console.copied(destinationPath, copied, sourcePath.substr(0, sourcePath.rfind('/')));
    }

    // Source folders held open at once, at most; deeper ones are found again.
    static constexpr std::size_t kHeldLevels = 64;

    const XcopyRequest& m_request;
    Console& m_console;
    const ScriptFolders* m_folders;
    DestinationFolders m_destinations;
    int m_failures = 0;
    long long m_copied = 0;
    bool m_matchedAny = false;
    bool m_overwriteAll = false;
    std::vector<mode_t> m_folderModes; // of the source folders being walked, root first
};

} // namespace

std::optional<std::time_t> parseXcopyDate(std::string_view text)
{
    int parts[3];
    const char* cursor = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (cursor == end || *cursor != '-')
                return std::nullopt;
            ++cursor;
        }
        const auto [next, error] = std::from_chars(cursor, end, parts[i]);
        if (error != std::errc() || next == cursor || *cursor == '+' || *cursor == '-')
            return std::nullopt;
        cursor = next;
    }
    const int month = parts[0], day = parts[1], year = parts[2];
    if (cursor != end || month < 1 || month > 12 || day < 1 || year < 1 || year > 99999)
        return std::nullopt;
    static const int lengths[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > lengths[month - 1] || (month == 2 && day == 29 && !leap))
        return std::nullopt;
    std::tm midnight{};
    midnight.tm_year = year - 1900;
    midnight.tm_mon = month - 1;
    midnight.tm_mday = day;
    midnight.tm_isdst = -1;
    const std::time_t when = std::mktime(&midnight);
    if (when == static_cast<std::time_t>(-1))
        return std::nullopt;
    return when;
}

std::variant<XcopyRequest, std::string> parseXcopy(const std::vector<std::string>& arguments)
{
    XcopyRequest request;
    std::vector<std::string> words = arguments;
    bool dateSeen = false;
    while (!words.empty()) {
        const std::string& last = words.back();
        if (!request.subfolders && equalsIgnoringCase(last, "/S")) {
            request.subfolders = true;
        } else if (!dateSeen && isDateSwitch(last)) {
            request.since = parseXcopyDate(std::string_view(last).substr(3));
            if (!request.since)
                return "Invalid parameter - " + last;
            dateSeen = true;
        } else {
            break;
        }
        words.pop_back();
    }
    if (words.empty() || words.size() > 2)
        return std::string("Invalid number of parameters");

    const std::string& source = words[0];
    struct stat info
    {};
    if (::stat(source.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        request.sourceFolder = source;
        request.mask = "*";
    } else if (const auto slash = source.rfind('/'); slash == std::string::npos) {
        request.sourceFolder = ".";
        request.mask = source;
    } else {
        request.sourceFolder = source.substr(0, slash);
        request.mask = source.substr(slash + 1);
        if (request.sourceFolder.empty())
            request.sourceFolder = "/";
        if (request.mask.empty())
            request.mask = "*";
    }
    request.destination = words.size() == 2 ? words[1] : ".";
    return request;
}

int runXcopy(const XcopyRequest& request, Console& console, const ScriptFolders* folders,
             bool* matched)
{
    Copier copier(request, console, folders);
    const int failures = copier.run();
    if (matched)
        *matched = copier.matchedAny();
    return failures;
}

} // namespace tarvik::minicmd
