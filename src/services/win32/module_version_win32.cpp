#include "services/win32/module_version_win32.h"

#include <windows.h>

#include <cwchar>
#include <iterator>
#include <vector>

#include "services/win32/version_library_win32.h"

std::wstring GetModulePath()
{
    // A path that does not fit is cut short by the system, not refused, so
    // grow until it fits rather than trust a truncated path.
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD nLength = ::GetModuleFileNameW(nullptr, strPath.data(), static_cast<DWORD>(strPath.size()));
        if (nLength == 0)
            return std::wstring();
        if (nLength < strPath.size()) {
            strPath.resize(nLength);
            return strPath;
        }
        if (strPath.size() >= 32768)
            return std::wstring();
        strPath.resize(strPath.size() * 2);
    }
}

int GetModuleFolder(const std::wstring& strModulePath, std::wstring& strFolder)
{
    const size_t nSlash = strModulePath.find_last_of(L"\\/");
    if (nSlash == std::wstring::npos)
        return 0;
    strFolder = strModulePath.substr(0, nSlash);
    return 1;
}

int GetModuleFolder(std::wstring& strFolder)
{
    return GetModuleFolder(GetModulePath(), strFolder);
}

int GetFileVersionString(const std::wstring& strFilePath, std::wstring& strVersion)
{
    const CVersionLibrary version;
    if (!version.IsLoaded())
        return -1;
    DWORD nHandle = 0;
    const DWORD nSize = version.m_pfnGetFileVersionInfoSizeW(strFilePath.c_str(), &nHandle);
    if (nSize == 0)
        return -1;
    std::vector<BYTE> info(nSize);
    if (!version.m_pfnGetFileVersionInfoW(strFilePath.c_str(), 0, nSize, info.data()))
        return -1;

    struct LangAndCodePage {
        WORD wLanguage;
        WORD wCodePage;
    };
    LangAndCodePage* pTranslations = nullptr;
    UINT nTranslationBytes = 0;
    if (!version.m_pfnVerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                                     reinterpret_cast<void**>(&pTranslations), &nTranslationBytes)
        || nTranslationBytes < sizeof(LangAndCodePage))
        return -1;

    wchar_t szQuery[64] = {};
    std::swprintf(szQuery, std::size(szQuery), L"\\StringFileInfo\\%04x%04x\\FileVersion",
                  pTranslations[0].wLanguage, pTranslations[0].wCodePage);
    wchar_t* pszValue = nullptr;
    UINT nValueChars = 0;
    if (!version.m_pfnVerQueryValueW(info.data(), szQuery, reinterpret_cast<void**>(&pszValue), &nValueChars)
        || pszValue == nullptr)
        return -1;
    // The stored length counts the terminator when there is one.
    strVersion.assign(pszValue, wcsnlen(pszValue, nValueChars));
    return 0;
}
