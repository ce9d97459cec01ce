#include "platform/IniFileWrite.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::platform::ini {
namespace fs = std::filesystem;
namespace {

// The name a new file beside `path` gets: the path, ".~" and twelve
// lower-case hexadecimal digits.
bool isTemporaryOf(std::string_view name, const std::string& fileName)
{
    return name.size() == fileName.size() + 14 && name.starts_with(fileName + ".~") &&
           name.find_first_not_of("0123456789abcdef", fileName.size() + 2) == name.npos;
}

// Creates a file of a new name beside `path`; empty when the folder takes none.
// The new file is locked for as long as its writer has it open: a writer that
// is gone holds no lock, which tells its leftover from the file of a save
// under way (removeLeftovers).
std::string createTemporaryBeside(const std::string& path, std::FILE*& file)
{
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".~%012llx",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        std::string name = path + suffix;
        if ((file = std::fopen(name.c_str(), "wbx"))) {
            ::flock(::fileno(file), LOCK_EX);
            return name;
        }
        std::error_code error;
        if (!fs::exists(fs::path(name), error))
            break; // not a clash of names: the folder takes no new file
    }
    file = nullptr;
    return {};
}

std::string folderOf(const std::string& path)
{
    const std::string folder = fs::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// A rename is durable only once the folder's entry is on disk too.
void syncFolder(const std::string& path)
{
    if (const int handle = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY); handle >= 0) {
        ::fsync(handle);
        ::close(handle);
    }
}

