#pragma once
// The text file of the backup script and of the notes file: the notes file
// opened for appending when a file (not a directory) of that name exists,
// created otherwise; the script always created new; neither written through a
// link. Each line written with CR LF after it; flushed and closed at the end.
// Every failure raises FileError with the user's message for it.
//
//   TextFileWriter file;
//   file.openAppendOrCreate(path);
//   for (const auto& line : lines)
//       file.writeLine(line);
//   file.flushAndClose();
//
// After a failure the object may simply be destroyed: it releases the file.

#include "core/FileError.h"
#include "platform/TextFile.h"

#include <string>
#include <string_view>

namespace tarvik {

class TextFileWriter
{
  public:
    void openAppendOrCreate(const std::string& path);
    // Fails with "File access denied" when anything has the name already.
    void createNew(const std::string& path);
    // `line` followed by CR LF. Lines are buffered, so a full disk may be
    // reported here or only by flushAndClose().
    void writeLine(std::string_view line);
    void flushAndClose();

  private:
    platform::TextFile m_file;
};

} // namespace tarvik
