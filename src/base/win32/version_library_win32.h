#pragma once
// The readers of version resources, from the system's own version.dll
// (see CSystemLibrary for why it is loaded by hand), for as long as the
// object lives.

#include <windows.h>

#include "base/win32/system_library_win32.h"

class CVersionLibrary {
public:
    CVersionLibrary() noexcept;

    // False, with the reason in GetLastError, when version.dll or one of the
    // readers cannot be had; the pointers are then not to be called.
    bool IsLoaded() const noexcept { return m_bLoaded; }

    decltype(&::GetFileVersionInfoSizeW) m_pfnGetFileVersionInfoSizeW = nullptr;
    decltype(&::GetFileVersionInfoW) m_pfnGetFileVersionInfoW = nullptr;
    decltype(&::VerQueryValueW) m_pfnVerQueryValueW = nullptr;

private:
    CSystemLibrary m_library;
    bool m_bLoaded = false;
};
