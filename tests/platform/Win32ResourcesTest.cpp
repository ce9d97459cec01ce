// The Windows program's resources, linked into this test as into the program:
// the manifest must really bring version 6 of the common controls into the
// process, and the icon must load at the sizes the shell asks for.
#include "Check.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <string>

TEST_CASE(manifestBringsCommonControlsVersion6)
{
    HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    REQUIRE(found != nullptr);
    const auto* text = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
    const std::string manifest(text, ::SizeofResource(nullptr, found));
    CHECK(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"") !=
          std::string::npos);

    // The loader reads the manifest at start-up: the common controls library
    // this process gets is the side-by-side one of version 6, not the one in
    // the system folder.
    HMODULE controls = ::LoadLibraryA("comctl32.dll");
    REQUIRE(controls != nullptr);
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(controls, path, MAX_PATH);
    std::string loaded(path, length);
    ::CharLowerBuffA(loaded.data(), static_cast<DWORD>(loaded.size()));
    CHECK_EQ(loaded.substr(0, loaded.rfind('\\') + 1)
                 .find("\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6."),
             loaded.find("\\winsxs\\"));
    CHECK(loaded.find("\\winsxs\\") != std::string::npos);
}

TEST_CASE(iconLoadsAtEverySizeTheShellUses)
{
    for (const int size : {16, 32, 48}) {
        CHECK_CONTEXT(std::to_string(size));
        HICON icon =
            static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1),
                                            IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        REQUIRE(icon != nullptr);
        ICONINFO info{};
        REQUIRE(::GetIconInfo(icon, &info));
        BITMAP picture{};
        ::GetObjectA(info.hbmColor, sizeof picture, &picture);
        CHECK_EQ(picture.bmWidth, LONG(size));
        CHECK_EQ(picture.bmBitsPixel, WORD(32));
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
}

TEST_CASE(versionResourceCarriesTheProjectVersion)
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    REQUIRE(length > 0 && length < MAX_PATH);
    std::string block(::GetFileVersionInfoSizeA(path, nullptr), '\0');
    REQUIRE(!block.empty() &&
            ::GetFileVersionInfoA(path, 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    REQUIRE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    CHECK_EQ(fixed->dwFileVersionMS, DWORD(MAKELONG(TARVIK_VERSION_MINOR, TARVIK_VERSION_MAJOR)));
    CHECK_EQ(fixed->dwProductVersionLS, DWORD(MAKELONG(0, TARVIK_VERSION_PATCH)));
    char* text = nullptr;
    REQUIRE(::VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\ProductVersion",
                             reinterpret_cast<void**>(&text), &size));
    CHECK_EQ(std::string(text), std::string(TARVIK_VERSION));
}
