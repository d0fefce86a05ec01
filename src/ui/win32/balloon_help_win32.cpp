#include "ui/win32/balloon_help_win32.h"

#include <windowsx.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "framework/afx_app.h"

namespace {

const wchar_t kShadowClassName[] = L"BalloonHelpClassDS";
const wchar_t kPlainClassName[] = L"BalloonHelpClass";

constexpr UINT_PTR BALLOON_TIMER_ID = 1;
constexpr DWORD BALLOON_FADE_MS = 200;

bool IsButtonDown(UINT nMsg, UINT nDown, UINT nDoubleClick, UINT nNcDown, UINT nNcDoubleClick)
{
    return nMsg == nDown || nMsg == nDoubleClick || nMsg == nNcDown || nMsg == nNcDoubleClick;
}

// The option whose bit closes the balloon on this mouse message; 0 for a
// message no option reacts to. A double click presses the button too.
unsigned CloseOptionOfMouseMessage(UINT nMsg)
{
    switch (nMsg) {
    case WM_LBUTTONUP:
    case WM_NCLBUTTONUP: return BALLOON_CLOSE_ON_LBUTTON_UP;
    case WM_MBUTTONUP:
    case WM_NCMBUTTONUP: return BALLOON_CLOSE_ON_MBUTTON_UP;
    case WM_RBUTTONUP:
    case WM_NCRBUTTONUP: return BALLOON_CLOSE_ON_RBUTTON_UP;
    default: break;
    }
    if (IsButtonDown(nMsg, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_NCLBUTTONDOWN, WM_NCLBUTTONDBLCLK))
        return BALLOON_CLOSE_ON_LBUTTON_DOWN;
    if (IsButtonDown(nMsg, WM_MBUTTONDOWN, WM_MBUTTONDBLCLK, WM_NCMBUTTONDOWN, WM_NCMBUTTONDBLCLK))
        return BALLOON_CLOSE_ON_MBUTTON_DOWN;
    if (IsButtonDown(nMsg, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, WM_NCRBUTTONDOWN, WM_NCRBUTTONDBLCLK))
        return BALLOON_CLOSE_ON_RBUTTON_DOWN;
    return 0;
}

} // namespace

constexpr CMessageMapEntry<CBalloonHelp> CBalloonHelp::kMessageMap[] = {
    MapMessage<CBalloonHelp>(WM_SHOWWINDOW, &CBalloonHelp::OnShowWindow),
    MapMessage<CBalloonHelp>(WM_ERASEBKGND, &CBalloonHelp::OnEraseBkgnd),
    MapMessage<CBalloonHelp>(WM_PAINT, &CBalloonHelp::OnPaint),
    MapMessage<CBalloonHelp>(WM_NCPAINT, &CBalloonHelp::OnNcPaint),
    MapMessage<CBalloonHelp>(WM_PRINT, &CBalloonHelp::OnPrint),
    MapMessage<CBalloonHelp>(WM_PRINTCLIENT, &CBalloonHelp::OnPrintClient),
    MapMessage<CBalloonHelp>(WM_NCCALCSIZE, &CBalloonHelp::OnNcCalcSize),
    MapMessage<CBalloonHelp>(WM_NCHITTEST, &CBalloonHelp::OnNcHitTest),
    MapMessage<CBalloonHelp>(WM_LBUTTONDOWN, &CBalloonHelp::OnLButtonDown),
    MapMessage<CBalloonHelp>(WM_MOUSEMOVE, &CBalloonHelp::OnMouseMove),
    MapMessage<CBalloonHelp>(WM_LBUTTONUP, &CBalloonHelp::OnLButtonUp),
    MapMessage<CBalloonHelp>(WM_TIMER, &CBalloonHelp::OnTimer),
    MapMessage<CBalloonHelp>(WM_CLOSE, &CBalloonHelp::OnClose),
    MapMessage<CBalloonHelp>(WM_DESTROY, &CBalloonHelp::OnDestroy),
};

