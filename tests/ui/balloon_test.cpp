// The error balloon under Wine: the real dialog with a press on a slot's
// status, and balloons made directly for the options, all driven with real
// mouse and key input so that the thread hooks see what an operator does.

#include "ui/win32/balloon_help_win32.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/message_catalogue.h"
#include "app/settings_names.h"
#include "app/win32/ui_language_win32.h"
#include "framework/afx_app.h"
#include "support/bay_services.h"
#include "support/dialog_runner_win32.h"
#include "support/gui_wait_win32.h"
#include "support/no_shell_open.h"
#include "support/test_files.h"
#include "support/test_profile_win32.h"
#include "support/window_search_win32.h"
#include "ui/slot_error_text.h"
#include "ui/win32/main_dialog_win32.h"
#include "ui/win32/resource.h"

namespace {

using namespace std::chrono_literals;

std::vector<HWND> FindBalloonWindows()
{
    std::vector<HWND> found;
    EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            wchar_t szClass[32] = {};
            GetClassNameW(hWnd, szClass, 32);
            DWORD nPid = 0;
            GetWindowThreadProcessId(hWnd, &nPid);
            const std::wstring strClass(szClass);
            if (nPid == GetCurrentProcessId() && (strClass == L"BalloonHelpClassDS" || strClass == L"BalloonHelpClass"))
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND WaitForBalloon()
{
    return WaitFor("a balloon", [] {
        for (HWND hWnd : FindBalloonWindows()) {
            if (IsWindowVisible(hWnd))
                return hWnd;
        }
        return HWND{};
    });
}

void SendMouseButton(DWORD dwFlags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = dwFlags;
    SendInput(1, &input, sizeof(input));
}

void SendKey(WORD wKey, bool bRelease)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = wKey;
    input.ki.dwFlags = bRelease ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof(input));
}

