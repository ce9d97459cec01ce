#pragma once
// Reading the script to run, and making sure it is the file its starter
// handed over: in a folder others may write to, the file under the script's
// name may be swapped between the starter writing it and us opening it.

#include <string>
#include <sys/stat.h>

namespace tarvik::minicmd {

// A file's device, inode and owner, written "DEV:INO:UID".
std::string fileIdentity(const struct stat& info);

enum class ScriptRead
{
    Read,
    Unreadable,         // `code` tells why
    NotTheExpectedFile, // nothing of it is to run
};

// Reads the whole file at `path` into `content`. With `expected` (a
// fileIdentity text, "" for none) the file must be a regular file of that
// identity, checked on the descriptor that is read, and is not followed when
// it is a link.
ScriptRead readScript(const char* path, const std::string& expected, std::string& content,
                      int& code);

} // namespace tarvik::minicmd
