#include "framework/afx_dialog.h"

#include "framework/afx_app.h"
#include "framework/afx_ddx.h"
#include "framework/afx_resource.h"

namespace {

// Messages whose result the dialog procedure returns itself instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT nMsg)
{
    switch (nMsg) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYNEWPALETTE:
        return true;
    default:
        return false;
    }
}

} // namespace

constexpr CMessageMapEntry<CDialog> CDialog::kMessageMap[] = {
    MapMessage<CDialog>(WM_INITDIALOG, &CDialog::OnInitDialogMessage),
    MapCommand<CDialog>(BN_CLICKED, IDOK, &CDialog::OnOK),
    MapCommand<CDialog>(BN_CLICKED, IDCANCEL, &CDialog::OnCancel),
};

CDialog::CDialog(UINT nIDTemplate, CWnd* pParent) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal()
{
    // One window per object: a second modal run from inside the first would
    // share m_hWnd and the loop's state.
    if (m_hWnd != nullptr)
        return -1;
    HINSTANCE hInstance = AfxGetResourceHandle();
    const DLGTEMPLATE* pTemplate = AfxFindDialogTemplate(hInstance, m_nIDTemplate, AfxGetResourceLanguage());
    if (pTemplate == nullptr)
        return -1;

    HWND hOwner = FindOwner();
    const bool bDisableOwner = hOwner != nullptr && ::IsWindowEnabled(hOwner);
    if (bDisableOwner)
        ::EnableWindow(hOwner, FALSE);
    m_bEndRequested = false;
    m_nModalResult = -1;

    // Restores the owner and destroys the window on every way out, including
    // an exception from an overridden PreTranslateMessage.
    struct CModalScope {
        CDialog& dialog;
        HWND hOwner;
        bool bEnableOwner;
        ~CModalScope() { dialog.CloseModalWindow(hOwner, bEnableOwner); }
    } scope{*this, hOwner, bDisableOwner};

    if (::CreateDialogIndirectParamW(hInstance, pTemplate, hOwner, DialogProc, reinterpret_cast<LPARAM>(this)) ==
        nullptr)
        return -1;
    if (!m_bEndRequested && m_hWnd != nullptr) {
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        RunModalLoop();
    }
    return m_nModalResult;
}

HWND CDialog::FindOwner() const
{
    HWND hOwner = m_pParentWnd != nullptr ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (hOwner == nullptr) {
        CWinApp* pApp = AfxGetApp();
        if (pApp != nullptr && pApp->m_pMainWnd != nullptr && pApp->m_pMainWnd != this)
            hOwner = pApp->m_pMainWnd->GetSafeHwnd();
    }
    // Only a top-level window can own a dialog and be disabled for it.
    return hOwner != nullptr ? ::GetAncestor(hOwner, GA_ROOT) : nullptr;
}

void CDialog::RunModalLoop()
{
    // m_hWnd turns null if someone else destroys the window; the loop must
    // not wait for an EndDialog that can no longer come.
    while (!m_bEndRequested && m_hWnd != nullptr) {
        MSG msg;
        const BOOL bResult = ::GetMessageW(&msg, nullptr, 0, 0);
        if (bResult == -1)
            return;
        if (bResult == 0) {
            // The outer loop must see the quit too, with its code.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_nModalResult = -1;
            return;
        }
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void CDialog::CloseModalWindow(HWND hOwner, bool bEnableOwner) noexcept
{
    HWND hWnd = m_hWnd;
    // Hidden first and the owner enabled before destruction, so the
    // activation passes back to the owner instead of to some other program.
    if (hWnd != nullptr)
        ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (bEnableOwner)
        ::EnableWindow(hOwner, TRUE);
    if (hWnd != nullptr && hOwner != nullptr && ::GetActiveWindow() == hWnd)
        ::SetActiveWindow(hOwner);
    if (hWnd != nullptr)
        ::DestroyWindow(hWnd);
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bEndRequested = true;
    // EndDialog may come from a message sent by another thread, which
    // GetMessageW handles without returning; a posted message wakes the loop.
    if (m_hWnd != nullptr)
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    m_attachedControls.insert(m_attachedControls.end(), dx.m_attachedControls.begin(), dx.m_attachedControls.end());
    return dx.IsFailed() ? FALSE : TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    if (m_hWnd == nullptr || pMsg->hwnd == nullptr)
        return FALSE;
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd))
        return FALSE;
    return ::IsDialogMessageW(m_hWnd, pMsg);
}

LRESULT CDialog::WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (OnWndMsg(nMsg, wParam, lParam, lResult))
        return lResult;
    return Default();
}

bool CDialog::OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    static_assert(!HasDuplicateEntries(kMessageMap));
    return DispatchMessageMap(*this, kMessageMap, nMsg, wParam, lParam, lResult);
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT CDialog::Default()
{
    if (m_pCurrentFrame != nullptr)
        m_pCurrentFrame->bHandled = false;
    return 0;
}

LRESULT CDialog::OnInitDialogMessage(WPARAM, LPARAM)
{
    return OnInitDialog();
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CDialog* pThis = nullptr;
    if (nMsg == WM_INITDIALOG) {
        pThis = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, lParam);
        pThis->m_hWnd = hWnd;
    } else {
        pThis = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) get the default handling.
    if (pThis == nullptr)
        return FALSE;
    return pThis->HandleMessage(hWnd, nMsg, wParam, lParam);
}

INT_PTR CDialog::HandleMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) noexcept
{
    CMessageFrame frame{true, m_pCurrentFrame};
    m_pCurrentFrame = &frame;
    LRESULT lResult = 0;
    bool bThrew = false;
    try {
        lResult = WindowProc(nMsg, wParam, lParam);
    } catch (...) {
        bThrew = true;
    }
    m_pCurrentFrame = frame.pOuter;

    if (nMsg == WM_NCDESTROY)
        OnWindowGone(hWnd);
    if (bThrew) {
        // A dialog whose set-up failed half way must not be shown to the user.
        if (nMsg == WM_INITDIALOG)
            EndDialog(-1);
        return FALSE;
    }
    if (!frame.bHandled)
        return FALSE;
    if (ReturnsResultDirectly(nMsg))
        return static_cast<INT_PTR>(lResult);
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}

void CDialog::OnWindowGone(HWND hWnd) noexcept
{
    for (const auto& [pControl, hControl] : m_attachedControls) {
        if (pControl->m_hWnd == hControl)
            pControl->Detach();
    }
    m_attachedControls.clear();
    ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
}
