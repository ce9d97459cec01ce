#pragma once
// The files this process created, by the path it created them under, with
// the bytes it wrote to them. A new file takes the rights of its folder, which
// in a shared folder or on a removable drive may let others write to it: a
// file handed on later by that path (the backup script, to the command
// interpreter) can then be told from one that someone wrote to or put in its
// place meanwhile.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::platform::win32 {

// `handle` is a file this process has just created under `path`.
void noteCreatedFile(std::intptr_t handle, const std::string& path);
// Bytes written to `handle`; nothing when it is no file noted as created.
void noteWrittenBytes(std::intptr_t handle, const char* data, std::size_t size);
// `handle` is being closed: what was written is what the path holds now.
void noteClosedFile(std::intptr_t handle);

// True when this process created a file under `path` and `content` is not
// what it wrote there; false when it is, or no creation was noted.
bool replacesCreatedFile(const std::string& path, std::string_view content);

} // namespace tarvik::platform::win32
