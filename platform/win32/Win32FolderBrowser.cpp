#include "platform/FolderBrowser.h"

// windows.h goes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
// clang-format on

#include <vector>

namespace tarvik::platform {
namespace {

constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
static_assert(kBrowseFlags == 0x0241);

struct BrowseContext
{
    HWND owner;
    const std::string* startFolder;
    const FolderBrowserShown* shown;
};

// Moves the dialog, keeping its size, to the middle of the monitor that holds
// the owner (or the one nearest to it).
void centreOnOwnersMonitor(HWND dialog, HWND owner)
{
    HMONITOR monitor = ::MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT frame{};
    if (!monitor || !::GetMonitorInfoA(monitor, &info) || !::GetWindowRect(dialog, &frame))
        return;
    const RECT& area = info.rcMonitor;
    // Integer division truncates toward zero, as the halves must.
    const int left = area.left + ((area.right - area.left) - (frame.right - frame.left)) / 2;
    const int top = area.top + ((area.bottom - area.top) - (frame.bottom - frame.top)) / 2;
    ::SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CALLBACK browseCallback(HWND dialog, UINT message, LPARAM, LPARAM data)
{
    if (message != BFFM_INITIALIZED)
        return 0;
    const auto* context = reinterpret_cast<const BrowseContext*>(data);
    centreOnOwnersMonitor(dialog, context->owner);
    if (!context->startFolder->empty())
        ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE,
                       reinterpret_cast<LPARAM>(context->startFolder->c_str()));
    if (*context->shown)
        (*context->shown)(dialog);
    return 0;
}

BOOL CALLBACK collectEnabledWindow(HWND window, LPARAM data)
{
    if (::IsWindowVisible(window) && ::IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

// The browser is modal to the whole program, not just to its owner: every
// enabled top-level window of this thread is disabled while it is open and
// enabled again afterwards, whatever way the browser ends. Critical-error
// boxes (a drive without a medium) stay off meanwhile.
class ModalScope
{
  public:
    ModalScope() : m_errorMode(::SetErrorMode(SEM_FAILCRITICALERRORS))
    {
        ::EnumThreadWindows(::GetCurrentThreadId(), collectEnabledWindow,
                            reinterpret_cast<LPARAM>(&m_disabled));
        for (HWND window : m_disabled)
            ::EnableWindow(window, FALSE);
    }
    ~ModalScope()
    {
        ::SetErrorMode(m_errorMode);
        for (HWND window : m_disabled)
            if (::IsWindow(window))
                ::EnableWindow(window, TRUE);
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

  private:
    UINT m_errorMode;
    std::vector<HWND> m_disabled;
};

// The new-style dialog needs a single-threaded apartment. A thread that already
// lives in another apartment keeps it, and gets the old-style dialog.
class ComScope
{
  public:
    ComScope() : m_result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool otherApartment() const { return m_result == RPC_E_CHANGED_MODE; }

  private:
    HRESULT m_result;
};

// Frees memory of the shell's allocator when it goes out of scope.
class ShellMemory
{
  public:
    ShellMemory(IMalloc* allocator, void* memory) : m_allocator(allocator), m_memory(memory) {}
    ~ShellMemory()
    {
        if (m_memory)
            m_allocator->Free(m_memory);
    }
    ShellMemory(const ShellMemory&) = delete;
    ShellMemory& operator=(const ShellMemory&) = delete;
    void* get() const { return m_memory; }

  private:
    IMalloc* m_allocator;
    void* m_memory;
};

PIDLIST_ABSOLUTE parseRoot(const std::wstring& root)
{
    if (root.empty())
        return nullptr;
    IShellFolder* desktop = nullptr;
    if (FAILED(::SHGetDesktopFolder(&desktop)) || !desktop)
        return nullptr;
    std::wstring name = root; // the parser wants a writable text
    PIDLIST_RELATIVE items = nullptr;
    ULONG eaten = 0;
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, &items, nullptr)))
        items = nullptr;
    desktop->Release();
    return reinterpret_cast<PIDLIST_ABSOLUTE>(items);
}

} // namespace

ChosenFolder ChooseFolder(WindowHandle owner, const std::string& prompt, const std::wstring& root,
                          const std::string& startFolder, const FolderBrowserShown& shown)
{
    IMalloc* allocator = nullptr;
    if (FAILED(::SHGetMalloc(&allocator)) || !allocator)
        return {};
    ChosenFolder result;
    {
        const ShellMemory buffer(allocator, allocator->Alloc(MAX_PATH));
        if (!buffer.get()) {
            allocator->Release();
            return {};
        }
        char* const displayName = static_cast<char*>(buffer.get());
        displayName[0] = '\0';
        const ShellMemory rootItems(allocator, parseRoot(root));

        BrowseContext context{static_cast<HWND>(owner), &startFolder, &shown};
        BROWSEINFOA request{};
        request.hwndOwner = static_cast<HWND>(owner);
        request.pidlRoot = static_cast<PCIDLIST_ABSOLUTE>(rootItems.get());
        request.pszDisplayName = displayName;
        request.lpszTitle = prompt.c_str();
        request.ulFlags = kBrowseFlags;
        request.lpfn = browseCallback;
        request.lParam = reinterpret_cast<LPARAM>(&context);

        PIDLIST_ABSOLUTE chosen = nullptr;
        {
            const ModalScope modal;
            const ComScope com;
            if (com.otherApartment())
                request.ulFlags &= ~static_cast<UINT>(BIF_NEWDIALOGSTYLE);
            chosen = ::SHBrowseForFolderA(&request);
        }
        if (chosen) {
            const ShellMemory chosenItems(allocator, chosen);
            // Only a path the shell could give counts as a choice: an item
            // without one would otherwise come back as an empty folder name.
            if (::SHGetPathFromIDListA(chosen, displayName))
                result = {true, displayName};
        }
    }
    allocator->Release();
    return result;
}

} // namespace tarvik::platform