CBalloonHelp::CBalloonHelp()
    : m_crBackground(::GetSysColor(COLOR_INFOBK)), m_crForeground(::GetSysColor(COLOR_INFOTEXT))
{
    if (HMODULE hUser = ::GetModuleHandleW(L"user32.dll"))
        m_pfnAnimateWindow =
            reinterpret_cast<PFNANIMATEWINDOW>(reinterpret_cast<void*>(::GetProcAddress(hUser, "AnimateWindow")));
    int nHoverWidth = 0;
    if (::SystemParametersInfoW(SPI_GETMOUSEHOVERWIDTH, 0, &nHoverWidth, 0) && nHoverWidth > 0)
        m_nMouseTolerance = nHoverWidth;
}

void CBalloonHelp::ShowBalloon(const std::wstring& strTitle, const std::wstring& strContent, POINT ptAnchor,
                               const wchar_t* pszIcon, unsigned unOptions, CWnd* pParentWnd,
                               const std::wstring& strUrl, unsigned unTimeout)
{
    auto pBalloon = std::make_unique<CBalloonHelp>();
    if (pszIcon != nullptr) {
        const int cx = std::max(::GetSystemMetrics(SM_CXSIZE), ::GetSystemMetrics(SM_CXSMICON));
        const int cy = std::max(::GetSystemMetrics(SM_CYSIZE), ::GetSystemMetrics(SM_CYSMICON));
        // Shared: the system keeps it, and it must never be destroyed.
        HICON hIcon = static_cast<HICON>(::LoadImageW(nullptr, pszIcon, IMAGE_ICON, cx, cy, LR_SHARED));
        if (hIcon != nullptr)
            pBalloon->SetIcon(hIcon, cx, cy);
    }
    if (pBalloon->Create(strTitle, strContent, ptAnchor, unOptions | BALLOON_DELETE_WHEN_CLOSED, pParentWnd, strUrl,
                         unTimeout, nullptr)) {
        // Its window owns it now; a failed balloon goes with the pointer.
        static_cast<void>(pBalloon.release());
    }
}

BOOL CBalloonHelp::Create(const std::wstring& strTitle, const std::wstring& strContent, POINT ptAnchor,
                          unsigned unOptions, CWnd* pParentWnd, const std::wstring& strUrl, unsigned unTimeout,
                          HICON hIcon)
{
    if (m_hWnd != nullptr)
        return FALSE;
    m_strContent = strContent;
    SetAnchorPoint(ptAnchor, pParentWnd);
    m_unOptions = unOptions;
    m_strUrl = strUrl;
    m_unTimeout = unTimeout;
    if (hIcon != nullptr)
        SetIcon(hIcon);

    HWND hOwner = pParentWnd != nullptr ? pParentWnd->GetSafeHwnd() : nullptr;
    if (hOwner == nullptr) {
        CWinApp* pApp = AfxGetApp();
        if (pApp != nullptr && pApp->m_pMainWnd != nullptr)
            hOwner = pApp->m_pMainWnd->GetSafeHwnd();
    }
    if (hOwner == nullptr)
        return FALSE;
    if (!CreateFonts())
        return FALSE;
    const wchar_t* pszClassName = PickWindowClass();
    if (pszClassName == nullptr)
        return FALSE;

    BOOL bAnimation = FALSE;
    BOOL bFade = FALSE;
    ::SystemParametersInfoW(SPI_GETTOOLTIPANIMATION, 0, &bAnimation, 0);
    if (bAnimation)
        ::SystemParametersInfoW(SPI_GETTOOLTIPFADE, 0, &bFade, 0);
    if (!bAnimation || !bFade || m_pfnAnimateWindow == nullptr)
        m_unOptions |= BALLOON_NO_FADE_IN | BALLOON_NO_FADE_OUT;

    const DWORD dwExStyle = WS_EX_TOOLWINDOW | ((m_unOptions & BALLOON_TOPMOST) != 0 ? WS_EX_TOPMOST : 0);
    if (!CreateEx(dwExStyle, pszClassName, strTitle, WS_POPUP, RECT{0, 0, 10, 10}, hOwner))
        return FALSE;
    // Only now: a window that failed half way through creation must not
    // take the object with it, since the caller still owns it then.
    if ((m_unOptions & BALLOON_DELETE_WHEN_CLOSED) != 0)
        DeleteWhenDestroyed();
    PositionWindow();

    if ((m_unOptions & BALLOON_CLOSE_ON_MOUSE) != 0) {
        ::GetCursorPos(&m_ptMouseStart);
        m_mouseHook.Install(this);
    }
    // The release may happen over any window, or none of ours: with the
    // capture it still comes to this thread.
    if ((m_unOptions & BALLOON_CLOSE_ON_BUTTON_UP) != 0 && ::GetCapture() == nullptr)
        ::SetCapture(m_hWnd);
    if ((m_unOptions & BALLOON_CLOSE_ON_KEY_DOWN) != 0)
        m_keyboardHook.Install(this);
    Show();
    return TRUE;
}

