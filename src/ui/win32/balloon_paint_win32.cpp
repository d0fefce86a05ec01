// The balloon's drawing and its icon: header, content, frame and border.

#include "ui/win32/balloon_help_win32.h"

#include <algorithm>

namespace {

struct CMemoryDcTraits {
    using type = HDC;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::DeleteDC(h); }
};
using CUniqueMemoryDc = CUniqueHandle<CMemoryDcTraits>;

// GetDC's device contexts go back with ReleaseDC, to the window they came from.
class CWindowDc {
public:
    CWindowDc(HWND hWnd, bool bWholeWindow)
        : m_hWnd(hWnd), m_hdc(bWholeWindow ? ::GetWindowDC(hWnd) : ::GetDC(hWnd))
    {
    }
    ~CWindowDc()
    {
        if (m_hdc != nullptr)
            ::ReleaseDC(m_hWnd, m_hdc);
    }
    CWindowDc(const CWindowDc&) = delete;
    CWindowDc& operator=(const CWindowDc&) = delete;
    HDC get() const { return m_hdc; }

private:
    HWND m_hWnd;
    HDC m_hdc;
};

// Puts back what was selected before, so that our fonts and bitmaps are
// free to be deleted.
class CSelectGuard {
public:
    CSelectGuard(HDC hdc, HGDIOBJ hObject) : m_hdc(hdc), m_hOld(::SelectObject(hdc, hObject)) {}
    ~CSelectGuard()
    {
        if (m_hOld != nullptr && m_hOld != HGDI_ERROR)
            ::SelectObject(m_hdc, m_hOld);
    }
    CSelectGuard(const CSelectGuard&) = delete;
    CSelectGuard& operator=(const CSelectGuard&) = delete;

private:
    HDC m_hdc;
    HGDIOBJ m_hOld;
};

COLORREF ToColorRef(BalloonColour colour)
{
    return RGB(colour.r, colour.g, colour.b);
}

BalloonColour ToColour(COLORREF cr)
{
    return {GetRValue(cr), GetGValue(cr), GetBValue(cr)};
}

void FillWithColour(HDC hdc, const RECT& rc, COLORREF cr)
{
    CUniqueBrush brush(::CreateSolidBrush(cr));
    if (brush)
        ::FillRect(hdc, &rc, brush.get());
}

// Frames a copy of the region moved by (dx, dy); the region stays put.
void FrameRegionAt(HDC hdc, HRGN hRegion, int dx, int dy, COLORREF cr, int nWidth)
{
    CUniqueRegion rgn(::CreateRectRgn(0, 0, 0, 0));
    CUniqueBrush brush(::CreateSolidBrush(cr));
    if (!rgn || !brush || ::CombineRgn(rgn.get(), hRegion, nullptr, RGN_COPY) == ERROR)
        return;
    ::OffsetRgn(rgn.get(), dx, dy);
    ::FrameRgn(hdc, rgn.get(), brush.get(), nWidth, nWidth);
}

struct CIconBitmaps {
    CUniqueBitmap color;
    CUniqueBitmap mask;
    SIZE size{};
};

// The icon's own bitmaps and size; a monochrome icon keeps both halves in
// its mask, one above the other.
bool ReadIconBitmaps(HICON hIcon, CIconBitmaps& bitmaps)
{
    ICONINFO info{};
    if (hIcon == nullptr || !::GetIconInfo(hIcon, &info))
        return false;
    bitmaps.color.reset(info.hbmColor);
    bitmaps.mask.reset(info.hbmMask);
    BITMAP bm{};
    HBITMAP hMeasured = bitmaps.color ? bitmaps.color.get() : bitmaps.mask.get();
    if (hMeasured == nullptr || ::GetObjectW(hMeasured, sizeof(bm), &bm) == 0)
        return false;
    bitmaps.size = {bm.bmWidth, bitmaps.color ? bm.bmHeight : bm.bmHeight / 2};
    return bitmaps.size.cx > 0 && bitmaps.size.cy > 0;
}

} // namespace