// The press carries its own place. Under Wine the dialog's thread may still
// be taking in motion of the pointer's earlier places, each of which moves
// the cursor back there for a moment: a press at "wherever the cursor is"
// could land, and take its anchor, on one of them.
void PressLeftButtonAt(POINT pt)
{
    // Rounded up, so that the system's scaling back lands on the pixel.
    auto normalise = [](LONG n, int nExtent) { return static_cast<LONG>((n * 65536LL + nExtent - 1) / nExtent); };
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = normalise(pt.x, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = normalise(pt.y, GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &input, sizeof(input));
}

// Wine moves the X pointer and reads it back from X, so a position just set
// can still read as the old one for a moment; a press before then would
// land, and take its anchor, where the cursor was.
bool MoveCursorTo(POINT pt)
{
    SetCursorPos(pt.x, pt.y);
    return WaitFor("the cursor to reach " + std::to_string(pt.x) + "," + std::to_string(pt.y), [pt] {
        POINT ptNow{};
        GetCursorPos(&ptNow);
        if (ptNow.x == pt.x && ptNow.y == pt.y)
            return true;
        SetCursorPos(pt.x, pt.y);
        return false;
    });
}

POINT CentreOf(HWND hWnd)
{
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

// The tail narrows to a point at the cursor: a few rows in from its tip the
// shape is only a few pixels wide and right there, and just outside the tip
// there is nothing.
void ExpectTipAt(HWND hBalloon, POINT ptCursor)
{
    RECT rcWindow{};
    GetWindowRect(hBalloon, &rcWindow);
    CUniqueRegion rgn(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(ERROR, GetWindowRgn(hBalloon, rgn.get()));
    const int xTip = ptCursor.x - rcWindow.left;
    const int yTip = ptCursor.y - rcWindow.top;
    const int nInward = yTip < (rcWindow.bottom - rcWindow.top) / 2 ? 1 : -1;
    for (const int nRow : {3, 4}) {
        int xMin = INT_MAX;
        int xMax = INT_MIN;
        for (int x = 0; x < rcWindow.right - rcWindow.left; ++x) {
            if (PtInRegion(rgn.get(), x, yTip + nInward * nRow)) {
                xMin = std::min(xMin, x);
                xMax = std::max(xMax, x);
            }
        }
        ASSERT_LE(xMin, xMax) << "no tail " << nRow << " rows in from the cursor";
        EXPECT_GE(xMin, xTip - 5) << "row " << nRow << " of the tail";
        EXPECT_LE(xMax, xTip + 5) << "row " << nRow << " of the tail";
    }
    for (int x = 0; x < rcWindow.right - rcWindow.left; ++x)
        ASSERT_FALSE(PtInRegion(rgn.get(), x, yTip - 2 * nInward)) << "the shape reaches past the tip at " << x;
}

CBalloonHelp* BalloonOf(HWND hWnd)
{
    return dynamic_cast<CBalloonHelp*>(CPopupWnd::FromHandle(hWnd));
}

// The dialog over a bay with one stick, its slot's status set as a run
// would have left it.
class BalloonDialogTest : public ::testing::Test {
protected:
    // The dialog is the application's main window, as at start-up, so the
    // balloon has its owner.
    void RunDialog(const std::function<void(HWND)>& script)
    {
        CBayServices bay("[E:]\nsize = 8G\n[F:]\nsize = 8G\n[G:]\nsize = 8G\n");
        CKOBLDlg dialog(bay.Services(m_shell));
        m_app.m_pMainWnd = &dialog;
        RunDialogWithScript(dialog, script);
        m_app.m_pMainWnd = nullptr;
        EXPECT_EQ(0, CountBalloonThreadHooks()) << "a balloon left a hook on the dialog's thread";
        EXPECT_TRUE(FindBalloonWindows().empty());
    }

    // Presses the left button on a slot's status and returns the balloon it
    // opened, holding the button; nullptr when none came.
    static HWND PressOnStatus(HWND hDlg, int nSlot, const std::wstring& strStatus, POINT& ptCursor)
    {
        HWND hStatus = GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + nSlot);
        SetWindowTextW(hStatus, strStatus.c_str());
        ptCursor = CentreOf(hStatus);
        PressLeftButtonAt(ptCursor);
        return WaitForBalloon();
    }

    // A File Copy onto E:, which takes it, and G:, whose writes fail once
    // 1 KiB is written; then a press on G:'s code, with the button held,
    // shows the balloon the operator sees, which must say the title and
    // the content given.
    void ExpectFailedCopyBalloon(const std::wstring& strTitle, const std::wstring& strContent)
    {
        CTempFolder folder;
        for (const char* pszDrive : {"e", "g"})
            std::filesystem::create_directories(folder.Path() / pszDrive);
        WriteTestFile(folder.Path() / "src" / "a.bin", std::string(65536, 'a'));
        m_app.WriteProfileString(SETTINGS_SECTION, SETTING_SOURCE_FOLDER, (folder.Path() / "src").wstring());
        CBayServices bay("[E:]\nfolder = e\nsize = 64M\n[G:]\nfolder = g\nsize = 64M\nfail-after = 1K\n",
                         folder.Path());
        CKOBLDlg dialog(bay.Services(m_shell));
        m_app.m_pMainWnd = &dialog;
        RunDialogWithScript(dialog, [&](HWND hDlg) {
            {
                CButtonPress start(hDlg, IDC_START);
                ASSERT_TRUE(start.WaitHandled());
            }
            ASSERT_TRUE(WaitForIdle(hDlg));
            ASSERT_EQ(L"G:", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 1)));
            ASSERT_EQ(L"E7", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + 1)));
            POINT ptCursor{};
            HWND hBalloon = PressOnStatus(hDlg, 1, L"E7", ptCursor);
            ASSERT_NE(nullptr, hBalloon);
            EXPECT_EQ(strTitle, WindowText(hBalloon));
            EXPECT_EQ(strContent, BalloonOf(hBalloon)->GetContent());
            ExpectTipAt(hBalloon, ptCursor);
            SendMouseButton(MOUSEEVENTF_LEFTUP);
            EXPECT_TRUE(WaitForWindowGone(hBalloon, "the balloon after the release"));
            // The code that shows no reason keeps its balloon as it was.
            hBalloon = PressOnStatus(hDlg, 0, L"E5", ptCursor);
            ASSERT_NE(nullptr, hBalloon);
            EXPECT_EQ(FormatSlotErrorBody(5), BalloonOf(hBalloon)->GetContent());
            SendMouseButton(MOUSEEVENTF_LEFTUP);
            EXPECT_TRUE(WaitForWindowGone(hBalloon, "the balloon after the release"));
        });
        m_app.m_pMainWnd = nullptr;
        EXPECT_TRUE(FindBalloonWindows().empty());
    }

    CWinApp m_app;
    CTestProfile m_profile{m_app, L"CorvantisBalloonTest"};
    CNoShellOpen m_shell;
};

