#include "services/update_rules.h"

#include <climits>
#include <cwchar>

#include "services/update_names.h"

namespace {

// wcstol is the C library's reading; long is wider than int on some hosts,
// so keep the value within int the way a 32-bit long would have.
int ReadVersionField(const std::wstring& strField)
{
    const long nValue = std::wcstol(strField.c_str(), nullptr, 10);
    if (nValue > INT_MAX)
        return INT_MAX;
    if (nValue < INT_MIN)
        return INT_MIN;
    return static_cast<int>(nValue);
}

}  // namespace

bool StaysInsideQuotes(const std::wstring& strText)
{
    for (wchar_t ch : strText) {
        if (ch == L'"' || ch < 0x20 || ch == 0x7F)
            return false;
    }
    return strText.empty() || strText.back() != L'\\';
}

void ParseVersion(const wchar_t* pszText, int (&nFields)[VERSION_FIELD_COUNT])
{
    if (pszText == nullptr || *pszText == L'\0')
        return;
    int nStored = 0;
    std::wstring strField;
    for (const wchar_t* p = pszText; *p != L'\0' && nStored < VERSION_FIELD_COUNT; ++p) {
        if (*p == L'.' || *p == L',') {
            nFields[nStored++] = ReadVersionField(strField);
            strField.clear();
        } else {
            strField += *p;
        }
    }
    if (nStored < VERSION_FIELD_COUNT)
        nFields[nStored] = ReadVersionField(strField);
}

int IsNewerVersion(const wchar_t* pszOwn, const wchar_t* pszOffered)
{
    int nOwn[VERSION_FIELD_COUNT] = {};
    int nOffered[VERSION_FIELD_COUNT] = {};
    ParseVersion(pszOwn, nOwn);
    ParseVersion(pszOffered, nOffered);
    for (int i = 0; i < VERSION_COMPARED_FIELDS; ++i) {
        if (nOffered[i] > nOwn[i])
            return 1;
        if (nOffered[i] < nOwn[i])
            return 0;
    }
    return 0;
}

int ApplyIniValueRules(const std::wstring& strBuffer, size_t nCount, size_t nCapacity, std::wstring& strValue,
                       std::wstring* pRest)
{
    if (strBuffer.compare(0, std::wcslen(INI_MISSING_SENTINEL), INI_MISSING_SENTINEL) == 0)
        return 0;
    if (nCount == 0) {
        strValue.clear();
        return 1;
    }
    if (nCount >= nCapacity)
        return 0;
    std::wstring strRead = strBuffer.substr(0, nCount);
    const size_t nPercent = strRead.find(L'%');
    if (nPercent != std::wstring::npos) {
        if (pRest != nullptr)
            *pRest = strRead.substr(nPercent);
        strRead.resize(nPercent);
    }
    strValue = strRead;
    return 1;
}

std::wstring CutDriveRootBackslash(const std::wstring& strFolder)
{
    if (strFolder.size() == 3 && strFolder[2] == L'\\')
        return strFolder.substr(0, 2);
    return strFolder;
}

int BuildUpdaterParameters(const std::wstring& strCallerTag, const std::wstring& strUrlPath,
                           const std::wstring& strFolder, uint32_t nLangId, std::wstring& strParameters)
{
    if (!StaysInsideQuotes(strUrlPath))
        return 0;
    strParameters = strCallerTag + L" \"" + strUrlPath + L"\" \"" + strFolder + L"\" " + std::to_wstring(nLangId);
    return 1;
}
