#include "ui/win32/version_string_win32.h"

#include <windows.h>

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "services/win32/version_library_win32.h"

namespace {

constexpr const wchar_t* kFieldNames[] = {
    L"Comments",         L"CompanyName", L"FileDescription", L"FileVersion",  L"InternalName", L"LegalCopyright",
    L"LegalTrademarks",  L"OriginalFilename", L"ProductName", L"ProductVersion", L"PrivateBuild", L"SpecialBuild",
};
constexpr int VERSION_FIELD_COUNT = static_cast<int>(sizeof(kFieldNames) / sizeof(kFieldNames[0]));
static_assert(VERSION_FIELD_COUNT == VERSION_FIELD_SPECIAL_BUILD + 1);

constexpr DWORD ERROR_NO_TRANSLATION = 4316;

DWORD ReadVersionString(const wchar_t* pszPath, int nField, wchar_t* pszOut, size_t cchOut)
{
    const CVersionLibrary version;
    if (!version.IsLoaded())
        return ::GetLastError();
    DWORD dwHandle = 0;
    const DWORD cbInfo = version.m_pfnGetFileVersionInfoSizeW(pszPath, &dwHandle);
    if (cbInfo == 0)
        return ::GetLastError();
    std::vector<BYTE> info;
    try {
        info.assign(cbInfo, 0);
    } catch (const std::bad_alloc&) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (!version.m_pfnGetFileVersionInfoW(pszPath, 0, cbInfo, info.data()))
        return ::GetLastError();

    void* pTranslations = nullptr;
    UINT cbTranslations = 0;
    if (!version.m_pfnVerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &pTranslations, &cbTranslations))
        return ::GetLastError();
    if (cbTranslations / sizeof(DWORD) == 0)
        return ERROR_NO_TRANSLATION;
    // Each entry is a language and a code page, in that order.
    const WORD* pFirst = static_cast<const WORD*>(pTranslations);
    wchar_t szTranslation[10] = {};
    std::swprintf(szTranslation, 10, L"%04x%04x", pFirst[0], pFirst[1]);

    if (nField < 0 || nField >= VERSION_FIELD_COUNT)
        return ERROR_INVALID_PARAMETER;
    const std::wstring strQuery =
        std::wstring(L"\\StringFileInfo\\") + szTranslation + L"\\" + kFieldNames[nField];
    void* pValue = nullptr;
    UINT cchValue = 0;
    if (version.m_pfnVerQueryValueW(info.data(), strQuery.c_str(), &pValue, &cchValue) && pValue != nullptr) {
        // The stored length may count the terminator, or be off in broken
        // resources; the copy never reads past it nor writes past cchOut.
        const size_t cchText = wcsnlen(static_cast<const wchar_t*>(pValue), cchValue);
        const size_t cchCopy = cchText < cchOut - 1 ? cchText : cchOut - 1;
        wmemcpy(pszOut, static_cast<const wchar_t*>(pValue), cchCopy);
        pszOut[cchCopy] = L'\0';
    }
    return ERROR_SUCCESS;
}

}  // namespace

bool QueryVersionString(const wchar_t* pszPath, int nField, wchar_t* pszOut, size_t cchOut)
{
    // The cut keeps one character for the terminator, which a zero-sized
    // buffer does not have.
    if (pszOut == nullptr || cchOut == 0 || pszPath == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    pszOut[0] = L'\0';
    const DWORD dwError = ReadVersionString(pszPath, nField, pszOut, cchOut);
    ::SetLastError(dwError);
    return dwError == ERROR_SUCCESS;
}
