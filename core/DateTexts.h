#pragma once
// The small text operations from which the backup run and the notes file build
// folder names, file names and xcopy arguments. None of them can fail.

#include "platform/CivilDate.h"
#include "platform/FileSystem.h"

#include <string>
#include <string_view>

namespace tarvik {

using platform::CivilDate;

// Year, month and day digits; month and day padded to two, the year as it is
// (6 December 2026 gives "20261206", 31 December 999 gives "9991231").
std::string DateStamp(const CivilDate& date);

// Month-day-year, nothing padded, as xcopy's /D: switch takes it ("12-6-2026").
std::string XcopyDateText(const CivilDate& date);

// `text` without any backslash or slash.
std::string StripPathSeparators(std::string_view text);

// The part of `path` after its last `separator`: all of it when there is none,
// "" when it ends in one.
std::string LastPathComponent(std::string_view path, char separator = platform::kNativeSeparator);

} // namespace tarvik
