#include "ui/win32/slot_views_win32.h"

#include <commctrl.h>

void CStaticTextView::SetText(const std::wstring& strText)
{
    SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strText.c_str()));
}

std::wstring CStaticTextView::GetText() const
{
    return GetWindowText();
}

void CProgressBarView::SetPos(int nPos)
{
    SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos));
}

int CProgressBarView::GetPos() const
{
    return static_cast<int>(SendMessage(PBM_GETPOS));
}
