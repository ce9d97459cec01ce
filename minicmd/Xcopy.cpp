#include "minicmd/Xcopy.h"

#include "minicmd/Console.h"
#include "minicmd/FileCopy.h"
#include "minicmd/Folders.h"
#include "minicmd/Interruption.h"
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
    Copier(const XcopyRequest& request, Console& console) : m_request(request), m_console(console)
    {}

    int run()
    {
        if (const std::string refusal = cyclicRefusal(); !refusal.empty()) {
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
            walk(root, "");
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

    void walk(int folderFd, const std::string& relative)
    {
        DIR* folder = ::fdopendir(folderFd);
        if (!folder) {
            fail("Cannot read folder " + joinPath(m_request.sourceFolder, relative), errno);
            ::close(folderFd);
            return;
        }
        std::vector<Entry> entries;
        errno = 0;
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            // Temporary files of a copy in progress (ours or a concurrent
            // run's) are not the user's files.
            if (name != "." && name != ".." && !isTemporaryName(std::string(name)))
                entries.push_back({std::string(name), entry->d_type});
        }
        if (errno != 0)
            fail("Cannot read folder " + joinPath(m_request.sourceFolder, relative), errno);
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });

        m_console.folder(joinPath(m_request.sourceFolder, relative));
        std::vector<std::string> subfolders;
        int destinationFd = -1;
        int destinationFailed = 0;
        for (const Entry& entry : entries)
            visit(folderFd, relative, entry, subfolders, destinationFd, destinationFailed);
        if (destinationFd >= 0)
            ::close(destinationFd);

        for (const std::string& name : subfolders) {
            const int sub =
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
            walk(sub, relative + name + "/");
            m_folderModes.pop_back();
        }
        ::closedir(folder);
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

        const std::string destinationFolder = joinPath(m_request.destination, relative);
        if (destinationFd < 0) {
            // A folder that cannot be made fails every file meant for it;
            // the reason is told once, each file is named.
            if (destinationFailed != 0) {
                fail("Cannot write " + joinPath(destinationFolder, entry.name), destinationFailed);
                return;
            }
            if (const int code = openDestination(relative, destinationFolder, destinationFd);
                code != 0) {
                fail("Cannot create folder " + destinationFolder, code);
                destinationFailed = code;
                return;
            }
        }
        copyOne(folderFd, entry.name, info, sourcePath, destinationFd, destinationFolder);
    }

    // Opens the folder the files of `relative` go to, making what is missing.
    // Folders made here stand for source folders and take their permission
    // bits (the owner keeps full access, so the copy can fill them); a folder
    // that was there already may hold what a killed run left behind.
    int openDestination(const std::string& relative, const std::string& path, int& fd)
    {
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            removeAbandonedCopies(fd);
            return 0;
        }
        if (errno != ENOENT)
            return errno;
        std::string made = m_request.destination;
        int code = makeFolder(made, m_folderModes.front());
        std::size_t level = 1, start = 0;
        for (std::size_t slash;
             code == 0 && (slash = relative.find('/', start)) != std::string::npos;
             start = slash + 1, ++level) {
            made = joinPath(made, relative.substr(start, slash - start));
            code = makeFolder(made, m_folderModes.at(level));
        }
        if (code != 0)
            return code;
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return fd < 0 ? errno : 0;
    }

    static int makeFolder(std::string path, mode_t sourceMode)
    {
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        const mode_t mode = (sourceMode & 0777) | 0700;
        if (::mkdir(path.c_str(), mode) == 0)
            return 0;
        if (errno == ENOENT) {
            // Above the destination nothing stands for a source folder.
            if (const auto slash = path.rfind('/'); slash != std::string::npos && slash > 0)
                if (const int code = ensureFolder(path.substr(0, slash)); code != 0)
                    return code;
            if (::mkdir(path.c_str(), mode) == 0)
                return 0;
        }
        return ensureFolder(path); // there meanwhile, or the reason it cannot be
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

    const XcopyRequest& m_request;
    Console& m_console;
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

int runXcopy(const XcopyRequest& request, Console& console, bool* matched)
{
    Copier copier(request, console);
    const int failures = copier.run();
    if (matched)
        *matched = copier.matchedAny();
    return failures;
}

} // namespace tarvik::minicmd
