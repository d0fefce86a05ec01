#include "base/win32/version_library_win32.h"

CVersionLibrary::CVersionLibrary() noexcept : m_library(L"version.dll")
{
    m_bLoaded = m_library.Find("GetFileVersionInfoSizeW", m_pfnGetFileVersionInfoSizeW)
        && m_library.Find("GetFileVersionInfoW", m_pfnGetFileVersionInfoW)
        && m_library.Find("VerQueryValueW", m_pfnVerQueryValueW);
}
