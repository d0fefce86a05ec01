#pragma once
// Reading and writing registry values as the tests expect them, under a key
// path that each test writes out itself.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct StoredValue {
    DWORD nType = REG_NONE;
    std::wstring strText;
    DWORD nNumber = 0;
};

inline std::optional<StoredValue> ReadStoredValue(HKEY hRoot, const std::wstring& strKey, const wchar_t* pszName)
{
    DWORD nType = REG_NONE, cbData = 0;
    if (RegGetValueW(hRoot, strKey.c_str(), pszName, RRF_RT_ANY | RRF_NOEXPAND, &nType, nullptr, &cbData)
        != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<BYTE> data(cbData + sizeof(wchar_t));
    if (RegGetValueW(hRoot, strKey.c_str(), pszName, RRF_RT_ANY | RRF_NOEXPAND, &nType, data.data(), &cbData)
        != ERROR_SUCCESS)
        return std::nullopt;
    StoredValue value;
    value.nType = nType;
    if (nType == REG_SZ)
        value.strText = reinterpret_cast<const wchar_t*>(data.data());
    if (nType == REG_DWORD)
        value.nNumber = *reinterpret_cast<const DWORD*>(data.data());
    return value;
}

inline bool StoreText(const std::wstring& strKey, const wchar_t* pszName, const std::wstring& strValue)
{
    return RegSetKeyValueW(HKEY_CURRENT_USER, strKey.c_str(), pszName, REG_SZ, strValue.c_str(),
                           static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)))
        == ERROR_SUCCESS;
}

inline bool StoreNumber(const std::wstring& strKey, const wchar_t* pszName, DWORD nValue)
{
    return RegSetKeyValueW(HKEY_CURRENT_USER, strKey.c_str(), pszName, REG_DWORD, &nValue, sizeof(nValue))
        == ERROR_SUCCESS;
}
