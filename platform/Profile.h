#pragma once
// The profile (INI) file operations the settings store relies on. On Windows
// they are the system's profile calls; elsewhere a stand-in of our own with the
// same outcomes (IniFile.h, IniStore.h).
//
// Texts are bytes. Section and key names match without regard to letter case.
// Writes may be held in a cache per file until flushProfile(path), or until a
// ProfileHold of the file commits: every user of these calls ends its run of
// reads and writes with flushProfile.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvik::platform {

// A read has room for this many characters; longer values come back cut.
inline constexpr std::size_t kProfileValueLimit = 2047;

// The value of `key` in `section` of the file at `path`, or `defaultValue`
// when the file, the section or the key is missing; cut to kProfileValueLimit.
std::string getProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, const std::string& path);

struct ProfileEntry
{
    std::string_view key;
    std::string_view value;
};

// The keys of a section read at once. The entries view texts the section
// keeps (shared by its copies), so they stay valid as long as some copy
// lives; a list of thousands of keys is not copied key by key.
class ProfileSection
{
  public:
    ProfileSection() = default;
    ProfileSection(std::shared_ptr<const std::string> texts, std::vector<ProfileEntry> entries)
        : m_texts(std::move(texts)), m_entries(std::move(entries))
    {}

    const std::vector<ProfileEntry>& entries() const { return m_entries; }
    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const ProfileEntry& operator[](size_t index) const { return m_entries[index]; }
    const ProfileEntry& back() const { return m_entries.back(); }
    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }

  private:
    std::shared_ptr<const std::string> m_texts;
    std::vector<ProfileEntry> m_entries;
};

// Every key of `section`, in file order, each value as getProfileString would
// give it. A key that appears twice is listed twice; getProfileString gives
// the first. Empty when the file or the section is missing.
ProfileSection getProfileSection(const std::string& section, const std::string& path);

// Gives `key` in `section` the value `value`, creating the file, the section
// and the key as needed: a new key goes to the end of its section, a new
// section to the end of the file, and every other line stays as it was.
// False when the file cannot be written.
bool writeProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& path);

struct ProfileWrite
{
    std::string_view key;
    std::string_view value;
};

// A change to one section that depends on what the section holds, worked out
// while the section is read, so that a long section is read and written once.
// The views of a write stay valid until the edit's next call.
class SectionEdit
{
  public:
    virtual ~SectionEdit() = default;
    // The write to make at a key line of the section, or nullopt to leave the
    // line as it is; the write names the line's key, in any letter case.
    // Shown every key line in file order, a name that comes twice included,
    // with the value getProfileString would give for it: as a write goes to
    // the first key of its name, an edit changes no later one.
    virtual std::optional<ProfileWrite> change(std::string_view key, std::string_view value) = 0;
    // After the section's last key line: the keys it lacks that are to be
    // added, one per call, in the order they go to the end of the section;
    // nullopt when there are no more.
    virtual std::optional<ProfileWrite> nextAddition() = 0;
    // For an edit that can tell at a glance: the length of the lines at the
    // start of `text` when they are exactly the lines it would give the whole
    // section anew, each ending in CR LF; nullopt when they are not, or it
    // cannot tell. A section that holds those lines and nothing after them
    // then needs no write, and a long one no walk.
    virtual std::optional<size_t> wholeSectionLength(std::string_view) { return std::nullopt; }
};

// Makes the writes of `edit` in `section` of the file at `path`, with the
// outcome of writeProfileString making them one after another. Where no
// writes are held for the file, they go to it at once; writes that leave
// every byte as it was leave the file alone. False when the file cannot be
// written or a write names a key it could not read back (see
// ini::editSection); the stand-in has then written nothing.
bool editProfileSection(const std::string& section, SectionEdit& edit, const std::string& path);

// Writes of the given keys as one edit of their section, with the outcome of
// writing them one after another: each goes to the first key line of its
// name, the others are added in the order given. The views must outlive the
// edit.
class KeyWrites final : public SectionEdit
{
  public:
    explicit KeyWrites(std::vector<ProfileWrite> writes);

    std::optional<ProfileWrite> change(std::string_view key, std::string_view value) override;
    std::optional<ProfileWrite> nextAddition() override;

  private:
    std::vector<ProfileWrite> m_writes;
    std::vector<bool> m_made;
    size_t m_next = 0;
};

// editProfileSection made of getProfileSection and one writeProfileString a
// write, for profile calls that have no other way. False on the first write
// refused; the writes before it stand.
bool editProfileSectionKeyByKey(const std::string& section, SectionEdit& edit,
                                const std::string& path);

// Puts the writes made so far to the file at `path` on disk and forgets the
// cached copy. False when that failed; the file then keeps the content it had
// before those writes. Where the system's call gives no result (Windows), the
// writes were already reported by writeProfileString and this gives true.
bool flushProfile(const std::string& path);

// Holds the file at `path` for a run of calls, from the first that reads or
// writes it until commit(): the calls read the file once, flushProfile does not
// end the hold, and commit() writes what changed, once, or leaves the file
// alone when nothing did. A hold that ends without commit() forgets its
// writes. The system's calls (Windows) hold nothing of their own: there
// commit() is flushProfile.
class ProfileHold
{
  public:
    explicit ProfileHold(std::string path);
    ~ProfileHold();
    // False when the file could not take the writes; it then keeps the
    // content it had before them.
    bool commit();

  private:
    ProfileHold(const ProfileHold&) = delete;
    ProfileHold& operator=(const ProfileHold&) = delete;

    std::string m_path;
    bool m_committed = false;
};

} // namespace tarvik::platform
