#include "engine/slot_result.h"

#include <cerrno>
#include <climits>
#include <cwchar>

std::wstring FormatSlotResult(int nCode)
{
    return nCode == SR_OK ? std::wstring(L"OK") : L"E" + std::to_wstring(nCode);
}

bool ParseSlotErrorCode(const std::wstring& strStatus, int& nCode)
{
    if (strStatus.empty() || strStatus[0] != L'E')
        return false;
    errno = 0;
    const long nValue = std::wcstol(strStatus.c_str() + 1, nullptr, 10);
    if (errno == ERANGE || nValue > INT_MAX || nValue < INT_MIN)
        nCode = nValue < 0 ? INT_MIN : INT_MAX;
    else
        nCode = static_cast<int>(nValue);
    return true;
}
