#pragma once
// Modal dialogs from a template in the resource language.
//
// DoModal runs its own message loop rather than the system's DialogBox, so
// that PreTranslateMessage sees every message of the thread before it is
// dispatched. One static dialog procedure binds the object at WM_INITDIALOG
// and routes each message through the virtual WindowProc, then the message
// map (OnWndMsg).
//
// The dialog owns its window only while DoModal runs: the window is created
// and destroyed inside it. Control wrappers attached by DDX_Control are
// detached again when the window goes, so the same object can run again.

#include <windows.h>

#include <utility>
#include <vector>

#include "framework/afx_msgmap.h"
#include "framework/afx_wnd.h"

class CDataExchange;

class CDialog : public CWnd {
public:
    // Without a parent the application's main window (if any) owns the
    // dialog, as in MFC.
    explicit CDialog(UINT nIDTemplate, CWnd* pParent = nullptr);
    ~CDialog() override;

    // EndDialog's result; -1 when the template is missing, the window cannot
    // be created, OnInitDialog threw, or WM_QUIT arrived first (it is posted
    // again for the outer loop).
    INT_PTR DoModal();
    // Ends the modal loop once the current message has been handled.
    void EndDialog(int nResult);

    // TRUE lets the system put the focus on the first control.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    // FALSE when the exchange failed; the failing control then has the focus.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // TRUE when the message was consumed and must not be dispatched.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Every message of the dialog passes through here. Overrides do their
    // part and then return CDialog::WindowProc(...).
    virtual LRESULT WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam);
    // The message map. Overrides: return DispatchMessageMap(*this, kMap, ...)
    // || CDialog::OnWndMsg(...).
    virtual bool OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);

    // Exchanges and validates, then ends with IDOK.
    virtual void OnOK();
    virtual void OnCancel();

    // Hands the message being handled on to the system's default dialog
    // handling; what the handler returns is then ignored. For WM_CLOSE that
    // default ends the dialog through IDCANCEL.
    LRESULT Default();

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    // One per message being handled; nested and reentrant messages (a
    // handler that sends another message to the dialog) each get their own,
    // so Default() marks exactly the message it was called for.
    struct CMessageFrame {
        bool bHandled;
        CMessageFrame* pOuter;
    };

    static const CMessageMapEntry<CDialog> kMessageMap[];

    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT OnInitDialogMessage(WPARAM wParam, LPARAM lParam);
    HWND FindOwner() const;
    void RunModalLoop();
    void CloseModalWindow(HWND hOwner, bool bEnableOwner) noexcept;
    void OnWindowGone(HWND hWnd) noexcept;

    CMessageFrame* m_pCurrentFrame = nullptr;
    bool m_bEndRequested = false;
    int m_nModalResult = -1;
    std::vector<std::pair<CWnd*, HWND>> m_attachedControls;
};
