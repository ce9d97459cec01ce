#pragma once
// An 8-bit text file written line by line, as the backup script and the notes
// file are: the notes file opened for appending when a file of that name
// exists, created otherwise; the script always created new. Neither is ever
// written through a link. Every line ends in CR LF; flushed, then closed.
//
// Failures come back as codes, not exceptions, so that this layer needs nothing
// from the ones above it: 0 is success, anything else is a Windows error code
// (the numbering the user-visible messages are keyed on) or one of the
// run-time codes below. core's TextFileWriter turns them into FileError.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::platform {

namespace fileCode {
inline constexpr int Ok = 0;
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3; // shown as "Invalid filename"
inline constexpr int TooManyOpenFiles = 4;
inline constexpr int AccessDenied = 5;
inline constexpr int ReadBeyondEnd = 100;
inline constexpr int DiskFull = 101;
inline constexpr int NotOpen = 103;
inline constexpr int InvalidNumericInput = 106;
// Marks a system error with no Windows counterpart, with the bit Windows
// leaves to applications' own codes: errno 5 (EIO, a failing disk) must not
// read as Windows' 5, "File access denied". Shown as "I/O error <errno>".
inline constexpr int SystemErrorMark = 0x20000000;
} // namespace fileCode

class TextFile
{
  public:
    TextFile();
    // Releases the file if it is still open. Lines not yet flushed are dropped:
    // a file is left open only by a failure, which has been reported already.
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // Opens `path` for appending when it names an existing file (not a
    // directory); otherwise creates it, emptying nothing. A link in the file's
    // place is refused (AccessDenied), so the lines never land in the file it
    // names. Closes any file this object had open first.
    int openAppendOrCreate(const std::string& path);

    // Creates `path` as a new file; fails (AccessDenied) when anything has
    // that name already, a link included. Closes any file this object had
    // open first.
    int createNew(const std::string& path);

    // Adds `line` and CR LF. Lines are buffered; a full buffer is written out,
    // so a failure of the file may surface here or at flush().
    int writeLine(std::string_view line);

    // Writes every buffered line to the file.
    int flush();

    // Flushes what is left and releases the file; the file is released even
    // when that fails.
    int close();

    bool isOpen() const { return m_open; }

  private:
    int open(const std::string& path, bool createNew);
    int writeBuffer();

    std::intptr_t m_handle; // a file descriptor or a HANDLE
    bool m_open = false;
    std::string m_buffer;
};

} // namespace tarvik::platform
