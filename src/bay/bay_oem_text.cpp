#include "bay/bay_oem_text.h"

#include <cstdint>

bool CBayOemText::ToOemUpperCase(const std::wstring& strText, std::string& strOem)
{
    strOem.clear();
    for (const wchar_t ch : strText) {
        // wchar_t is signed on Linux and unsigned on Windows.
        if (static_cast<uint32_t>(ch) > 0x7F) {
            strOem.clear();
            return false;
        }
        strOem += static_cast<char>(ch >= L'a' && ch <= L'z' ? ch - L'a' + L'A' : ch);
    }
    return true;
}
