// Shows the error balloon in its four placements around four marked
// anchors, for the screenshots under docs/. "reason" shows four balloons as
// the dialog builds them for drives that failed, in the user's language,
// with the system's own texts for their reasons.
//
//   corvantis_balloon_shots plain|3d|reason [SECONDS]

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/win32/ui_language_win32.h"
#include "framework/afx_app.h"
#include "platform/win32/system_messages_win32.h"
#include "ui/slot_error_text.h"
#include "ui/win32/balloon_help_win32.h"

namespace {

const POINT kAnchors[] = {{260, 170}, {764, 170}, {260, 598}, {764, 598}};

// A cross at every anchor, so the picture shows where each tip must touch.
LRESULT CALLBACK BackdropProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg != WM_PAINT)
        return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    PAINTSTRUCT ps{};
    HDC hdc = BeginPaint(hWnd, &ps);
    RECT rc{};
    GetClientRect(hWnd, &rc);
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    CUniqueBrush red(CreateSolidBrush(RGB(220, 0, 0)));
    for (const POINT& pt : kAnchors) {
        const RECT rcAcross{pt.x - 12, pt.y, pt.x + 13, pt.y + 1};
        const RECT rcDown{pt.x, pt.y - 12, pt.x + 1, pt.y + 13};
        FillRect(hdc, &rcAcross, red.get());
        FillRect(hdc, &rcDown, red.get());
    }
    EndPaint(hWnd, &ps);
    return 0;
}

// Each through the dialog's own text: the code's title and body, and the
// reason's line where there is one (E1 has none).
void ShowReasonBalloons()
{
    const struct {
        const wchar_t* pszStatus;
        SlotFailure failure;
        const wchar_t* pszDevice;
    } kShots[] = {
        {L"E7", {FAIL_STEP_WRITING, ERROR_NOT_READY}, L"G:"},
        {L"E6", {FAIL_STEP_FORMATTING, ERROR_WRITE_PROTECT}, L"H:"},
        {L"E8", {FAIL_STEP_READING_BACK, ERROR_CRC}, L"J:"},
        {L"E1", {}, L"K:"},
    };
    CWin32SystemMessages messages;
    for (size_t i = 0; i < sizeof(kShots) / sizeof(kShots[0]); ++i) {
        std::wstring strTitle;
        std::wstring strBody;
        if (BuildSlotErrorMessage(kShots[i].pszStatus, kShots[i].failure, kShots[i].pszDevice, messages, strTitle,
                                  strBody))
            CBalloonHelp::ShowBalloon(strTitle, strBody, kAnchors[i], IDI_HAND, 0, nullptr, L"", 0);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring strLook = argc > 1 ? argv[1] : L"";
    if (strLook != L"plain" && strLook != L"3d" && strLook != L"reason") {
        std::fprintf(stderr, "usage: corvantis_balloon_shots plain|3d|reason [SECONDS]\n");
        return 2;
    }
    const int nSeconds = argc > 2 ? _wtoi(argv[2]) : 10;

    WNDCLASSW wc{};
    wc.lpfnWndProc = BackdropProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CorvantisBalloonBackdrop";
    RegisterClassW(&wc);
    HWND hBackdrop = CreateWindowExW(0, wc.lpszClassName, L"backdrop", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768,
                                     nullptr, nullptr, wc.hInstance, nullptr);
    if (hBackdrop == nullptr)
        return 1;
    CWinApp app;
    CWnd backdrop;
    backdrop.Attach(hBackdrop);
    app.m_pMainWnd = &backdrop;
    AfxSetApp(&app);
    UpdateWindow(hBackdrop);

    const unsigned unLook = strLook == L"3d" ? BALLOON_3D_BORDER : 0;
    if (strLook == L"reason") {
        SelectUiLanguage();
        ShowReasonBalloons();
    } else {
        const wchar_t* const pszLong =
            L"Error Code : [5]\nThe copy stopped because the operator pressed Cancel; the files copied so far stay "
            L"on the drive, and a new run copies the whole folder again.";
        CBalloonHelp::ShowBalloon(L"User canceled the task.", L"Error Code : [5]", kAnchors[0], IDI_HAND, unLook, nullptr,
                                  L"", 0);
        CBalloonHelp::ShowBalloon(L"There is no enough space on the disk.", L"Error Code : [1]", kAnchors[1], IDI_HAND,
                                  unLook | BALLOON_CLOSE_BUTTON, nullptr, L"", 0);
        CBalloonHelp::ShowBalloon(L"User canceled the task.", pszLong, kAnchors[2], IDI_HAND, unLook, nullptr, L"", 0);
        CBalloonHelp::ShowBalloon(L"Unknown Error!", L"Error Code : [9]", kAnchors[3], nullptr, unLook, nullptr, L"", 0);
    }

    const DWORD dwEnd = GetTickCount() + static_cast<DWORD>(nSeconds) * 1000;
    while (static_cast<int>(dwEnd - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    AfxSetApp(nullptr);
    backdrop.Detach();
    DestroyWindow(hBackdrop);
    return 0;
}
