#include "FileError.h"

#include "TextFile.h"

namespace tarvik {

std::string FileError::messageFor(int code)
{
    if (code > 0 && (code & platform::fileCode::SystemErrorMark))
        return "I/O error " + std::to_string(code & ~platform::fileCode::SystemErrorMark);
    switch (code) {
    case 2:
        return "File not found";
    case 3:
        return "Invalid filename";
    case 4:
        return "Too many open files";
    case 5:
        return "File access denied";
    case 100:
        return "Read beyond end of file";
    case 101:
        return "Disk full";
    case 106:
        return "Invalid numeric input";
    default:
        return "I/O error " + std::to_string(code);
    }
}

FileError::FileError(int code) : std::runtime_error(messageFor(code)), m_code(code) {}

} // namespace tarvik