// Whether the folder of `path` takes a new file and a rename: the system's own
// check of our write and search permission (its bits, access lists, a
// read-only mount) tells that without creating a file.
bool folderTakesNewFile(const std::string& path)
{
    return ::faccessat(AT_FDCWD, folderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// The file's own bytes overwritten with `bytes` and cut to their length.
bool overwrite(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    written = written && ::ftruncate(::fileno(file), static_cast<off_t>(bytes.size())) == 0;
    written = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0 && written;
    written = std::fclose(file) == 0 && written;
    return written;
}

// The user's state folder: $XDG_STATE_HOME/tarvikbackup, by default
// ~/.local/state/tarvikbackup; empty when neither tells where it is. A
// relative XDG_STATE_HOME is ignored, as the base directory rules say.
std::string stateFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/tarvikbackup";
    return home && *home ? std::string(home) + "/.local/state/tarvikbackup" : std::string();
}

// Where the old bytes of an in-place save of `path` wait, after the file's
// absolute path and a NUL: one file per settings file, named after its path.
// Empty when there is no state folder.
std::string keptOldOf(const std::string& path, std::string& absolute)
{
    std::error_code error;
    absolute = fs::absolute(fs::path(path), error).string();
    const std::string folder = stateFolder();
    char name[48];
    std::snprintf(name, sizeof name, "/settings-%016zx.old", std::hash<std::string>{}(absolute));
    return folder.empty() || error ? std::string() : folder + name;
}

// A turn at the file between the programs that write it in place and those
// that read it: a read waits for a save under way, and old bytes found kept
// aside are then those of a save that was stopped. Where the file system
// takes no locks, there are none.
class FileTurn
{
  public:
    explicit FileTurn(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
    {
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FileTurn()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileTurn(const FileTurn&) = delete;
    FileTurn& operator=(const FileTurn&) = delete;

  private:
    int m_fd;
};

// Puts back the old bytes of an in-place save of `path` stopped before its
// end, whether or not its new bytes were all written: the file then holds its
// old content, as it does when a save is stopped before it begins. With the
// file's turn held.
void restoreCutSave(const std::string& path);

} // namespace

std::optional<std::string> readBytes(const std::string& path)
{
    std::error_code error;
    std::FILE* file =
        fs::is_regular_file(fs::path(path), error) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!file)
        return std::nullopt;
    std::string bytes; // with room for edits in place; the size is a hint, as it may change
    if (const auto size = fs::file_size(fs::path(path), error); !error)
        bytes.reserve(size + size / 8 + 64);
    char buffer[65536];
    for (size_t count; (count = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, count);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? std::nullopt : std::optional(std::move(bytes));
}

// Removes the new files that earlier saves of `path` left behind when they
// were killed: files of our naming pattern, ours, that no living writer holds.
// A file only just created (not locked yet, still empty) is left to a later
// save. What cannot be removed stays; the save goes on either way.
void removeLeftovers(const std::string& path)
{
    const fs::path file(path);
    const std::string fileName = file.filename().string();
    std::error_code error;
    fs::directory_iterator entries(fs::path(folderOf(path)), error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path candidate = entries->path();
        if (!isTemporaryOf(candidate.filename().string(), fileName))
            continue;
        const int handle =
            ::open(candidate.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (handle < 0)
            continue;
        struct stat info
        {};
        if (::fstat(handle, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            ::flock(handle, LOCK_EX | LOCK_NB) == 0 &&
            (info.st_size > 0 || ::time(nullptr) - info.st_mtime > 10))
            ::unlink(candidate.c_str());
        ::close(handle);
    }
}

// A rename would give the file a new owner, turn a second name of a file
// into a file of its own, and needs a folder we may write; where it would
// do any of that, the file is written in place instead.
Way wayToWrite(const std::string& path)
{
    struct stat info
    {};
    if (::stat(path.c_str(), &info) != 0)
        return (errno == ENOENT || errno == ENOTDIR) && folderTakesNewFile(path) ? Way::Replace
                                                                                 : Way::Refused;
    // A file that does not open for writing is read-only to us, though a
    // rename in its folder could replace it.
    std::FILE* file = S_ISREG(info.st_mode) ? std::fopen(path.c_str(), "r+b") : nullptr;
    if (!file || std::fclose(file) != 0)
        return Way::Refused;
    const bool renamable = info.st_nlink == 1 && info.st_uid == ::geteuid();
    return renamable && folderTakesNewFile(path) ? Way::Replace : Way::InPlace;
}

bool replaceFile(const std::string& path, const std::string& bytes)
{
    std::FILE* file = nullptr;
    const std::string name = createTemporaryBeside(path, file);
    if (name.empty())
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0 && written;
    // The new file takes the old one's permissions, read once: a file gone
    // meanwhile has none to give, and its "unknown" would set every bit.
    std::error_code error;
    if (written) {
        const fs::file_status old = fs::status(fs::path(path), error);
        if (old.type() == fs::file_type::not_found)
            error.clear();
        else if (!error)
            fs::permissions(fs::path(name), old.permissions(), fs::perm_options::replace, error);
    }
    if (written && !error)
        fs::rename(fs::path(name), fs::path(path), error);
    written = written && !error;
    // The lock on the new file holds until it has its final name.
    written = std::fclose(file) == 0 && written;
    if (!written) {
        fs::remove(fs::path(name), error);
        return false;
    }
    syncFolder(path);
    return true;
}

bool writeInPlace(const std::string& path, const std::string& old, const std::string& bytes)
{
    const FileTurn turn(path);
    // The old bytes go to the state folder whole (a replace there) before the
    // file is touched. Where they cannot (no state folder, a full disk), the
    // file is not touched either: a refused save keeps the old settings, a
    // save cut short would lose both.
    std::string absolute;
    const std::string kept = keptOldOf(path, absolute);
    std::error_code error;
    const std::string folder = stateFolder();
    fs::create_directories(fs::path(folder).parent_path(), error);
    // The folder is the user's own, as the base directory rules want it.
    if (kept.empty() || (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST))
        return false;
    removeLeftovers(kept);
    if (!replaceFile(kept, absolute + '\0' + old))
        return false;
    const bool written = overwrite(path, bytes);
    if (written)
        ::unlink(kept.c_str());
    else
        restoreCutSave(path); // a full disk midway, say
    return written;
}

std::optional<std::string> readAfterCutSave(const std::string& path)
{
    const FileTurn turn(path);
    restoreCutSave(path);
    return readBytes(path);
}

namespace {

void restoreCutSave(const std::string& path)
{
    std::string absolute;
    const std::string kept = keptOldOf(path, absolute);
    const std::optional<std::string> text = kept.empty() ? std::nullopt : readBytes(kept);
    if (!text || !text->starts_with(absolute + '\0'))
        return; // not ours to judge
    const std::string_view old = std::string_view(*text).substr(absolute.size() + 1);
    // A file that is gone is left gone.
    const std::optional<std::string> now = readBytes(path);
    if (!now || *now == old || overwrite(path, std::string(old)))
        ::unlink(kept.c_str());
}

} // namespace

} // namespace tarvik::platform::ini
