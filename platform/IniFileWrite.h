#pragma once
// How the INI stand-in (IniStore.h) puts a file's new bytes on disk, and how
// it cleans up after saves that were killed. Portable C++ with a few calls of
// each system.

#include <cstdio>
#include <string>
#include <string_view>

namespace tarvik::platform::ini {

enum class Way
{
    Refused,
    // A new file beside the old one, renamed over it: the file holds its old
    // or its new content at every moment.
    Replace,
    // The file's own bytes overwritten, as the system's profile calls do.
    InPlace,
};

// How the file at `path` (links already followed) may take new content now.
Way wayToWrite(const std::string& path);
// A new file beside `path` (links already followed) that takes the file's
// new content piece by piece, then is put on disk and renamed over it by
// commit(). Nothing is created before the first piece that does not fit its
// buffer, or commit(); a file not committed is removed.
class Replacement
{
  public:
    explicit Replacement(std::string path);
    ~Replacement();

    void write(std::string_view bytes);
    // False when a write or the rename failed; the file at the path is then
    // as it was.
    bool commit();

  private:
    // One object owns the new file, and removes or renames it once.
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    void spill();

    std::string m_path;
    std::string m_name; // of the new file, once created
    std::FILE* m_file = nullptr;
    std::string m_buffer;
    bool m_failed = false;
    bool m_committed = false;
};

// A new file beside `path`, put on disk and renamed over it.
bool replaceFile(const std::string& path, const std::string& bytes);
// The file's own bytes overwritten, cut to the new length and put on disk.
bool writeInPlace(const std::string& path, const std::string& bytes);
// Removes the new files that killed saves of `path` left beside it.
void removeLeftovers(const std::string& path);

} // namespace tarvik::platform::ini
