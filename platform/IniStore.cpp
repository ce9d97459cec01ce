#include "platform/IniStore.h"

#include "platform/IniFile.h"
#include "platform/IniFileWrite.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace tarvik::platform::ini {
namespace fs = std::filesystem;
namespace {

using Bytes = std::shared_ptr<const std::string>;

struct Held
{
    std::string target;                 // links followed
    std::shared_ptr<std::string> bytes; // with the writes made so far
    Bytes asRead;                       // an in-place write's old bytes, from the first change
    bool changed = false;               // whether a write changed a byte
    std::optional<Way> way;             // checked by the first write
    int holds = 0;                      // ProfileHolds of the file
};

std::mutex g_mutex;
std::map<std::string, Held> g_held;

// A link is followed, so that the file it names gets the new content. It is
// followed link by link: a link to a file not made yet then has the file made
// where it points, rather than a file put in the link's place.
std::string resolved(const std::string& path)
{
    std::error_code error;
    fs::path target(path);
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(target, error)); ++hops) {
        const fs::path next = fs::read_symlink(target, error);
        if (error)
            return path;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    if (target == fs::path(path))
        return path;
    const fs::path file = fs::weakly_canonical(target, error);
    return error ? path : file.string();
}

// The file as it is on disk, once a save that was cut is undone.
Held load(const std::string& path)
{
    Held file;
    file.target = resolved(path);
    std::optional<std::string> bytes = readAfterCutSave(file.target);
    std::error_code error;
    if (!bytes && fs::exists(fs::path(file.target), error))
        file.way = Way::Refused; // a file we cannot read we do not overwrite
    file.bytes = std::make_shared<std::string>(bytes ? std::move(*bytes) : std::string());
    return file;
}

Held& held(const std::string& path)
{
    auto found = g_held.find(path);
    if (found == g_held.end())
        found = g_held.emplace(path, load(path)).first;
    return found->second;
}

// What a read sees: the held bytes, or else the file's.
Bytes bytesToRead(const std::string& path)
{
    std::lock_guard lock(g_mutex);
    const auto found = g_held.find(path);
    return found != g_held.end() ? found->second.bytes : load(path).bytes;
}

bool editHeld(Held& file, const std::string& section, SectionEdit& edit)
{
    if (!file.way)
        file.way = wayToWrite(file.target);
    if (*file.way == Way::Refused)
        return false;
    Splice change;
    const EditOutcome outcome = editSection(*file.bytes, section, edit, change);
    if (outcome != EditOutcome::Changed)
        return outcome != EditOutcome::Refused;
    if (*file.way == Way::InPlace && !file.asRead)
        file.asRead = file.bytes;
    // The bytes change where they are, unless a read's section or the old
    // bytes still view them: a long file is then not copied at every edit.
    if (file.bytes.use_count() > 1)
        file.bytes = std::make_shared<std::string>(*file.bytes);
    file.bytes->replace(change.at, change.length, change.text);
    return file.changed = true;
}

// Writes that left every byte as it was need no new file: the settings a
// program saves at every exit are mostly the ones it loaded.
bool commit(const Held& file)
{
    if (!file.changed)
        return true;
    removeLeftovers(file.target);
    return *file.way == Way::Replace ? replaceFile(file.target, *file.bytes)
                                     : writeInPlace(file.target, *file.asRead, *file.bytes);
}

// The end of a flush (or of a hold, with `endingHold`): the file is let go
// unless a hold still keeps it, with its writes made when `write` says so.
bool release(const std::string& path, bool endingHold, bool write)
{
    std::lock_guard lock(g_mutex);
    const auto found = g_held.find(path);
    if (found == g_held.end() || (endingHold ? --found->second.holds : found->second.holds) > 0)
        return true;
    const bool written = !write || commit(found->second);
    g_held.erase(found);
    return written;
}

} // namespace

std::string getString(const std::string& section, const std::string& key,
                      const std::string& defaultValue, const std::string& path)
{
    const Bytes bytes = bytesToRead(path);
    return std::string(
        findValue(*bytes, section, key).value_or(defaultValue).substr(0, kProfileValueLimit));
}

ProfileSection getSection(const std::string& section, const std::string& path)
{
    Bytes bytes = bytesToRead(path);
    std::vector<ProfileEntry> entries = sectionEntries(*bytes, section);
    for (ProfileEntry& entry : entries)
        entry.value = entry.value.substr(0, kProfileValueLimit);
    return ProfileSection(std::move(bytes), std::move(entries));
}

bool writeString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& path)
{
    KeyWrites write({{key, value}});
    std::lock_guard lock(g_mutex);
    return editHeld(held(path), section, write);
}

bool editSection(const std::string& section, SectionEdit& edit, const std::string& path)
{
    std::lock_guard lock(g_mutex);
    const auto found = g_held.find(path);
    if (found != g_held.end())
        return editHeld(found->second, section, edit);
    Held file = load(path);
    return editHeld(file, section, edit) && commit(file);
}

bool flush(const std::string& path)
{
    return release(path, false, true);
}

void beginHold(const std::string& path)
{
    std::lock_guard lock(g_mutex);
    ++held(path).holds;
}

bool endHold(const std::string& path, bool commit)
{
    return release(path, true, commit);
}

} // namespace tarvik::platform::ini
