#include "base/win32/version_string_win32.h"

#include <cwchar>
#include <new>
#include <vector>

#include "base/win32/version_library_win32.h"

namespace {

constexpr const wchar_t* kFieldNames[] = {
    L"Comments",         L"CompanyName", L"FileDescription", L"FileVersion",  L"InternalName", L"LegalCopyright",
    L"LegalTrademarks",  L"OriginalFilename", L"ProductName", L"ProductVersion", L"PrivateBuild", L"SpecialBuild",
};
constexpr int VERSION_FIELD_COUNT = static_cast<int>(sizeof(kFieldNames) / sizeof(kFieldNames[0]));
static_assert(VERSION_FIELD_COUNT == VERSION_FIELD_SPECIAL_BUILD + 1);

constexpr DWORD ERROR_NO_TRANSLATION = 4316;

DWORD ReadField(const wchar_t* pszPath, int nField, std::wstring& strValue)
{
    const CVersionLibrary version;
    if (!version.IsLoaded())
        return ::GetLastError();
    DWORD dwHandle = 0;
    const DWORD cbInfo = version.m_pfnGetFileVersionInfoSizeW(pszPath, &dwHandle);
    if (cbInfo == 0)
        return ::GetLastError();
    std::vector<BYTE> info(cbInfo, 0);
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
    if (!version.m_pfnVerQueryValueW(info.data(), strQuery.c_str(), &pValue, &cchValue) || pValue == nullptr)
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    // The stored length may count the terminator, or be off in broken
    // resources; the copy never reads past it.
    const wchar_t* pszValue = static_cast<const wchar_t*>(pValue);
    strValue.assign(pszValue, wcsnlen(pszValue, cchValue));
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ReadVersionString(const wchar_t* pszPath, int nField, std::wstring& strValue)
{
    strValue.clear();
    if (pszPath == nullptr)
        return ERROR_INVALID_PARAMETER;
    try {
        return ReadField(pszPath, nField, strValue);
    } catch (const std::bad_alloc&) {
        strValue.clear();
        return ERROR_INSUFFICIENT_BUFFER;
    }
}

bool QueryVersionString(const wchar_t* pszPath, int nField, wchar_t* pszOut, size_t cchOut)
{
    // The cut keeps one character for the terminator, which a zero-sized
    // buffer does not have.
    if (pszOut == nullptr || cchOut == 0 || pszPath == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DWORD dwError = ERROR_SUCCESS;
    {
        std::wstring strValue;
        dwError = ReadVersionString(pszPath, nField, strValue);
        if (dwError == ERROR_RESOURCE_NAME_NOT_FOUND)
            dwError = ERROR_SUCCESS;
        const size_t cchCopy = strValue.size() < cchOut - 1 ? strValue.size() : cchOut - 1;
        wmemcpy(pszOut, strValue.data(), cchCopy);
        pszOut[cchCopy] = L'\0';
    }
    // Set last: giving the value's memory back must not overwrite it.
    ::SetLastError(dwError);
    return dwError == ERROR_SUCCESS;
}
