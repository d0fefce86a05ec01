#pragma once
// The question whether to fetch a newer release, asked once at start-up.

#include "framework/afx_dialog.h"

class CDownLoadAlarm : public CDialog {
public:
    CDownLoadAlarm();

    // Ticked "Do not show this message again" when OK was pressed.
    int m_nDontShowAgain = 0;
    // 1 only when the user pressed OK; Cancel, Escape and the close box
    // leave it 0.
    int m_nAccepted = 0;

    static const CMessageMapEntry<CDownLoadAlarm> kMessageMap[];

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    void OnDownloadOk();
    void OnDownloadCancel();
};
