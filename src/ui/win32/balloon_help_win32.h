#pragma once
// A popup shaped like a speech balloon, whose tail points at an anchor on
// the screen: optional icon, bold title, optional close button and wrapped
// content, in the system's tooltip colours. Option bits say what closes it
// and how it looks.
//
// Mouse and key options react to input anywhere in the creating thread's
// windows, through that thread's hooks; the balloon never takes the focus.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/win32/handles_win32.h"
#include "framework/afx_msgmap.h"
#include "framework/afx_popup.h"
#include "ui/balloon_geometry.h"
#include "ui/win32/balloon_hooks_win32.h"

// What closes the balloon.
constexpr unsigned BALLOON_CLOSE_ON_LBUTTON_UP = 0x0001;
constexpr unsigned BALLOON_CLOSE_ON_MBUTTON_UP = 0x0002;
constexpr unsigned BALLOON_CLOSE_ON_RBUTTON_UP = 0x0004;
constexpr unsigned BALLOON_CLOSE_ON_LBUTTON_DOWN = 0x0008;
constexpr unsigned BALLOON_CLOSE_ON_MBUTTON_DOWN = 0x0010;
constexpr unsigned BALLOON_CLOSE_ON_RBUTTON_DOWN = 0x0020;
// Farther than the mouse tolerance from where the mouse was at creation.
constexpr unsigned BALLOON_CLOSE_ON_MOUSE_MOVE = 0x0040;
constexpr unsigned BALLOON_CLOSE_ON_KEY_DOWN = 0x0080;
// The first close request only starts the timeout, and drops the mouse
// bits and itself, so the balloon closes when the timeout ends.
constexpr unsigned BALLOON_DELAY_CLOSE = 0x0100;
// The window owns the object and deletes it once destroyed.
constexpr unsigned BALLOON_DELETE_WHEN_CLOSED = 0x0200;
// How it looks.
constexpr unsigned BALLOON_CLOSE_BUTTON = 0x0400;
constexpr unsigned BALLOON_3D_BORDER = 0x0800;
constexpr unsigned BALLOON_TOPMOST = 0x1000;
constexpr unsigned BALLOON_NO_SHADOW = 0x2000;
constexpr unsigned BALLOON_NO_FADE_IN = 0x4000;
constexpr unsigned BALLOON_NO_FADE_OUT = 0x8000;

constexpr unsigned BALLOON_CLOSE_ON_MOUSE = 0x007F;
constexpr unsigned BALLOON_CLOSE_ON_BUTTON_UP =
    BALLOON_CLOSE_ON_LBUTTON_UP | BALLOON_CLOSE_ON_MBUTTON_UP | BALLOON_CLOSE_ON_RBUTTON_UP;
// What the first close request of a delayed close clears: every mouse
// reason, and the delay itself. A key still closes at once.
constexpr unsigned BALLOON_DELAY_CLOSE_CLEARS = BALLOON_CLOSE_ON_MOUSE | BALLOON_DELAY_CLOSE;

struct CImageListTraits {
    using type = HIMAGELIST;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::ImageList_Destroy(h); }
};
using CUniqueImageList = CUniqueHandle<CImageListTraits>;

class CBalloonHelp : public CPopupWnd, private IBalloonHookClient {
public:
    CBalloonHelp();
    // A window still alive goes with the object, after its hooks.
    ~CBalloonHelp() override = default;

    // A balloon that owns itself and lives until it closes. pszIcon names a
    // system icon (IDI_HAND) or is null for none; the options always gain
    // BALLOON_DELETE_WHEN_CLOSED.
    static void ShowBalloon(const std::wstring& strTitle, const std::wstring& strContent, POINT ptAnchor,
                            const wchar_t* pszIcon, unsigned unOptions, CWnd* pParentWnd, const std::wstring& strUrl,
                            unsigned unTimeout);