TEST_F(BalloonDialogTest, ADriveThatFailedSaysWhyBelowItsCode)
{
    ExpectFailedCopyBalloon(L"Failed to copy the folder.",
                            L"Error Code : [7]\r\nCopying a file to G: The system cannot write to the specified "
                            L"device. (29)");
}

// Only in the process that CTest starts as a Korean user. The bay's text for
// the reason is Windows' English one; the step speaks Korean.
TEST_F(BalloonDialogTest, KoreanUserSeesWhyADriveFailed)
{
    ASSERT_EQ(1, SelectUiLanguage());
    ASSERT_EQ(0x0412u, g_uiLangId) << "run with LC_ALL=ko_KR.UTF-8";
    ExpectFailedCopyBalloon(L"폴더 복사를 실패하였습니다.",
                            L"오류 코드 : [7]\r\n파일 복사 G: The system cannot write to the specified device. (29)");
    g_uiLangId = LANG_ID_ENGLISH_US;
    AfxSetResourceLanguage(static_cast<LANGID>(LANG_ID_ENGLISH_US));
}

TEST_F(BalloonDialogTest, APressOnE5ShowsItsMessageAtTheCursorUntilTheRelease)
{
    RunDialog([](HWND hDlg) {
        POINT ptCursor{};
        HWND hBalloon = PressOnStatus(hDlg, 0, L"E5", ptCursor);
        ASSERT_NE(nullptr, hBalloon);
        EXPECT_EQ(L"User canceled the task.", WindowText(hBalloon));
        ASSERT_NE(nullptr, BalloonOf(hBalloon));
        EXPECT_EQ(L"Error Code : [5]", BalloonOf(hBalloon)->GetContent());
        EXPECT_EQ(hDlg, GetWindow(hBalloon, GW_OWNER)) << "owned by the main window";
        wchar_t szClass[32] = {};
        GetClassNameW(hBalloon, szClass, 32);
        EXPECT_EQ(std::wstring(L"BalloonHelpClassDS"), szClass) << "with the drop shadow";
        ExpectTipAt(hBalloon, ptCursor);

        Sleep(200);
        EXPECT_TRUE(IsWindowVisible(hBalloon)) << "it stays while the button is held";
        SendMouseButton(MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(WaitForWindowGone(hBalloon, "the balloon after the release"));
    });
}

TEST_F(BalloonDialogTest, AStatusWithoutAnErrorOpensNothing)
{
    RunDialog([](HWND hDlg) {
        // In order: once the E1 balloon is there, the two presses before it
        // have been handled.
        POINT ptCursor{};
        for (int nSlot : {1, 2}) {
            HWND hStatus = GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + nSlot);
            SetWindowTextW(hStatus, nSlot == 1 ? L"OK" : L"");
            ptCursor = CentreOf(hStatus);
            PressLeftButtonAt(ptCursor);
            SendMouseButton(MOUSEEVENTF_LEFTUP);
        }
        HWND hBalloon = PressOnStatus(hDlg, 0, L"E1", ptCursor);
        ASSERT_NE(nullptr, hBalloon);
        EXPECT_EQ(L"There is no enough space on the disk.", WindowText(hBalloon));
        EXPECT_EQ(1u, FindBalloonWindows().size()) << "\"OK\" or an empty status opened one too";
        // Right after the cursor went past other statuses, it still points
        // at the press.
        ExpectTipAt(hBalloon, ptCursor);
        SendMouseButton(MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(WaitForWindowGone(hBalloon, "the balloon after the release"));
    });
}

// Only in the process that CTest starts as a Korean user.
TEST_F(BalloonDialogTest, KoreanUserSeesTheKoreanMessage)
{
    ASSERT_EQ(1, SelectUiLanguage());
    ASSERT_EQ(0x0412u, g_uiLangId) << "run with LC_ALL=ko_KR.UTF-8";
    const struct {
        const wchar_t* pszStatus;
        const wchar_t* pszTitle;
        const wchar_t* pszContent;
    } kCases[] = {
        {L"E5", L"사용자가 작업을 취소하였습니다.", L"오류 코드 : [5]"},
        {L"E8", L"드라이브에서 다시 읽은 데이터가 원본과 일치하지 않습니다.", L"오류 코드 : [8]"},
    };
    RunDialog([&](HWND hDlg) {
        // A slot each: a second press on the same spot would be a double click.
        for (int nSlot = 0; nSlot < static_cast<int>(std::size(kCases)); ++nSlot) {
            const auto& c = kCases[nSlot];
            POINT ptCursor{};
            HWND hBalloon = PressOnStatus(hDlg, nSlot, c.pszStatus, ptCursor);
            ASSERT_NE(nullptr, hBalloon) << Utf8(c.pszStatus);
            EXPECT_EQ(c.pszTitle, WindowText(hBalloon));
            EXPECT_EQ(c.pszContent, BalloonOf(hBalloon)->GetContent());
            SendMouseButton(MOUSEEVENTF_LEFTUP);
            EXPECT_TRUE(WaitForWindowGone(hBalloon, "the balloon after the release"));
        }
    });
    g_uiLangId = LANG_ID_ENGLISH_US;
    AfxSetResourceLanguage(static_cast<LANGID>(LANG_ID_ENGLISH_US));
}

// Balloons made on the test's own thread, which pumps their messages; the
// owner stands in for the main window and has the focus, so keys come here.
class BalloonOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hOwner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 200, 150, 400, 300, nullptr,
                                   nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hOwner);
        SetForegroundWindow(m_hOwner);
        SetFocus(m_hOwner);
        m_owner.Attach(m_hOwner);
        m_app.m_pMainWnd = &m_owner;
        AfxSetApp(&m_app);
        m_ptInside = CentreOf(m_hOwner);
        ASSERT_TRUE(MoveCursorTo(m_ptInside));
    }
    void TearDown() override
    {
        AfxSetApp(nullptr);
        m_owner.Detach();
        DestroyWindow(m_hOwner);
        for (HWND hWnd : FindBalloonWindows())
            DestroyWindow(hWnd);
        EXPECT_EQ(0, CountBalloonThreadHooks());
    }

    // Dispatches this thread's messages until one matching comes (and is
    // dispatched too), or until done() says so; a failure that names what it
    // waited for when neither came within the bound.
    static bool PumpUntil(const std::string& strWhat, const std::function<bool(const MSG*)>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + GUI_WAIT_BOUND;
        while (!done(nullptr)) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ADD_FAILURE() << DescribeFailedWait(strWhat, GUI_WAIT_BOUND);
                return false;
            }
            MSG msg;
            if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (done(&msg))
                return true;
        }
        return true;
    }
    static bool PumpUntilMessage(const std::string& strWhat, UINT nMsg, HWND hWnd = nullptr)
    {
        return PumpUntil(strWhat, [=](const MSG* pMsg) {
            return pMsg != nullptr && pMsg->message == nMsg && (hWnd == nullptr || pMsg->hwnd == hWnd);
        });
    }
    static bool PumpUntilGone(HWND hWnd, const std::string& strWhat)
    {
        return PumpUntil(strWhat, [hWnd](const MSG*) { return !IsWindow(hWnd); });
    }
    // What is already waiting, and nothing that comes later.
    static void PumpWaiting()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    CWinApp m_app;
    CWnd m_owner;
    HWND m_hOwner = nullptr;
    POINT m_ptInside{};
};