void CBalloonHelp::SetIcon(HICON hIcon, int cx, int cy)
{
    CIconBitmaps bitmaps;
    if (cx <= 0 || cy <= 0 || !ReadIconBitmaps(hIcon, bitmaps))
        return;
    CWindowDc screen(nullptr, false);
    CUniqueMemoryDc dcIcon(::CreateCompatibleDC(screen.get()));
    CUniqueMemoryDc dcScaled(::CreateCompatibleDC(screen.get()));
    CUniqueBitmap bmIcon(::CreateCompatibleBitmap(screen.get(), bitmaps.size.cx, bitmaps.size.cy));
    CUniqueBitmap bmScaled(::CreateCompatibleBitmap(screen.get(), cx, cy));
    if (!dcIcon || !dcScaled || !bmIcon || !bmScaled)
        return;
    {
        CSelectGuard iconSelected(dcIcon.get(), bmIcon.get());
        CSelectGuard scaledSelected(dcScaled.get(), bmScaled.get());
        FillWithColour(dcIcon.get(), RECT{0, 0, bitmaps.size.cx, bitmaps.size.cy}, m_crBackground);
        ::DrawIconEx(dcIcon.get(), 0, 0, hIcon, bitmaps.size.cx, bitmaps.size.cy, 0, nullptr, DI_NORMAL);
        ::StretchBlt(dcScaled.get(), 0, 0, cx, cy, dcIcon.get(), 0, 0, bitmaps.size.cx, bitmaps.size.cy, SRCCOPY);
    }
    // The background colour becomes the mask, so the icon sits on the
    // balloon without a box around it.
    CUniqueImageList imageList(::ImageList_Create(cx, cy, ILC_COLOR24 | ILC_MASK, 1, 0));
    if (!imageList || ::ImageList_AddMasked(imageList.get(), bmScaled.get(), m_crBackground) < 0)
        return;
    SetImageList(std::move(imageList));
}

void CBalloonHelp::SetIcon(HICON hIcon)
{
    CIconBitmaps bitmaps;
    if (!ReadIconBitmaps(hIcon, bitmaps))
        return;
    if (!bitmaps.color) {
        // Nothing to add as colour; drawn onto the background it becomes one.
        SetIcon(hIcon, bitmaps.size.cx, bitmaps.size.cy);
        return;
    }
    CUniqueImageList imageList(::ImageList_Create(bitmaps.size.cx, bitmaps.size.cy, ILC_COLOR24 | ILC_MASK, 1, 0));
    if (!imageList || ::ImageList_Add(imageList.get(), bitmaps.color.get(), bitmaps.mask.get()) < 0)
        return;
    SetImageList(std::move(imageList));
}

void CBalloonHelp::SetImageList(CUniqueImageList imageList)
{
    m_ilIcon = std::move(imageList);
    if (m_hWnd != nullptr)
        PositionWindow();
}

RECT CBalloonHelp::GetCloseButtonRect() const
{
    const RECT rcClient = GetClientRect();
    return RECT{rcClient.right - ::GetSystemMetrics(SM_CXSIZE), rcClient.top, rcClient.right,
                rcClient.top + ::GetSystemMetrics(SM_CYSIZE)};
}

void CBalloonHelp::DrawCloseButton(HDC hdc, UINT nLook)
{
    RECT rc = GetCloseButtonRect();
    ::DrawFrameControl(hdc, &rc, DFC_CAPTION, DFCS_CAPTIONCLOSE | nLook);
    m_unCloseState = nLook;
}

void CBalloonHelp::RedrawCloseButton(UINT nLook)
{
    CWindowDc dc(m_hWnd, false);
    if (dc.get() != nullptr)
        DrawCloseButton(dc.get(), nLook);
}

SIZE CBalloonHelp::DrawHeader(HDC hdc, bool bDraw)
{
    SIZE size{0, 0};
    RECT rcArea = GetClientRect();
    if (m_ilIcon) {
        int cx = 0;
        int cy = 0;
        ::ImageList_GetIconSize(m_ilIcon.get(), &cx, &cy);
        size.cx += cx;
        size.cy = std::max<LONG>(size.cy, cy);
        if (bDraw)
            ::ImageList_DrawEx(m_ilIcon.get(), 0, hdc, rcArea.left, rcArea.top, cx, cy, m_crBackground, CLR_NONE,
                               ILD_NORMAL);
        rcArea.left += cx;
    }
    if ((m_unOptions & BALLOON_CLOSE_BUTTON) != 0) {
        if (size.cx > 0)
            size.cx += BALLOON_MARGIN;
        size.cx += ::GetSystemMetrics(SM_CXSIZE);
        size.cy = std::max<LONG>(size.cy, ::GetSystemMetrics(SM_CYSIZE));
        if (bDraw)
            DrawCloseButton(hdc, DFCS_FLAT);
        rcArea.right -= ::GetSystemMetrics(SM_CXSIZE);
    }
    const std::wstring strTitle = GetWindowText();
    if (!strTitle.empty()) {
        if (size.cx > 0)
            size.cx += BALLOON_MARGIN;
        CSelectGuard font(hdc, m_fontTitle.get());
        const UINT nFormat = DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX;
        RECT rcTitle{0, 0, 0, 0};
        ::DrawTextW(hdc, strTitle.c_str(), static_cast<int>(strTitle.size()), &rcTitle, nFormat | DT_CALCRECT);
        size.cx += rcTitle.right - rcTitle.left;
        size.cy = std::max<LONG>(size.cy, rcTitle.bottom - rcTitle.top);
        if (bDraw) {
            ::SetBkMode(hdc, TRANSPARENT);
            ::SetTextColor(hdc, m_crForeground);
            ::DrawTextW(hdc, strTitle.c_str(), static_cast<int>(strTitle.size()), &rcArea,
                        nFormat | DT_CENTER | DT_TOP);
        }
    }
    return size;
}

