#include "platform/IniFileWrite.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string_view>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
// On POSIX the new file is locked for as long as its writer has it open: a
// writer that is gone holds no lock, which tells its leftover from the file of
// a save under way (removeLeftovers).
std::string createTemporaryBeside(const std::string& path, std::FILE*& file)
{
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".~%012llx",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        std::string name = path + suffix;
#ifdef _WIN32
        // No exclusive mode in every C runtime here; the names are random.
        std::error_code taken;
        if (fs::exists(fs::path(name), taken))
            continue;
        file = std::fopen(name.c_str(), "wb");
#else
        file = std::fopen(name.c_str(), "wbx");
        if (file)
            ::flock(::fileno(file), LOCK_EX);
#endif
        if (file)
            return name;
        std::error_code error;
        if (!fs::exists(fs::path(name), error))
            break; // not a clash of names: the folder takes no new file
    }
    file = nullptr;
    return {};
}

bool syncToDisk(std::FILE* file)
{
    if (std::fflush(file) != 0)
        return false;
#ifdef _WIN32
    return ::_commit(::_fileno(file)) == 0;
#else
    return ::fsync(::fileno(file)) == 0;
#endif
}

// A rename is durable only once the folder's entry is on disk too.
void syncFolder(const std::string& path)
{
#ifndef _WIN32
    const std::string folder = fs::path(path).parent_path().string();
    const int handle = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (handle >= 0) {
        ::fsync(handle);
        ::close(handle);
    }
#else
    (void)path;
#endif
}

// Whether the folder of `path` takes a new file and a rename.
bool folderTakesNewFile(const std::string& path)
{
#ifndef _WIN32
    // The system's own check of our write and search permission (its bits,
    // access lists, a read-only mount) tells that without creating a file.
    const std::string folder = fs::path(path).parent_path().string();
    return ::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) ==
           0;
#else
    std::FILE* probe = nullptr;
    const std::string name = createTemporaryBeside(path, probe);
    if (name.empty())
        return false;
    std::fclose(probe);
    std::error_code error;
    fs::remove(fs::path(name), error);
    return true;
#endif
}

} // namespace

// Removes the new files that earlier saves of `path` left behind when they
// were killed: files of our naming pattern, ours, that no living writer holds.
// A file only just created (not locked yet, still empty) is left to a later
// save. What cannot be removed stays; the save goes on either way.
void removeLeftovers(const std::string& path)
{
    const fs::path file(path);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const std::string fileName = file.filename().string();
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path candidate = entries->path();
        if (!isTemporaryOf(candidate.filename().string(), fileName))
            continue;
#ifdef _WIN32
        // A writer keeps its file open until the rename, and Windows removes
        // no file that is open: a file that goes is one no one writes. Only
        // the moment between the close and the rename wants the age check.
        std::error_code ignored;
        const auto age = fs::file_time_type::clock::now() - fs::last_write_time(candidate, ignored);
        if (!ignored && age > std::chrono::seconds(10))
            fs::remove(candidate, ignored);
#else
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
#endif
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
#ifdef _WIN32
    // The C run-time's own count is always 1 here; the system's is not.
    bool renamable = false;
    const HANDLE file = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info{};
        renamable = ::GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1;
        ::CloseHandle(file);
    }
#else
    struct stat info
    {};
    const bool renamable =
        ::stat(path.c_str(), &info) == 0 && info.st_nlink == 1 && info.st_uid == ::geteuid();
#endif
    return renamable && folderTakesNewFile(path) ? Way::Replace : Way::InPlace;
}

namespace {
// Pieces are gathered to this size before they go to the file.
constexpr size_t kReplacementBuffer = size_t{1} << 16;
} // namespace

Replacement::Replacement(std::string path) : m_path(std::move(path))
{
    m_buffer.reserve(kReplacementBuffer);
}

Replacement::~Replacement()
{
    if (m_file)
        std::fclose(m_file);
    if (!m_committed && !m_name.empty()) {
        std::error_code error;
        fs::remove(fs::path(m_name), error);
    }
}

void Replacement::write(std::string_view bytes)
{
    if (m_buffer.size() + bytes.size() > kReplacementBuffer)
        spill();
    if (bytes.size() < kReplacementBuffer) {
        m_buffer += bytes;
        return;
    }
    // A piece the buffer could not hold goes to the file as it is.
    spill();
    if (!m_failed && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
        m_failed = true;
}

// Puts what the buffer holds to the new file, creating the file first.
void Replacement::spill()
{
    if (!m_failed && !m_file) {
        m_name = createTemporaryBeside(m_path, m_file);
        m_failed = m_name.empty();
    }
    if (!m_failed && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size())
        m_failed = true;
    m_buffer.clear();
}

bool Replacement::commit()
{
    spill();
    if (m_failed)
        return false;
    bool written = syncToDisk(m_file);
    std::error_code error;
    if (written && fs::exists(fs::path(m_path), error)) {
        fs::permissions(fs::path(m_name), fs::status(fs::path(m_path)).permissions(),
                        fs::perm_options::replace, error);
        written = !error;
    }
#ifdef _WIN32
    // Windows renames no file that is open.
    written = std::fclose(m_file) == 0 && written;
    m_file = nullptr;
#endif
    if (written) {
        fs::rename(fs::path(m_name), fs::path(m_path), error);
        written = !error;
    }
    // Elsewhere the lock on the new file holds until it has its final name.
    if (m_file) {
        written = std::fclose(m_file) == 0 && written;
        m_file = nullptr;
    }
    if (!written)
        return false;
    m_committed = true;
    syncFolder(m_path);
    return true;
}

bool replaceFile(const std::string& path, const std::string& bytes)
{
    Replacement replacement(path);
    replacement.write(bytes);
    return replacement.commit();
}

bool writeInPlace(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return false;
#ifdef _WIN32
    const int handle = ::_fileno(file);
#else
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
#endif
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
#ifdef _WIN32
    written = written && ::_chsize_s(handle, static_cast<long long>(bytes.size())) == 0;
#else
    written = written && ::ftruncate(handle, static_cast<off_t>(bytes.size())) == 0;
#endif
    written = syncToDisk(file) && written;
    written = std::fclose(file) == 0 && written;
    return written;
}

} // namespace tarvik::platform::ini