bool CBalloonHelp::CreateFonts()
{
    if (!m_fontContent) {
        LOGFONTW lf{};
        if (::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf) == 0)
            return false;
        m_fontContent.reset(::CreateFontIndirectW(&lf));
    }
    if (!m_fontTitle && m_fontContent) {
        LOGFONTW lf{};
        if (::GetObjectW(m_fontContent.get(), sizeof(lf), &lf) != 0) {
            lf.lfWeight = FW_BOLD;
            m_fontTitle.reset(::CreateFontIndirectW(&lf));
        }
    }
    return m_fontContent && m_fontTitle;
}

const wchar_t* CBalloonHelp::PickWindowClass() const
{
    HCURSOR hArrow = ::LoadCursorW(nullptr, IDC_ARROW);
    HBRUSH hBrush = ::GetSysColorBrush(COLOR_WINDOW);
    // Systems without drop shadows refuse the shadow class; the plain one
    // serves them.
    RegisterPopupClass(kShadowClassName, CS_DROPSHADOW | CS_SAVEBITS | CS_DBLCLKS, hArrow, hBrush);
    RegisterPopupClass(kPlainClassName, CS_SAVEBITS | CS_DBLCLKS, hArrow, hBrush);
    if ((m_unOptions & BALLOON_NO_SHADOW) == 0 && IsPopupClassRegistered(kShadowClassName))
        return kShadowClassName;
    return IsPopupClassRegistered(kPlainClassName) ? kPlainClassName : nullptr;
}

void CBalloonHelp::SetAnchorPoint(POINT ptAnchor, CWnd* pWndAnchor)
{
    m_ptAnchor = ptAnchor;
    m_hwndAnchor = pWndAnchor != nullptr ? pWndAnchor->GetSafeHwnd() : nullptr;
    if (m_hwndAnchor != nullptr)
        m_callWndRetHook.Install(this);
    else
        m_callWndRetHook.Remove();
    if (m_hWnd != nullptr)
        PositionWindow();
}

void CBalloonHelp::SetTimeout(unsigned unTimeout)
{
    m_unTimeout = unTimeout;
    if (m_hWnd == nullptr)
        return;
    if (unTimeout == 0) {
        ::KillTimer(m_hWnd, BALLOON_TIMER_ID);
        m_unTimerId = 0;
    } else {
        m_unTimerId = ::SetTimer(m_hWnd, BALLOON_TIMER_ID, unTimeout, nullptr);
    }
}

void CBalloonHelp::Show()
{
    ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    if ((m_unOptions & BALLOON_DELAY_CLOSE) == 0)
        SetTimeout(m_unTimeout);
}

void CBalloonHelp::Hide()
{
    if ((m_unOptions & BALLOON_DELAY_CLOSE) != 0) {
        m_unOptions &= ~BALLOON_DELAY_CLOSE_CLEARS;
        SetTimeout(m_unTimeout);
        return;
    }
    if (m_hWnd == nullptr)
        return;
    ::ShowWindow(m_hWnd, SW_HIDE);
    if (::GetCapture() == m_hWnd)
        ::ReleaseCapture();
    DestroyWindow();
}

BalloonPoint CBalloonHelp::GetAnchorOnScreen() const
{
    POINT pt = m_ptAnchor;
    if (m_hwndAnchor != nullptr)
        ::ClientToScreen(m_hwndAnchor, &pt);
    return {pt.x, pt.y};
}

