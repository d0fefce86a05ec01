#include "platform/win32/oem_text_win32.h"

#include <windows.h>

bool CWin32OemText::ToOemUpperCase(const std::wstring& strText, std::string& strOem)
{
    strOem.clear();
    if (strText.empty())
        return true;
    // Upper case before the conversion: in a double-byte OEM code page the
    // bytes of one character cannot be upper-cased one by one.
    std::wstring strUpper = strText;
    ::CharUpperBuffW(strUpper.data(), static_cast<DWORD>(strUpper.size()));
    // Without WC_NO_BEST_FIT_CHARS the system would turn a character the
    // code page lacks into a look-alike ("é" into "e") and not say so.
    BOOL bUsedDefault = FALSE;
    const int nBytes = ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, strUpper.data(),
                                             static_cast<int>(strUpper.size()), nullptr, 0, nullptr, &bUsedDefault);
    if (nBytes <= 0 || bUsedDefault)
        return false;
    std::string strBytes(static_cast<size_t>(nBytes), '\0');
    bUsedDefault = FALSE;
    if (::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, strUpper.data(), static_cast<int>(strUpper.size()),
                              strBytes.data(), nBytes, nullptr, &bUsedDefault)
            != nBytes
        || bUsedDefault)
        return false;
    strOem = std::move(strBytes);
    return true;
}
