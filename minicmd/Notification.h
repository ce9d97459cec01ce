#pragma once
// The desktop notification that ends a run nobody watched on a terminal.

#include "minicmd/Console.h"

#include <string>

namespace tarvik::minicmd {

// Sends one notification with the summary through notify-send when there is
// a desktop session ($DISPLAY or $WAYLAND_DISPLAY) and notify-send is on
// PATH; failures make it critical. Otherwise does nothing.
void notifyDesktop(const RunSummary& summary, const std::string& logPath);

} // namespace tarvik::minicmd
