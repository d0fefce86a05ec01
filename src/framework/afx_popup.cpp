#include "framework/afx_popup.h"

namespace {

// Classes and windows both belong to the executable: a class registered
// with one module cannot make windows for another.
HINSTANCE PopupInstance()
{
    return ::GetModuleHandleW(nullptr);
}

} // namespace

CPopupWnd::~CPopupWnd()
{
    if (m_hWnd != nullptr) {
        // Being destroyed already: the window must not delete us again.
        m_bDeleteWhenDestroyed = false;
        ::DestroyWindow(m_hWnd);
    }
}

bool CPopupWnd::IsPopupClassRegistered(const wchar_t* pszClassName)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    return ::GetClassInfoExW(PopupInstance(), pszClassName, &wc) != FALSE;
}

bool CPopupWnd::RegisterPopupClass(const wchar_t* pszClassName, UINT nStyle, HCURSOR hCursor, HBRUSH hbrBackground)
{
    if (IsPopupClassRegistered(pszClassName))
        return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = nStyle;
    wc.lpfnWndProc = PopupWndProc;
    wc.hInstance = PopupInstance();
    wc.hCursor = hCursor;
    wc.hbrBackground = hbrBackground;
    wc.lpszClassName = pszClassName;
    return ::RegisterClassExW(&wc) != 0;
}

bool CPopupWnd::CreateEx(DWORD dwExStyle, const wchar_t* pszClassName, const std::wstring& strText, DWORD dwStyle,
                         const RECT& rc, HWND hOwner)
{
    if (m_hWnd != nullptr)
        return false;
    // WM_NCCREATE binds m_hWnd; a failure later in creation unbinds it again
    // through WM_NCDESTROY.
    return ::CreateWindowExW(dwExStyle, pszClassName, strText.c_str(), dwStyle, rc.left, rc.top, rc.right - rc.left,
                             rc.bottom - rc.top, hOwner, nullptr, PopupInstance(), this) != nullptr;
}

BOOL CPopupWnd::DestroyWindow()
{
    return m_hWnd != nullptr ? ::DestroyWindow(m_hWnd) : FALSE;
}

CPopupWnd* CPopupWnd::FromHandle(HWND hWnd)
{
    if (hWnd == nullptr || ::GetWindowLongPtrW(hWnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(PopupWndProc))
        return nullptr;
    return reinterpret_cast<CPopupWnd*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

LRESULT CPopupWnd::WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (OnWndMsg(nMsg, wParam, lParam, lResult))
        return lResult;
    return Default();
}

bool CPopupWnd::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

LRESULT CPopupWnd::Default()
{
    if (m_pCurrentFrame == nullptr || m_hWnd == nullptr)
        return 0;
    return ::DefWindowProcW(m_hWnd, m_pCurrentFrame->nMsg, m_pCurrentFrame->wParam, m_pCurrentFrame->lParam);
}

LRESULT CALLBACK CPopupWnd::PopupWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CPopupWnd* pThis = nullptr;
    if (nMsg == WM_NCCREATE) {
        pThis = static_cast<CPopupWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (pThis != nullptr) {
            ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pThis));
            pThis->m_hWnd = hWnd;
        }
    } else {
        pThis = reinterpret_cast<CPopupWnd*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    }
    // WM_GETMINMAXINFO comes before WM_NCCREATE; a window made by someone
    // else with our class has no object at all.
    if (pThis == nullptr)
        return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
    const LRESULT lResult = pThis->HandleMessage(nMsg, wParam, lParam);
    if (nMsg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        OnWindowGone(pThis);
    }
    return lResult;
}

LRESULT CPopupWnd::HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) noexcept
{
    const CMessageFrame frame{nMsg, wParam, lParam};
    const CMessageFrame* pOuter = m_pCurrentFrame;
    m_pCurrentFrame = &frame;
    LRESULT lResult = 0;
    try {
        lResult = WindowProc(nMsg, wParam, lParam);
    } catch (...) {
        // A creation that threw must not leave a half-made window behind.
        lResult = nMsg == WM_NCCREATE ? FALSE : nMsg == WM_CREATE ? -1 : 0;
    }
    m_pCurrentFrame = pOuter;
    return lResult;
}

void CPopupWnd::OnWindowGone(CPopupWnd* pThis) noexcept
{
    pThis->m_hWnd = nullptr;
    try {
        pThis->PostNcDestroy();
    } catch (...) {
        // Nothing to report to: the window is gone either way.
    }
    // The one place where a window's object goes with it.
    if (pThis->m_bDeleteWhenDestroyed)
        delete pThis;
}
