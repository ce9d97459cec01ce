#include "core/FileError.h"

#include "platform/TextFile.h"

namespace tarvik {

std::string FileError::messageFor(int code)
{
    if (code > 0 && (code & platform::fileCode::SystemErrorMark))
        return "I/O error " + std::to_string(code & ~platform::fileCode::SystemErrorMark);
    using namespace platform::fileCode;
    switch (code) {
    case FileNotFound:
        return "File not found";
    case PathNotFound:
        return "Invalid filename";
    case TooManyOpenFiles:
        return "Too many open files";
    case AccessDenied:
        return "File access denied";
    case ReadBeyondEnd:
        return "Read beyond end of file";
    case DiskFull:
        return "Disk full";
    case InvalidNumericInput:
        return "Invalid numeric input";
    default:
        return "I/O error " + std::to_string(code);
    }
}

FileError::FileError(int code) : std::runtime_error(messageFor(code)), m_code(code) {}

} // namespace tarvik