SIZE CBalloonHelp::DrawContent(HDC hdc, int nTop, bool bDraw)
{
    if (m_strContent.empty())
        return SIZE{0, 0};
    const RECT rcClient = GetClientRect();
    const UINT nFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;
    RECT rc{rcClient.left, nTop, rcClient.left + GetBalloonContentWrapWidth(GetWorkArea()), nTop};
    CSelectGuard font(hdc, m_fontContent.get());
    ::DrawTextW(hdc, m_strContent.c_str(), static_cast<int>(m_strContent.size()), &rc, nFormat | DT_CALCRECT);
    if (bDraw) {
        ::SetBkMode(hdc, TRANSPARENT);
        ::SetTextColor(hdc, m_crForeground);
        ::DrawTextW(hdc, m_strContent.c_str(), static_cast<int>(m_strContent.size()), &rc, nFormat);
    }
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

void CBalloonHelp::DrawClientArea(HDC hdc)
{
    const SIZE header = DrawHeader(hdc, true);
    DrawContent(hdc, header.cy + BALLOON_MARGIN, true);
}

void CBalloonHelp::DrawNonClientArea(HDC hdc)
{
    const RECT rcWindow = GetWindowRect();
    RECT rcClient = GetClientRect();
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&rcClient), 2);
    ::OffsetRect(&rcClient, -rcWindow.left, -rcWindow.top);
    const int nSaved = ::SaveDC(hdc);
    ::ExcludeClipRect(hdc, rcClient.left, rcClient.top, rcClient.right, rcClient.bottom);
    FillWithColour(hdc, RECT{0, 0, rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top}, m_crBackground);
    ::RestoreDC(hdc, nSaved);
    if (!m_rgnWindow)
        return;
    if ((m_unOptions & BALLOON_3D_BORDER) != 0) {
        const BalloonColour background = ToColour(m_crBackground);
        FrameRegionAt(hdc, m_rgnWindow.get(), 1, 1, ToColorRef(GetBalloonBorderLight(background)), 2);
        FrameRegionAt(hdc, m_rgnWindow.get(), -1, -1,
                      ToColorRef(GetBalloonBorderShade(ToColour(m_crForeground), background)), 2);
    }
    FrameRegionAt(hdc, m_rgnWindow.get(), 0, 0, m_crForeground, 1);
}

LRESULT CBalloonHelp::OnEraseBkgnd(WPARAM wParam, LPARAM)
{
    FillWithColour(reinterpret_cast<HDC>(wParam), GetClientRect(), m_crBackground);
    return TRUE;
}

LRESULT CBalloonHelp::OnPaint(WPARAM, LPARAM)
{
    PAINTSTRUCT ps{};
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    if (hdc != nullptr) {
        DrawClientArea(hdc);
        ::EndPaint(m_hWnd, &ps);
    }
    return 0;
}

LRESULT CBalloonHelp::OnNcPaint(WPARAM, LPARAM)
{
    CWindowDc dc(m_hWnd, true);
    if (dc.get() != nullptr)
        DrawNonClientArea(dc.get());
    return 0;
}

LRESULT CBalloonHelp::OnPrint(WPARAM wParam, LPARAM lParam)
{
    if ((lParam & PRF_NONCLIENT) != 0)
        DrawNonClientArea(reinterpret_cast<HDC>(wParam));
    return Default();
}

LRESULT CBalloonHelp::OnPrintClient(WPARAM wParam, LPARAM lParam)
{
    if ((lParam & PRF_ERASEBKGND) != 0)
        SendMessage(WM_ERASEBKGND, wParam);
    if ((lParam & PRF_CLIENT) != 0)
        DrawClientArea(reinterpret_cast<HDC>(wParam));
    return 0;
}