    // Shown at once. Fails without an owner (the parent, else the
    // application's main window), fonts, window class or window. With
    // BALLOON_DELETE_WHEN_CLOSED the object must come from std::make_unique
    // and be released by the caller once this succeeded.
    BOOL Create(const std::wstring& strTitle, const std::wstring& strContent, POINT ptAnchor, unsigned unOptions,
                CWnd* pParentWnd, const std::wstring& strUrl, unsigned unTimeout, HICON hIcon);

    // The anchor is in pWndAnchor's client coordinates, or on the screen
    // without a window; the balloon follows that window when it moves.
    void SetAnchorPoint(POINT ptAnchor, CWnd* pWndAnchor = nullptr);
    // The icon scaled to cx by cy; the caller keeps hIcon.
    void SetIcon(HICON hIcon, int cx, int cy);
    // The icon at its own size.
    void SetIcon(HICON hIcon);
    // 0 for none.
    void SetTimeout(unsigned unTimeout);

    void Show();
    // The close request.
    void Hide();

    unsigned GetOptions() const { return m_unOptions; }
    const std::wstring& GetContent() const { return m_strContent; }

    static const CMessageMapEntry<CBalloonHelp> kMessageMap[];

protected:
    virtual void DrawNonClientArea(HDC hdc);
    virtual void DrawClientArea(HDC hdc);
    // With bDraw false both only measure.
    virtual SIZE DrawHeader(HDC hdc, bool bDraw);
    virtual SIZE DrawContent(HDC hdc, int nTop, bool bDraw);

    bool OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    using PFNANIMATEWINDOW = BOOL(WINAPI*)(HWND, DWORD, DWORD);

    LRESULT OnShowWindow(WPARAM wParam, LPARAM lParam);
    LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnPrint(WPARAM wParam, LPARAM lParam);
    LRESULT OnPrintClient(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcCalcSize(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
    LRESULT OnClose(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);

    void OnThreadHook(int nIdHook, WPARAM wParam, LPARAM lParam) override;
    void OnMouseHook(WPARAM wParam, LPARAM lParam);
    void OnKeyboardHook(WPARAM wParam, LPARAM lParam);
    void OnCallWndRetHook(LPARAM lParam);

    bool CreateFonts();
    const wchar_t* PickWindowClass() const;
    void PositionWindow();
    BalloonRect GetWorkArea();
    BalloonPoint GetAnchorOnScreen() const;
    void ApplyRegion(const BalloonLayout& layout);
    RECT GetCloseButtonRect() const;
    void DrawCloseButton(HDC hdc, UINT nLook);
    void RedrawCloseButton(UINT nLook);
    void SetImageList(CUniqueImageList imageList);
    BOOL Animate(DWORD dwFlags);

    CBalloonHookLink m_keyboardHook{WH_KEYBOARD};
    CBalloonHookLink m_mouseHook{WH_MOUSE};
    CBalloonHookLink m_callWndRetHook{WH_CALLWNDPROCRET};
    PFNANIMATEWINDOW m_pfnAnimateWindow = nullptr;
    unsigned m_unOptions = 0;
    unsigned m_unTimeout = 0;
    UINT_PTR m_unTimerId = 0;
    std::wstring m_strContent;
    std::wstring m_strUrl;
    HWND m_hwndAnchor = nullptr;
    POINT m_ptAnchor{};
    CUniqueImageList m_ilIcon;
    CUniqueFont m_fontTitle;
    CUniqueFont m_fontContent;
    COLORREF m_crBackground;
    COLORREF m_crForeground;
    BalloonRect m_rcScreen{};
    CUniqueRegion m_rgnWindow;
    POINT m_ptMouseStart{};
    // The close button's look (DFCS_ flags), and whether it is held down.
    UINT m_unCloseState = 0;
    bool m_bClosePressed = false;
    int m_nMouseTolerance = 3;
    int m_nPlacement = BALLOON_BELOW_TAIL_RIGHT;
};
