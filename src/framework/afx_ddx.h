#pragma once
// Dialog data exchange: moving values between a dialog's controls and its
// members, in either direction, with validation on the way in.
//
// A failed exchange stops where it failed: Fail() puts the focus on the
// control being exchanged, and every later DDX_/DDV_ call of the same
// exchange does nothing, so the user fixes one problem at a time and no
// member is half-updated from controls after the bad one.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/afx_wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

    CDataExchange(const CDataExchange&) = delete;
    CDataExchange& operator=(const CDataExchange&) = delete;

    // The control nIDC of the dialog, remembered as the one that Fail() will
    // focus. nullptr (and the exchange fails) when the exchange has already
    // failed or the dialog has no such control.
    HWND PrepareCtrl(int nIDC);

    void Fail();
    bool IsFailed() const { return m_bFailed; }

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;

    // Wrappers DDX_Control attached in this exchange, with the window each
    // was given. The dialog detaches them when its window is destroyed, so
    // that running the dialog again attaches the new controls.
    std::vector<std::pair<CWnd*, HWND>> m_attachedControls;

private:
    bool m_bFailed = false;
};

void DDX_Text(CDataExchange* pDX, int nIDC, std::wstring& value);

// A check box: 0 unchecked, 1 checked (2 for the third state of a tri-state box).
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);

// nIDC is the first radio button of a group and must have WS_GROUP. The
// group runs in template order up to the next WS_GROUP control; only radio
// buttons count. value: index of the checked button, -1 for none.
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);

// Attaches the control to the wrapper on the first exchange.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control);

// Applies to the control exchanged just before: limits its length when
// loading, and when saving rejects a longer value with a message box.
void DDV_MaxChars(CDataExchange* pDX, const std::wstring& value, int nChars);
