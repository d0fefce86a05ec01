#include "platform/win32/slot_views_win32.h"

#include <commctrl.h>

#include <vector>

void CStaticTextView::SetText(const std::wstring& strText)
{
    SendMessageW(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strText.c_str()));
}

std::wstring CStaticTextView::GetText() const
{
    const LRESULT nLength = SendMessageW(m_hWnd, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> buffer(static_cast<size_t>(nLength) + 1, L'\0');
    const LRESULT nCopied = SendMessageW(m_hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data(), static_cast<size_t>(nCopied));
}

void CProgressBarView::SetPos(int nPos)
{
    SendMessageW(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(nPos), 0);
}

int CProgressBarView::GetPos() const
{
    return static_cast<int>(SendMessageW(m_hWnd, PBM_GETPOS, 0, 0));
}
