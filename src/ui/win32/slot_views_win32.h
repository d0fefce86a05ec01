#pragma once
// Slot views over the dialog's statics and progress bars, bound and released
// with the dialog's other controls (DDX_Control). Workers call them from
// their own threads: each call is a sent message, which the UI thread serves
// while it goes on with its own.

#include <windows.h>

#include "framework/afx_wnd.h"
#include "platform/slot_views.h"

class CStaticTextView : public CWnd, public ITextView {
public:
    void SetText(const std::wstring& strText) override;
    std::wstring GetText() const override;
};

class CProgressBarView : public CWnd, public IProgressView {
public:
    void SetPos(int nPos) override;
    int GetPos() const override;
};
