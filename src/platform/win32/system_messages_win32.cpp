#include "platform/win32/system_messages_win32.h"

#include <windows.h>

namespace {

bool FormatSystemMessage(uint32_t nError, LANGID nLangId, std::wstring& strText)
{
    // The longest system message is far shorter; a longer one is cut, not lost.
    wchar_t szText[1024];
    const DWORD nLength =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, nError, nLangId, szText,
                         static_cast<DWORD>(sizeof(szText) / sizeof(szText[0])), nullptr);
    if (nLength == 0)
        return false;
    strText.assign(szText, nLength);
    // The system ends its texts with a line break; the balloon's line has none.
    while (!strText.empty() && (strText.back() == L'\r' || strText.back() == L'\n' || strText.back() == L' '))
        strText.pop_back();
    return !strText.empty();
}

}  // namespace

bool CWin32SystemMessages::DescribeError(uint32_t nError, std::wstring& strText)
{
    // The user's language where the system has its texts (a language pack
    // may be missing: ERROR_RESOURCE_LANG_NOT_FOUND), else English, which
    // every Windows carries.
    return FormatSystemMessage(nError, ::GetUserDefaultUILanguage(), strText)
           || FormatSystemMessage(nError, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), strText);
}
