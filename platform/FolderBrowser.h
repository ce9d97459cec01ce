#pragma once
// The shell's folder browser, as the program drives it on Windows. It takes a
// window handle rather than a widget, so it builds (and is tested) below the
// GUI; the GUI's dialog seam calls it on Windows.

#ifdef _WIN32

#include "platform/System.h"

#include <functional>
#include <string>

namespace tarvik::platform {

struct ChosenFolder
{
    bool confirmed = false;
    std::string path; // empty when not confirmed
};

// Runs once the browser's window is up and centred, with that window.
using FolderBrowserShown = std::function<void(WindowHandle dialog)>;

// Opens the browser modally over `owner`, its tree rooted at `root` (the desktop
// when `root` is empty or cannot be parsed), with `startFolder` selected when it
// is not empty. While it is open the thread's other windows are disabled and
// critical-error boxes are off; both are restored when it closes.
ChosenFolder ChooseFolder(WindowHandle owner, const std::string& prompt, const std::wstring& root,
                          const std::string& startFolder = {},
                          const FolderBrowserShown& shown = {});

} // namespace tarvik::platform

#endif
