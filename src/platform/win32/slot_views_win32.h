#pragma once
// Slot views over the dialog's statics and progress bars. They send window
// messages, so workers on other threads may use them while the UI thread
// keeps serving its messages.

#include <windows.h>

#include "platform/slot_views.h"

class CStaticTextView : public ITextView {
public:
    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    void SetText(const std::wstring& strText) override;
    std::wstring GetText() const override;

private:
    HWND m_hWnd = nullptr;
};

class CProgressBarView : public IProgressView {
public:
    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    void SetPos(int nPos) override;
    int GetPos() const override;

private:
    HWND m_hWnd = nullptr;
};
