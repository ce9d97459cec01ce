#pragma once
// The walk of a source tree that serves every xcopy line sharing it.

#include <vector>

namespace tarvik::minicmd {

class Console;
class XcopyLine;

// Walks the source tree of `lines` (which differ in their mask at most) once,
// offering each file to every line whose mask it matches, in the order of the
// lines, and returns once every copy it started is done.
void walkSource(std::vector<XcopyLine*> lines, Console& console);

} // namespace tarvik::minicmd
