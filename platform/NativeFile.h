#pragma once
// What each operating system provides for TextFile: plain unbuffered file
// access reporting Windows error codes. Private to the platform library.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvik::platform::native {

enum class OpenMode
{
    // Appends to the file, creating it when there is none; a link in the
    // file's place (symbolic, or a second name of another file) is refused.
    AppendOrCreate,
    // Creates a new file; fails when anything, a link included, has the name.
    CreateNew,
};

// The handle is not inherited by processes the program starts.
int openTextFile(const std::string& path, OpenMode mode, std::intptr_t& handle);
// Writes all `size` bytes or fails.
int writeAll(std::intptr_t handle, const char* data, std::size_t size);
int closeFile(std::intptr_t handle);

} // namespace tarvik::platform::native
