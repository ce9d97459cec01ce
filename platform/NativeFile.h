#pragma once
// What each operating system provides for TextFile: plain unbuffered file
// access reporting Windows error codes. Private to the platform library.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvik::platform::native {

// Opens an existing file for appending (`append`) or creates / empties one.
// The handle is not inherited by processes the program starts.
int openTextFile(const std::string& path, bool append, std::intptr_t& handle);
// Writes all `size` bytes or fails.
int writeAll(std::intptr_t handle, const char* data, std::size_t size);
int closeFile(std::intptr_t handle);

} // namespace tarvik::platform::native
