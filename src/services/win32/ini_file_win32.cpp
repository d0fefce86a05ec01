#include "services/win32/ini_file_win32.h"

#include <windows.h>

#include <vector>

#include "services/update_names.h"
#include "services/update_rules.h"

namespace {

// Far larger than any value we accept, so that a long value is seen as too
// long rather than cut to something that looks valid.
constexpr DWORD INI_WORK_BUFFER_CHARS = 0x20000;

}  // namespace

bool IniFile::SetPath(const std::wstring& strPath)
{
    if (strPath.size() > MAX_INI_PATH)
        return false;
    m_strPath = strPath;
    return true;
}

int IniFile::ReadIniString(const wchar_t* pszSection, const wchar_t* pszKey, std::wstring& strValue,
                           size_t nCapacity, std::wstring* pRest) const
{
    std::vector<wchar_t> buffer(INI_WORK_BUFFER_CHARS, L'\0');
    const DWORD nCount = ::GetPrivateProfileStringW(pszSection, pszKey, INI_MISSING_SENTINEL, buffer.data(),
                                                    INI_WORK_BUFFER_CHARS, m_strPath.c_str());
    return ApplyIniValueRules(std::wstring(buffer.data(), nCount), nCount, nCapacity, strValue, pRest);
}
