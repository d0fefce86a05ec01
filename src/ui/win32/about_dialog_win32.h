#pragma once
// The about box: the product version with the build date, and the copyright,
// both read from the running program's version resource each time it opens.

#include <windows.h>

#include "framework/afx_dialog.h"

class ClaAboutDlg : public CDialog {
public:
    explicit ClaAboutDlg(CWnd* pParent = nullptr);

    BOOL OnInitDialog() override;

private:
    HICON m_hIcon;   // shared resource icon: never destroyed
};
