#pragma once
// The error raised when a text file cannot be opened, written, flushed or
// closed. Its message is the one the user sees, chosen by the failure's code:
// the system's error code for the failed operation (Windows numbering on every
// platform) or one of the run-time's own codes (100, 101, 106).

#include <stdexcept>
#include <string>

namespace tarvik {

class FileError : public std::runtime_error
{
  public:
    explicit FileError(int code);

    int code() const { return m_code; }

    // "File not found" for 2, ..., "I/O error <code>" for a code not in the table.
    static std::string messageFor(int code);

  private:
    int m_code;
};

} // namespace tarvik
