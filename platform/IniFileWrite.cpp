#include "platform/IniFileWrite.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::platform::ini {
namespace fs = std::filesystem;
namespace {

// An existing file that does not open for writing is read-only to us, even
// though a rename in its folder could replace it.
bool existingFileWritable(const std::string& path)
{
    std::error_code error;
    if (!fs::exists(fs::path(path), error))
        return !error;
    if (!fs::is_regular_file(fs::path(path), error))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

// The name a new file beside `path` gets: the path, ".~" and twelve
// lower-case hexadecimal digits.
constexpr std::string_view kTemporaryMark = ".~";
constexpr size_t kTemporaryDigits = 12;

bool isTemporaryOf(const std::string& name, const std::string& fileName)
{
    if (name.size() != fileName.size() + kTemporaryMark.size() + kTemporaryDigits ||
        !std::string_view(name).starts_with(fileName) ||
        std::string_view(name).substr(fileName.size(), kTemporaryMark.size()) != kTemporaryMark)
        return false;
    for (size_t i = fileName.size() + kTemporaryMark.size(); i < name.size(); ++i) {
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f')))
            return false;
    }
    return true;
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
        file = std::fopen(name.c_str(), "wbx");
        if (file) {
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

bool syncToDisk(std::FILE* file)
{
    return std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
}

std::string folderOf(const std::string& path)
{
    const std::string folder = fs::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// A rename is durable only once the folder's entry is on disk too.
void syncFolder(const std::string& path)
{
    const int handle = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (handle >= 0) {
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
    const int handle = ::fileno(file);
    // Room for a longer content first, so that a full disk leaves the file as
    // it was rather than cut short. Where the file system cannot tell, the
    // writes below still report a full disk.
    struct stat info
    {};
    if (::fstat(handle, &info) == 0 && static_cast<std::uintmax_t>(info.st_size) < bytes.size()) {
        const int reserved = ::posix_fallocate(handle, 0, static_cast<off_t>(bytes.size()));
        if (reserved == ENOSPC || reserved == EDQUOT || reserved == EFBIG) {
            // A reservation cut short may have lengthened the file.
            const int undone = ::ftruncate(handle, info.st_size);
            (void)undone;
            std::fclose(file);
            return false;
        }
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    written = written && ::ftruncate(handle, static_cast<off_t>(bytes.size())) == 0;
    written = syncToDisk(file) && written;
    written = std::fclose(file) == 0 && written;
    return written;
}

// FNV-1a: tells the new bytes of a save from anything else the file may hold.
std::uint64_t fingerprint(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
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

// Where the old bytes of an in-place save of `absolute` wait: one file per
// settings file, named after its path. Empty when there is no state folder.
std::string keptOldOf(const std::string& absolute)
{
    const std::string folder = stateFolder();
    if (folder.empty())
        return {};
    char name[48];
    std::snprintf(name, sizeof name, "/settings-%016llx.old",
                  static_cast<unsigned long long>(fingerprint(absolute)));
    return folder + name;
}

// What the kept file says: "<length of the path>\n<path><length of the new
// bytes>\n<their fingerprint>\n" and the old bytes.
struct KeptOld
{
    std::string_view path;
    std::uint64_t newSize = 0;
    std::uint64_t newFingerprint = 0;
    std::string_view old;
};

std::string keptOldText(const std::string& absolute, const std::string& old,
                        const std::string& bytes)
{
    return std::to_string(absolute.size()) + '\n' + absolute + std::to_string(bytes.size()) + '\n' +
           std::to_string(fingerprint(bytes)) + '\n' + old;
}

std::optional<KeptOld> parseKeptOld(std::string_view text)
{
    const auto number = [&text](std::uint64_t& value) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end == text.data() + text.size() || *end != '\n')
            return false;
        text.remove_prefix(static_cast<size_t>(end - text.data()) + 1);
        return true;
    };
    KeptOld kept;
    std::uint64_t pathSize = 0;
    if (!number(pathSize) || pathSize > text.size())
        return std::nullopt;
    kept.path = text.substr(0, pathSize);
    text.remove_prefix(pathSize);
    if (!number(kept.newSize) || !number(kept.newFingerprint))
        return std::nullopt;
    kept.old = text;
    return kept;
}

std::string absoluteOf(const std::string& path)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::path(path), error);
    return error ? path : absolute.string();
}

} // namespace

std::optional<std::string> readBytes(const std::string& path)
{
    std::error_code error;
    if (!fs::is_regular_file(fs::path(path), error))
        return std::nullopt;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    // Read at once into room of the file's size, rather than grown piece by
    // piece; the size is only a hint, as the file may change meanwhile.
    const std::uintmax_t size = fs::file_size(fs::path(path), error);
    const size_t hint = error ? 0 : static_cast<size_t>(size);
    std::string bytes(hint, '\0');
    const size_t read = std::fread(bytes.data(), 1, hint, file);
    bytes.resize(read);
    char buffer[65536];
    size_t count = 0;
    while (read == hint && (count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, count);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return bytes;
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
    if (!existingFileWritable(path))
        return Way::Refused;
    std::error_code error;
    if (!fs::exists(fs::path(path), error))
        return folderTakesNewFile(path) ? Way::Replace : Way::Refused;
    struct stat info
    {};
    const bool renamable =
        ::stat(path.c_str(), &info) == 0 && info.st_nlink == 1 && info.st_uid == ::geteuid();
    return renamable && folderTakesNewFile(path) ? Way::Replace : Way::InPlace;
}

bool replaceFile(const std::string& path, const std::string& bytes)
{
    std::FILE* file = nullptr;
    const std::string name = createTemporaryBeside(path, file);
    if (name.empty())
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = syncToDisk(file) && written;
    std::error_code error;
    if (written && fs::exists(fs::path(path), error)) {
        fs::permissions(fs::path(name), fs::status(fs::path(path)).permissions(),
                        fs::perm_options::replace, error);
        written = !error;
    }
    if (written) {
        fs::rename(fs::path(name), fs::path(path), error);
        written = !error;
    }
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
    // The old bytes go to the state folder whole (a replace there) before the
    // file is touched; without a state folder the save goes on unguarded
    // rather than not at all.
    const std::string absolute = absoluteOf(path);
    const std::string kept = keptOldOf(absolute);
    bool guarded = false;
    if (!kept.empty()) {
        // The folder is the user's own, as the base directory rules want it.
        const std::string folder = stateFolder();
        std::error_code error;
        fs::create_directories(fs::path(folder).parent_path(), error);
        if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) {
            removeLeftovers(kept);
            guarded = replaceFile(kept, keptOldText(absolute, old, bytes));
        }
    }
    const bool written = overwrite(path, bytes);
    if (written && guarded)
        ::unlink(kept.c_str());
    else if (guarded)
        restoreCutSave(path);
    return written;
}

void restoreCutSave(const std::string& path)
{
    const std::string absolute = absoluteOf(path);
    const std::string kept = keptOldOf(absolute);
    std::error_code error;
    if (kept.empty() || !fs::exists(fs::path(kept), error))
        return;
    const std::optional<std::string> text = readBytes(kept);
    const std::optional<KeptOld> save = text ? parseKeptOld(*text) : std::nullopt;
    if (!save || save->path != absolute)
        return; // not ours to judge
    // Only a file that holds neither the new bytes whole nor the old ones was
    // cut; a file that is gone is left gone.
    const std::optional<std::string> now = readBytes(path);
    if (!now || (now->size() == save->newSize && fingerprint(*now) == save->newFingerprint) ||
        *now == save->old || overwrite(path, std::string(save->old)))
        ::unlink(kept.c_str());
}

} // namespace tarvik::platform::ini
