#include "platform/IniStore.h"

#include "platform/IniFile.h"
#include "platform/IniFileWrite.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

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

// The bytes a write to the file at `target` (links followed) starts from:
// none yet for a file that is not there; nullopt when `way` refuses the
// write or the file cannot be read.
std::optional<std::string> bytesToChange(const std::string& target, Way way)
{
    if (way == Way::Refused)
        return std::nullopt;
    if (std::optional<std::string> bytes = readBytes(target))
        return bytes;
    std::error_code error;
    if (fs::exists(fs::path(target), error))
        return std::nullopt;
    return std::string();
}

std::string cut(std::string_view value)
{
    return std::string(value.substr(0, kProfileValueLimit));
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
        std::optional<std::string> bytes = bytesToChange(target, wayToWrite(target));
        if (!bytes)
            return false;
        cached = pending().emplace(path, Pending{IniFile(std::move(*bytes))}).first;
    }
    return cached->second.file.setValue(section, key, value);
}

bool editSection(const std::string& section, SectionEdit& edit, const std::string& path)
{
    std::unique_lock lock(g_mutex);
    if (pending().count(path) != 0) {
        lock.unlock();
        return editProfileSectionKeyByKey(section, edit, path);
    }
    const std::string target = resolved(path);
    const Way way = wayToWrite(target);
    const std::optional<std::string> bytes = bytesToChange(target, way);
    if (!bytes)
        return false;
    removeLeftovers(target);
    // A file that is replaced takes the new bytes as they come; one written
    // in place takes them whole, after they are all known.
    std::optional<Replacement> replacement;
    if (way == Way::Replace)
        replacement.emplace(target);
    std::string text;
    const IniFile::EditOutcome outcome =
        IniFile::editSection(*bytes, section, edit, [&](std::string_view piece) {
            if (replacement)
                replacement->write(piece);
            else
                text += piece;
        });
    if (outcome != IniFile::EditOutcome::Changed)
        return outcome == IniFile::EditOutcome::Unchanged;
    return replacement ? replacement->commit() : writeInPlace(target, text);
}

bool flush(const std::string& path)
{
    std::lock_guard lock(g_mutex);
    const auto cached = pending().find(path);
    if (cached == pending().end())
        return true;
    const std::string target = resolved(path);
    removeLeftovers(target);
    // Writes that left every byte as it was need no new file: the settings
    // a program saves at every exit are mostly the ones it loaded.
    if (!cached->second.file.changed()) {
        pending().erase(cached);
        return true;
    }
    const std::string bytes = cached->second.file.text();
    pending().erase(cached);
    switch (wayToWrite(target)) {
    case Way::Replace:
        return replaceFile(target, bytes);
    case Way::InPlace:
        return writeInPlace(target, bytes);
    case Way::Refused:
        break;
    }
    return false;
}

} // namespace tarvik::platform::ini
