#pragma once
// Reads values from one INI file with the update check's rules.

#include <cstddef>
#include <string>

class IniFile {
public:
    // The path is empty until set; SetPath refuses a path longer than this
    // and keeps the one it had.
    static constexpr size_t MAX_INI_PATH = 1023;

    bool SetPath(const std::wstring& strPath);
    const std::wstring& GetPath() const { return m_strPath; }

    // 1 with strValue set, 0 when the key is missing or its value holds
    // nCapacity characters or more (strValue untouched). An empty value is
    // a success. The value ends before its first "%"; from there on it goes
    // to pRest when one is given.
    int ReadIniString(const wchar_t* pszSection, const wchar_t* pszKey, std::wstring& strValue, size_t nCapacity,
                      std::wstring* pRest = nullptr) const;

private:
    std::wstring m_strPath;
};
