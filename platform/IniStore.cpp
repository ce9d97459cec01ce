#include "IniStore.h"

#include "IniFile.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarvik::platform::ini {
namespace fs = std::filesystem;
namespace {

struct Pending
{
    IniFile file;
};

std::mutex g_mutex;
std::map<std::string, Pending>& pending()
{
    static std::map<std::string, Pending> files;
    return files;
}

// The file's bytes; nullopt when it cannot be read (missing, a folder, ...).
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

std::string cut(std::string_view value)
{
    return std::string(value.substr(0, kProfileValueLimit));
}

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

// Creates a file of a new name beside `path`; empty when the folder takes none.
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

bool canReplace(const std::string& path)
{
    if (!existingFileWritable(path))
        return false;
#ifndef _WIN32
    // The folder must take a new file and a rename: the system's own check of
    // our write and search permission (its bits, access lists, a read-only
    // mount) tells that without creating a file.
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

bool replaceFile(const std::string& path, const std::string& bytes)
{
    if (!existingFileWritable(path))
        return false;
    std::FILE* file = nullptr;
    const std::string name = createTemporaryBeside(path, file);
    if (name.empty())
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = syncToDisk(file) && written;
    written = std::fclose(file) == 0 && written;
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
    if (!written) {
        fs::remove(fs::path(name), error);
        return false;
    }
    syncFolder(path);
    return true;
}

// A link is followed, so that the file it names gets the new content.
std::string resolved(const std::string& path)
{
    std::error_code error;
    if (!fs::is_symlink(fs::path(path), error))
        return path;
    const fs::path target = fs::weakly_canonical(fs::path(path), error);
    return error ? path : target.string();
}

} // namespace

std::string getString(const std::string& section, const std::string& key,
                      const std::string& defaultValue, const std::string& path)
{
    {
        std::lock_guard lock(g_mutex);
        const auto cached = pending().find(path);
        if (cached != pending().end())
            return cut(cached->second.file.value(section, key).value_or(defaultValue));
    }
    const std::optional<std::string> bytes = readBytes(path);
    if (!bytes)
        return cut(defaultValue);
    return cut(IniFile::findValue(*bytes, section, key).value_or(defaultValue));
}

ProfileSection getSection(const std::string& section, const std::string& path)
{
    std::shared_ptr<const std::string> bytes;
    {
        std::lock_guard lock(g_mutex);
        const auto cached = pending().find(path);
        if (cached != pending().end()) {
            bytes = cached->second.file.bytesAsRead();
            if (!bytes)
                bytes = std::make_shared<const std::string>(cached->second.file.text());
        } else if (std::optional<std::string> read = readBytes(path))
            bytes = std::make_shared<const std::string>(std::move(*read));
    }
    if (!bytes)
        return {};
    std::vector<ProfileEntry> entries = IniFile::sectionEntries(*bytes, section);
    for (ProfileEntry& entry : entries)
        entry.value = entry.value.substr(0, kProfileValueLimit);
    return ProfileSection(std::move(bytes), std::move(entries));
}

bool writeString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& path)
{
    std::lock_guard lock(g_mutex);
    auto cached = pending().find(path);
    if (cached == pending().end()) {
        const std::string target = resolved(path);
        if (!canReplace(target))
            return false;
        std::optional<std::string> bytes = readBytes(target);
        std::error_code error;
        if (!bytes && fs::exists(fs::path(target), error))
            return false;
        cached = pending().emplace(path, Pending{IniFile(bytes.value_or(std::string()))}).first;
    }
    return cached->second.file.setValue(section, key, value);
}

bool flush(const std::string& path)
{
    std::lock_guard lock(g_mutex);
    const auto cached = pending().find(path);
    if (cached == pending().end())
        return true;
    // Writes that left every byte as it was need no new file: the settings
    // a program saves at every exit are mostly the ones it loaded.
    if (!cached->second.file.changed()) {
        pending().erase(cached);
        return true;
    }
    const std::string bytes = cached->second.file.text();
    pending().erase(cached);
    return replaceFile(resolved(path), bytes);
}

} // namespace tarvik::platform::ini