TEST_F(BalloonOptionsTest, ADelayedCloseOutlivesTheReleaseAndEndsWithItsTimeout)
{
    CBalloonHelp::ShowBalloon(L"Delayed", L"Closes a moment after the release.", m_ptInside, nullptr, 0x0100 | 0x0001,
                              nullptr, L"", 300);
    const std::vector<HWND> balloons = FindBalloonWindows();
    ASSERT_EQ(1u, balloons.size());
    HWND hBalloon = balloons[0];
    SendMouseButton(MOUSEEVENTF_LEFTDOWN);
    SendMouseButton(MOUSEEVENTF_LEFTUP);
    // Checked the moment the close request has been handled, before the
    // timer can have come.
    ASSERT_TRUE(PumpUntilMessage("the release's close request", WM_CLOSE, hBalloon));
    ASSERT_TRUE(IsWindowVisible(hBalloon)) << "the first release closed it";
    EXPECT_EQ(0x0200u, BalloonOf(hBalloon)->GetOptions() & 0x03FFu) << "the mouse bits and the delay are spent";
    EXPECT_TRUE(PumpUntilGone(hBalloon, "the timeout to close the balloon"));
}

TEST_F(BalloonOptionsTest, AKeyClosesOnItsPressNotOnItsRelease)
{
    ASSERT_EQ(m_hOwner, GetForegroundWindow());
    SendKey('A', false);
    ASSERT_TRUE(PumpUntilMessage("the key's press", WM_KEYDOWN));
    CBalloonHelp balloon;
    ASSERT_TRUE(balloon.Create(L"Keys", L"", m_ptInside, 0x0080, nullptr, L"", 0, nullptr));
    HWND hBalloon = balloon.GetSafeHwnd();

    SendKey('A', true);
    ASSERT_TRUE(PumpUntilMessage("the key's release", WM_KEYUP));
    PumpWaiting();
    EXPECT_TRUE(IsWindow(hBalloon)) << "the release of a key pressed before closed it";

    SendKey('A', false);
    EXPECT_TRUE(PumpUntilGone(hBalloon, "the key's press to close the balloon"));
    SendKey('A', true);
    PumpWaiting();
    EXPECT_EQ(nullptr, balloon.GetSafeHwnd());
}

