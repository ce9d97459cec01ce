// The shell's folder browser, opened for real (on a virtual display under
// Wine) and closed from its own initialisation callback.
#include "platform/FolderBrowser.h"

#include "Check.h"

// windows.h goes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <string>
#include <vector>

using namespace tarvik::platform;

namespace {

HWND createTopLevel(const char* title, const RECT& where)
{
    static const ATOM windowClass = [] {
        WNDCLASSA description{};
        description.lpfnWndProc = ::DefWindowProcA;
        description.hInstance = ::GetModuleHandleA(nullptr);
        description.lpszClassName = "TarvikTestOwner";
        return ::RegisterClassA(&description);
    }();
    (void)windowClass;
    HWND window =
        ::CreateWindowExA(0, "TarvikTestOwner", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, where.left,
                          where.top, where.right - where.left, where.bottom - where.top, nullptr,
                          nullptr, ::GetModuleHandleA(nullptr), nullptr);
    return window;
}

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoA(monitor, &info);
    reinterpret_cast<std::vector<RECT>*>(data)->push_back(info.rcMonitor);
    return TRUE;
}

std::vector<RECT> monitors()
{
    std::vector<RECT> found;
    ::EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&found));
    return found;
}

// What the callback saw while the browser was open.
struct Seen
{
    bool called = false;
    RECT frame{};
    RECT ownersMonitor{};
    bool ownerEnabled = true;
    bool bystanderEnabled = true;
    UINT errorMode = 0;
    LONG style = 0;
};

FolderBrowserShown closeWith(WPARAM command, HWND owner, HWND bystander, Seen& seen)
{
    return [=, &seen](WindowHandle handle) {
        HWND dialog = static_cast<HWND>(handle);
        seen.called = true;
        ::GetWindowRect(dialog, &seen.frame);
        MONITORINFO info{};
        info.cbSize = sizeof info;
        ::GetMonitorInfoA(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &info);
        seen.ownersMonitor = info.rcMonitor;
        seen.ownerEnabled = ::IsWindowEnabled(owner) != FALSE;
        seen.bystanderEnabled = ::IsWindowEnabled(bystander) != FALSE;
        seen.errorMode = ::GetErrorMode();
        seen.style = ::GetWindowLongA(dialog, GWL_STYLE);
        ::PostMessageA(dialog, WM_COMMAND, command, 0);
    };
}

RECT centredIn(const RECT& area, int width, int height)
{
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 2;
    return {left, top, left + width, top + height};
}

} // namespace

TEST_CASE(browserOpensCentredOnTheOwnersMonitorAndCancels)
{
    const std::vector<RECT> screens = monitors();
    REQUIRE(!screens.empty());
    for (size_t index = 0; index < screens.size(); ++index) {
        CHECK_CONTEXT("monitor " + std::to_string(index));
        const RECT& screen = screens[index];
        // The owner sits near the monitor's corner, so centring on the owner
        // instead of on its monitor would show.
        HWND owner = createTopLevel(
            "owner", {screen.left + 10, screen.top + 10, screen.left + 310, screen.top + 210});
        HWND bystander = createTopLevel("bystander", {0, 0, 200, 100});
        REQUIRE(owner && bystander);
        ::SetErrorMode(SEM_NOOPENFILEERRORBOX);
        Seen seen;
        const ChosenFolder choice = ChooseFolder(owner, "Select Directory", L"c:\\", {},
                                                 closeWith(IDCANCEL, owner, bystander, seen));
        REQUIRE(seen.called);
        CHECK(!choice.confirmed);
        CHECK_EQ(choice.path, "");

        CHECK_EQ(seen.ownersMonitor.left, screen.left);
        CHECK_EQ(seen.ownersMonitor.top, screen.top);
        const RECT expected = centredIn(screen, seen.frame.right - seen.frame.left,
                                        seen.frame.bottom - seen.frame.top);
        CHECK_EQ(seen.frame.left, expected.left);
        CHECK_EQ(seen.frame.top, expected.top);

        // Modal to the whole program while open, and restored afterwards.
        CHECK(!seen.ownerEnabled);
        CHECK(!seen.bystanderEnabled);
        CHECK(::IsWindowEnabled(owner));
        CHECK(::IsWindowEnabled(bystander));
        CHECK_EQ(seen.errorMode & SEM_FAILCRITICALERRORS, UINT(SEM_FAILCRITICALERRORS));
        CHECK_EQ(::GetErrorMode(), UINT(SEM_NOOPENFILEERRORBOX));
        ::SetErrorMode(0);
        ::DestroyWindow(bystander);
        ::DestroyWindow(owner);
    }
}

TEST_CASE(confirmingGivesTheSelectedFoldersPath)
{
    char windows[MAX_PATH];
    REQUIRE(::GetWindowsDirectoryA(windows, MAX_PATH) > 0);
    HWND owner = createTopLevel("owner", {50, 50, 350, 250});
    Seen seen;
    const ChosenFolder choice = ChooseFolder(owner, "Select Directory", L"c:\\", windows,
                                             closeWith(IDOK, owner, owner, seen));
    REQUIRE(seen.called);
    CHECK(choice.confirmed);
    CHECK_EQ(::lstrcmpiA(choice.path.c_str(), windows), 0);
    ::DestroyWindow(owner);
}

TEST_CASE(comIsReleasedAfterwardsAndAnotherApartmentIsKept)
{
    HWND owner = createTopLevel("owner", {50, 50, 350, 250});
    Seen inOwnApartment;
    ChooseFolder(owner, "Select Directory", L"c:\\", {},
                 closeWith(IDCANCEL, owner, owner, inOwnApartment));
    REQUIRE(inOwnApartment.called);
    // The single-threaded apartment was left again: the thread may now join
    // the multi-threaded one.
    REQUIRE_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);

    Seen inOtherApartment;
    const ChosenFolder choice = ChooseFolder(owner, "Select Directory", L"c:\\", {},
                                             closeWith(IDCANCEL, owner, owner, inOtherApartment));
    REQUIRE(inOtherApartment.called);
    CHECK(!choice.confirmed);
    // Still in the multi-threaded apartment, which the browser did not end.
    CHECK_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    ::CoUninitialize();
    ::CoUninitialize();
    // Without the new-style flag the shell shows its fixed-size dialog.
    CHECK((inOwnApartment.style & WS_THICKFRAME) != 0);
    CHECK((inOtherApartment.style & WS_THICKFRAME) == 0);
    ::DestroyWindow(owner);
}
