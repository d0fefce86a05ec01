#include "platform/win32/shell_open_win32.h"

#include <windows.h>
#include <shellapi.h>

void CWin32ShellOpen::OpenInFileBrowser(const std::wstring& strPath)
{
    ShellExecuteW(nullptr, L"open", strPath.c_str(), L"", L"", SW_SHOW);
}