TEST_F(BalloonOptionsTest, TheShadowClassUnlessNoShadowAndNothingWithoutAnOwner)
{
    for (const unsigned unOptions : {0x0000u, 0x2000u}) {
        CBalloonHelp balloon;
        ASSERT_TRUE(balloon.Create(L"Class", L"content", m_ptInside, unOptions, nullptr, L"", 0, nullptr));
        wchar_t szClass[32] = {};
        GetClassNameW(balloon.GetSafeHwnd(), szClass, 32);
        EXPECT_EQ(std::wstring(unOptions == 0 ? L"BalloonHelpClassDS" : L"BalloonHelpClass"), szClass);
    }
    EXPECT_TRUE(FindBalloonWindows().empty()) << "a balloon outlived its object";

    m_app.m_pMainWnd = nullptr;
    CBalloonHelp orphan;
    EXPECT_FALSE(orphan.Create(L"Orphan", L"", m_ptInside, 0, nullptr, L"", 0, nullptr));
    CBalloonHelp::ShowBalloon(L"Orphan", L"", m_ptInside, IDI_HAND, 0x0001, nullptr, L"", 0);
    EXPECT_TRUE(FindBalloonWindows().empty());
}

TEST_F(BalloonOptionsTest, FadesOnlyWhenTheSystemFadesTooltips)
{
    BOOL bWasAnimating = FALSE;
    BOOL bWasFading = FALSE;
    SystemParametersInfoW(SPI_GETTOOLTIPANIMATION, 0, &bWasAnimating, 0);
    SystemParametersInfoW(SPI_GETTOOLTIPFADE, 0, &bWasFading, 0);
    for (const BOOL bFade : {FALSE, TRUE}) {
        // For this session only: nothing is written to the user's profile.
        SystemParametersInfoW(SPI_SETTOOLTIPANIMATION, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(TRUE)), 0);
        SystemParametersInfoW(SPI_SETTOOLTIPFADE, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(bFade)), 0);
        CBalloonHelp balloon;
        ASSERT_TRUE(balloon.Create(L"Fade", L"in and out", m_ptInside, 0, nullptr, L"", 0, nullptr));
        EXPECT_EQ(bFade ? 0u : 0xC000u, balloon.GetOptions() & 0xC000u) << bFade;
        EXPECT_TRUE(IsWindowVisible(balloon.GetSafeHwnd())) << bFade;
        HWND hBalloon = balloon.GetSafeHwnd();
        PostMessageW(hBalloon, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntilGone(hBalloon, "the balloon to close after WM_CLOSE")) << bFade;
    }
    SystemParametersInfoW(SPI_SETTOOLTIPANIMATION, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(bWasAnimating)), 0);
    SystemParametersInfoW(SPI_SETTOOLTIPFADE, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(bWasFading)), 0);
}

}  // namespace
