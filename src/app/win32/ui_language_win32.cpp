#include "app/win32/ui_language_win32.h"

#include <windows.h>

#include "app/message_catalogue.h"
#include "framework/afx_app.h"

static_assert(sizeof(OSVERSIONINFOW) == 276, "version record size");

uint32_t CWin32UiLanguagePlatform::GetUserDefaultLcid()
{
    return ::GetUserDefaultLCID();
}

bool CWin32UiLanguagePlatform::GetMajorVersion(uint32_t& nMajor)
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!::GetVersionExW(&info))
        return false;
    nMajor = info.dwMajorVersion;
    return true;
}

uint16_t CWin32UiLanguagePlatform::SetThreadUiLanguage(uint16_t nLangId)
{
    // Looked up at run time: the function does not exist before Vista. The
    // library stays loaded; kernel32 is never unloaded anyway.
    HMODULE hKernel = ::LoadLibraryW(L"kernel32.dll");
    if (hKernel == nullptr)
        return 0;
    using SetThreadUILanguageProc = LANGID(WINAPI*)(LANGID);
    auto pfnSet = reinterpret_cast<SetThreadUILanguageProc>(
        reinterpret_cast<void*>(::GetProcAddress(hKernel, "SetThreadUILanguage")));
    return pfnSet != nullptr ? pfnSet(nLangId) : 0;
}

bool CWin32UiLanguagePlatform::SetThreadLocale(uint32_t nLcid)
{
    return ::SetThreadLocale(nLcid) != FALSE;
}

int SelectUiLanguage()
{
    CWin32UiLanguagePlatform platform;
    const int nResult = SelectUiLanguage(platform);
    // Wine picks resources by its own rules whatever the thread language, so
    // the framework is told the language outright.
    AfxSetResourceLanguage(static_cast<LANGID>(g_uiLangId));
    return nResult;
}