BalloonRect CBalloonHelp::GetWorkArea()
{
    if (m_rcScreen.Width() <= 0 || m_rcScreen.Height() <= 0) {
        const BalloonPoint anchor = GetAnchorOnScreen();
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        HMONITOR hMonitor = ::MonitorFromPoint(POINT{anchor.x, anchor.y}, MONITOR_DEFAULTTONEAREST);
        if (hMonitor != nullptr && ::GetMonitorInfoW(hMonitor, &info))
            m_rcScreen = {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
    }
    return m_rcScreen;
}

void CBalloonHelp::PositionWindow()
{
    m_rcScreen = {};
    SIZE header{};
    SIZE content{};
    if (HDC hdc = ::GetDC(m_hWnd)) {
        header = DrawHeader(hdc, false);
        content = DrawContent(hdc, 0, false);
        ::ReleaseDC(m_hWnd, hdc);
    }
    const BalloonSize window = GetBalloonWindowSize({header.cx, header.cy}, {content.cx, content.cy});
    const BalloonLayout layout = LayoutBalloon(GetAnchorOnScreen(), GetWorkArea(), window);
    m_nPlacement = layout.nPlacement;
    // FRAMECHANGED: the tail may change sides at the same size, and the
    // client area must follow it.
    ::SetWindowPos(m_hWnd, nullptr, layout.origin.x, layout.origin.y, layout.size.cx, layout.size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    ApplyRegion(layout);
}

void CBalloonHelp::ApplyRegion(const BalloonLayout& layout)
{
    POINT tail[3];
    for (int i = 0; i < 3; ++i)
        tail[i] = {layout.tail[i].x, layout.tail[i].y};
    CUniqueRegion rgnTail(::CreatePolygonRgn(tail, 3, ALTERNATE));
    CUniqueRegion rgnBody(::CreateRoundRectRgn(layout.body.left, layout.body.top, layout.body.right,
                                               layout.body.bottom, BALLOON_CORNER, BALLOON_CORNER));
    CUniqueRegion rgnShape(::CreateRectRgn(0, 0, 0, 0));
    if (!rgnTail || !rgnBody || !rgnShape || ::CombineRgn(rgnShape.get(), rgnTail.get(), rgnBody.get(), RGN_OR) == ERROR)
        return;
    if (m_rgnWindow && ::EqualRgn(rgnShape.get(), m_rgnWindow.get()))
        return;
    // The window takes the region it is given; ours is a copy for drawing
    // the frame and for the comparison above.
    CUniqueRegion rgnForWindow(::CreateRectRgn(0, 0, 0, 0));
    if (!rgnForWindow || ::CombineRgn(rgnForWindow.get(), rgnShape.get(), nullptr, RGN_COPY) == ERROR)
        return;
    if (::SetWindowRgn(m_hWnd, rgnForWindow.get(), TRUE) != 0)
        static_cast<void>(rgnForWindow.release());
    m_rgnWindow = std::move(rgnShape);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool CBalloonHelp::OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    static_assert(!HasDuplicateEntries(kMessageMap));
    return DispatchMessageMap(*this, kMessageMap, nMsg, wParam, lParam, lResult) ||
           CPopupWnd::OnWndMsg(nMsg, wParam, lParam, lResult);
}

BOOL CBalloonHelp::Animate(DWORD dwFlags)
{
    if (m_pfnAnimateWindow == nullptr)
        return FALSE;
    return m_pfnAnimateWindow(m_hWnd, BALLOON_FADE_MS, dwFlags);
}

LRESULT CBalloonHelp::OnShowWindow(WPARAM wParam, LPARAM)
{
    if (wParam != FALSE && (m_unOptions & BALLOON_NO_FADE_IN) == 0)
        Animate(AW_BLEND);
    else if (wParam == FALSE && (m_unOptions & BALLOON_NO_FADE_OUT) == 0)
        Animate(AW_HIDE | AW_BLEND);
    return Default();
}

LRESULT CBalloonHelp::OnNcCalcSize(WPARAM, LPARAM lParam)
{
    // Both forms of the message begin with the rectangle to shrink.
    RECT* pRect = reinterpret_cast<RECT*>(lParam);
    const BalloonRect rc =
        GetBalloonClientRect({pRect->left, pRect->top, pRect->right, pRect->bottom}, m_nPlacement);
    *pRect = RECT{rc.left, rc.top, rc.right, rc.bottom};
    return 0;
}

LRESULT CBalloonHelp::OnNcHitTest(WPARAM, LPARAM)
{
    return HTCLIENT;
}

LRESULT CBalloonHelp::OnLButtonDown(WPARAM, LPARAM lParam)
{
    if ((m_unOptions & BALLOON_CLOSE_BUTTON) == 0)
        return 0;
    const RECT rc = GetCloseButtonRect();
    if (::PtInRect(&rc, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
        m_bClosePressed = true;
        ::SetCapture(m_hWnd);
        RedrawCloseButton(DFCS_HOT | DFCS_PUSHED);
    }
    return 0;
}

LRESULT CBalloonHelp::OnMouseMove(WPARAM, LPARAM lParam)
{
    if ((m_unOptions & BALLOON_CLOSE_BUTTON) == 0)
        return 0;
    const RECT rc = GetCloseButtonRect();
    const bool bOver = ::PtInRect(&rc, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != FALSE;
    const UINT nLook = !bOver ? DFCS_FLAT : m_bClosePressed ? DFCS_HOT | DFCS_PUSHED : DFCS_HOT;
    if (nLook != m_unCloseState)
        RedrawCloseButton(nLook);
    return 0;
}

LRESULT CBalloonHelp::OnLButtonUp(WPARAM, LPARAM lParam)
{
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (m_bClosePressed) {
        ::ReleaseCapture();
        m_bClosePressed = false;
        const RECT rc = GetCloseButtonRect();
        if (::PtInRect(&rc, pt))
            Hide();
        else
            RedrawCloseButton(DFCS_FLAT);
        return 0;
    }
    const RECT rcClient = GetClientRect();
    if (!m_strUrl.empty() && ::PtInRect(&rcClient, pt)) {
        ::ShellExecuteW(nullptr, nullptr, m_strUrl.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        Hide();
    }
    return 0;
}

LRESULT CBalloonHelp::OnTimer(WPARAM wParam, LPARAM)
{
    if (wParam != BALLOON_TIMER_ID)
        return Default();
    ::KillTimer(m_hWnd, BALLOON_TIMER_ID);
    m_unTimerId = 0;
    Hide();
    return 0;
}

LRESULT CBalloonHelp::OnClose(WPARAM, LPARAM)
{
    Hide();
    return 0;
}

LRESULT CBalloonHelp::OnDestroy(WPARAM, LPARAM)
{
    m_keyboardHook.Remove();
    m_mouseHook.Remove();
    m_callWndRetHook.Remove();
    return Default();
}

void CBalloonHelp::OnThreadHook(int nIdHook, WPARAM wParam, LPARAM lParam)
{
    if (m_hWnd == nullptr)
        return;
    switch (nIdHook) {
    case WH_MOUSE: OnMouseHook(wParam, lParam); break;
    case WH_KEYBOARD: OnKeyboardHook(wParam, lParam); break;
    case WH_CALLWNDPROCRET: OnCallWndRetHook(lParam); break;
    default: break;
    }
}

void CBalloonHelp::OnMouseHook(WPARAM wParam, LPARAM lParam)
{
    const UINT nMsg = static_cast<UINT>(wParam);
    const unsigned unOption = CloseOptionOfMouseMessage(nMsg);
    if (unOption != 0) {
        if ((m_unOptions & unOption) != 0)
            ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return;
    }
    if ((nMsg == WM_MOUSEMOVE || nMsg == WM_NCMOUSEMOVE) && (m_unOptions & BALLOON_CLOSE_ON_MOUSE_MOVE) != 0) {
        const POINT pt = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->pt;
        if (std::abs(pt.x - m_ptMouseStart.x) > m_nMouseTolerance ||
            std::abs(pt.y - m_ptMouseStart.y) > m_nMouseTolerance)
            ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
    }
}

void CBalloonHelp::OnKeyboardHook(WPARAM, LPARAM lParam)
{
    // Bit 31 is the transition state: set for a release.
    if ((static_cast<DWORD>(lParam) & 0x80000000u) == 0)
        ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CBalloonHelp::OnCallWndRetHook(LPARAM lParam)
{
    const CWPRETSTRUCT* pCall = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (pCall->hwnd == m_hwndAnchor && pCall->message == WM_MOVE)
        PositionWindow();
}
