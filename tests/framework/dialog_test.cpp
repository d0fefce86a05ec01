#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "framework/afx_dialog.h"
#include "test_support.h"

namespace {

constexpr UINT WM_TEST_VALUE = WM_APP + 1;
constexpr UINT WM_TEST_DEFAULTED = WM_APP + 2;
constexpr UINT WM_TEST_OUTER = WM_APP + 3;
constexpr UINT WM_TEST_OUTER_DEFAULTED = WM_APP + 4;
constexpr UINT WM_TEST_THROW = WM_APP + 5;
constexpr UINT WM_TEST_SWALLOWED = WM_APP + 6;

constexpr LRESULT VALUE_RESULT = 1234;
constexpr LRESULT OUTER_RESULT = 77;
constexpr LRESULT DRAG_ICON_RESULT = 0x5150;

// Records what passes through PreTranslateMessage and WindowProc, and
// answers a few messages in ways the dialog procedure must pass on intact.
class CRecordingDialog : public CStepDialog {
public:
    using CStepDialog::CStepDialog;

    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        m_preTranslated.push_back(*pMsg);
        if (pMsg->message == WM_TEST_SWALLOWED)
            return TRUE;
        return CStepDialog::PreTranslateMessage(pMsg);
    }

    LRESULT WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) override
    {
        m_windowProcMessages.push_back(nMsg);
        return CStepDialog::WindowProc(nMsg, wParam, lParam);
    }

    bool OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    BOOL OnInitDialog() override
    {
        if (m_bThrowInInit)
            throw std::runtime_error("init failed");
        return CStepDialog::OnInitDialog();
    }

    void OnCancel() override
    {
        ++m_nCancelCalls;
        CStepDialog::OnCancel();
    }

    bool SawPreTranslated(HWND hWnd, UINT nMsg) const
    {
        return std::any_of(m_preTranslated.begin(), m_preTranslated.end(),
                           [&](const MSG& msg) { return msg.hwnd == hWnd && msg.message == nMsg; });
    }
    bool SawInWindowProc(UINT nMsg) const
    {
        return std::find(m_windowProcMessages.begin(), m_windowProcMessages.end(), nMsg) !=
               m_windowProcMessages.end();
    }

    std::vector<MSG> m_preTranslated;
    std::vector<UINT> m_windowProcMessages;
    std::vector<LRESULT> m_innerResults;
    bool m_bThrowInInit = false;
    int m_nCancelCalls = 0;
    int m_nCloseCalls = 0;

    static const CMessageMapEntry<CRecordingDialog> kMessageMap[];

private:
    LRESULT OnValue(WPARAM, LPARAM) { return VALUE_RESULT; }
    LRESULT OnDefaulted(WPARAM, LPARAM)
    {
        Default();
        return 99;
    }
    LRESULT OnOuter(WPARAM, LPARAM)
    {
        m_innerResults.push_back(SendMessage(WM_TEST_DEFAULTED));
        return OUTER_RESULT;
    }
    LRESULT OnOuterDefaulted(WPARAM, LPARAM)
    {
        Default();
        m_innerResults.push_back(SendMessage(WM_TEST_VALUE));
        return 55;
    }
    LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }
    LRESULT OnQueryDragIcon(WPARAM, LPARAM) { return DRAG_ICON_RESULT; }
    LRESULT OnClose(WPARAM, LPARAM)
    {
        ++m_nCloseCalls;
        return Default();
    }
};

constexpr CMessageMapEntry<CRecordingDialog> CRecordingDialog::kMessageMap[] = {
    MapMessage<CRecordingDialog>(WM_TEST_VALUE, &CRecordingDialog::OnValue),
    MapMessage<CRecordingDialog>(WM_TEST_DEFAULTED, &CRecordingDialog::OnDefaulted),
    MapMessage<CRecordingDialog>(WM_TEST_OUTER, &CRecordingDialog::OnOuter),
    MapMessage<CRecordingDialog>(WM_TEST_OUTER_DEFAULTED, &CRecordingDialog::OnOuterDefaulted),
    MapMessage<CRecordingDialog>(WM_TEST_THROW, &CRecordingDialog::OnThrow),
    MapMessage<CRecordingDialog>(WM_QUERYDRAGICON, &CRecordingDialog::OnQueryDragIcon),
    MapMessage<CRecordingDialog>(WM_CLOSE, &CRecordingDialog::OnClose),
};
static_assert(!HasDuplicateEntries(CRecordingDialog::kMessageMap));

bool CRecordingDialog::OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    return DispatchMessageMap(*this, kMessageMap, nMsg, wParam, lParam, lResult) ||
           CStepDialog::OnWndMsg(nMsg, wParam, lParam, lResult);
}

class DialogTest : public ::testing::Test {
protected:
    CScopedTestApp m_app;
};

TEST_F(DialogTest, DoModalRunsInitDialogAndReturnsEndDialogValue)
{
    CRecordingDialog dialog;
    HWND hDuring = nullptr;
    const INT_PTR nResult = dialog.RunSteps({[&](CStepDialog& dlg) {
        hDuring = dlg.m_hWnd;
        // A second modal run of a running dialog would share its window.
        EXPECT_EQ(dlg.DoModal(), -1);
        dlg.EndDialog(42);
    }});
    EXPECT_EQ(nResult, 42);
    EXPECT_TRUE(dialog.m_bInitDialogRan);
    EXPECT_TRUE(dialog.SawInWindowProc(WM_INITDIALOG));
    EXPECT_NE(hDuring, nullptr);
    EXPECT_FALSE(::IsWindow(hDuring));
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST_F(DialogTest, MissingTemplateOrFailedInitReturnsMinusOne)
{
    CStepDialog missing(IDD_NOT_PRESENT);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_FALSE(missing.m_bInitDialogRan);

    HWND hOwner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                                    nullptr);
    ASSERT_NE(hOwner, nullptr);
    CWnd owner;
    owner.Attach(hOwner);
    CRecordingDialog throwing(IDD_TEST_DIALOG, &owner);
    throwing.m_bThrowInInit = true;
    EXPECT_EQ(throwing.DoModal(), -1);
    EXPECT_TRUE(::IsWindowEnabled(hOwner));
    EXPECT_EQ(throwing.m_hWnd, nullptr);
    ::DestroyWindow(hOwner);
}

TEST_F(DialogTest, PreTranslateMessageSeesChildMessagesAndMaySwallowThem)
{
    CRecordingDialog dialog;
    HWND hDialog = nullptr;
    HWND hEdit = nullptr;
    const INT_PTR nResult = dialog.RunSteps({
        [&](CStepDialog& dlg) {
            hDialog = dlg.m_hWnd;
            hEdit = dlg.GetDlgItem(IDC_TEST_EDIT);
            ::PostMessageW(hEdit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
            ::PostMessageW(hEdit, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
            dlg.PostMessage(WM_TEST_SWALLOWED);
        },
        [&](CStepDialog& dlg) { dlg.EndDialog(IDOK); },
    });
    EXPECT_EQ(nResult, IDOK);
    EXPECT_TRUE(dialog.SawPreTranslated(hEdit, WM_LBUTTONDOWN));
    EXPECT_TRUE(dialog.SawPreTranslated(hEdit, WM_LBUTTONUP));
    EXPECT_TRUE(dialog.SawPreTranslated(hDialog, WM_TEST_STEP));
    EXPECT_TRUE(dialog.SawPreTranslated(hDialog, WM_TEST_SWALLOWED));
    EXPECT_FALSE(dialog.SawInWindowProc(WM_TEST_SWALLOWED));
    EXPECT_TRUE(dialog.SawInWindowProc(WM_TEST_STEP));
}

TEST_F(DialogTest, EscapeReachesOnCancelThroughIsDialogMessage)
{
    CRecordingDialog dialog;
    const INT_PTR nResult = dialog.RunSteps({[](CStepDialog& dlg) {
        ::PostMessageW(dlg.GetDlgItem(IDC_TEST_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }});
    EXPECT_EQ(nResult, IDCANCEL);
    EXPECT_EQ(dialog.m_nCancelCalls, 1);
}

TEST_F(DialogTest, HandlerResultsAndDefaultReachTheSender)
{
    CRecordingDialog dialog;
    std::vector<LRESULT> results;
    dialog.RunSteps({[&](CStepDialog& dlg) {
        results.push_back(dlg.SendMessage(WM_TEST_VALUE));
        // Returned directly by the dialog procedure, not through DWLP_MSGRESULT.
        results.push_back(dlg.SendMessage(WM_QUERYDRAGICON));
        // Default() hands the message on: the handler's 99 is discarded.
        results.push_back(dlg.SendMessage(WM_TEST_DEFAULTED));
        // An inner message's Default() must not unhandle the outer one, nor a
        // handled inner message re-handle an outer Default().
        results.push_back(dlg.SendMessage(WM_TEST_OUTER));
        results.push_back(dlg.SendMessage(WM_TEST_OUTER_DEFAULTED));
        dlg.EndDialog(IDOK);
    }});
    EXPECT_EQ(results, (std::vector<LRESULT>{VALUE_RESULT, DRAG_ICON_RESULT, 0, OUTER_RESULT, 0}));
    EXPECT_EQ(dialog.m_innerResults, (std::vector<LRESULT>{0, VALUE_RESULT}));
}

TEST_F(DialogTest, ThrowingHandlerLeavesTheDialogRunning)
{
    CRecordingDialog dialog;
    LRESULT lThrown = -1;
    const INT_PTR nResult = dialog.RunSteps({
        [&](CStepDialog& dlg) { lThrown = dlg.SendMessage(WM_TEST_THROW); },
        [&](CStepDialog& dlg) { dlg.EndDialog(7); },
    });
    EXPECT_EQ(lThrown, 0);
    EXPECT_EQ(nResult, 7);
}

TEST_F(DialogTest, OkCancelAndCloseDefaults)
{
    {
        CRecordingDialog dialog;
        EXPECT_EQ(dialog.RunSteps({[](CStepDialog& dlg) {
                      dlg.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                      reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDOK)));
                  }}),
                  IDOK);
    }
    {
        CRecordingDialog dialog;
        EXPECT_EQ(dialog.RunSteps({[](CStepDialog& dlg) {
                      dlg.PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                      reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDCANCEL)));
                  }}),
                  IDCANCEL);
        EXPECT_EQ(dialog.m_nCancelCalls, 1);
    }
    {
        CRecordingDialog dialog;
        EXPECT_EQ(dialog.RunSteps({[](CStepDialog& dlg) { dlg.PostMessage(WM_CLOSE); }}), IDCANCEL);
        EXPECT_EQ(dialog.m_nCloseCalls, 1);
        EXPECT_EQ(dialog.m_nCancelCalls, 1);
    }
}

TEST_F(DialogTest, OwnerIsDisabledOnlyWhileModal)
{
    HWND hOwner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                    nullptr, nullptr);
    ASSERT_NE(hOwner, nullptr);
    CWnd owner;
    owner.Attach(hOwner);
    bool bEnabledDuring = true;
    HWND hOwnerDuring = nullptr;
    CRecordingDialog dialog(IDD_TEST_DIALOG, &owner);
    dialog.RunSteps({[&](CStepDialog& dlg) {
        bEnabledDuring = ::IsWindowEnabled(hOwner) != FALSE;
        hOwnerDuring = ::GetWindow(dlg.m_hWnd, GW_OWNER);
        dlg.EndDialog(IDOK);
    }});
    EXPECT_FALSE(bEnabledDuring);
    EXPECT_EQ(hOwnerDuring, hOwner);
    EXPECT_TRUE(::IsWindowEnabled(hOwner));

    // Without a parent, the application's main window owns the dialog.
    m_app.m_app.m_pMainWnd = &owner;
    CRecordingDialog orphan;
    orphan.RunSteps({[&](CStepDialog& dlg) {
        hOwnerDuring = ::GetWindow(dlg.m_hWnd, GW_OWNER);
        dlg.EndDialog(IDOK);
    }});
    m_app.m_app.m_pMainWnd = nullptr;
    EXPECT_EQ(hOwnerDuring, hOwner);
    ::DestroyWindow(hOwner);
}

TEST_F(DialogTest, LoopEndsOnQuitOrWhenTheWindowIsDestroyed)
{
    CRecordingDialog quitting;
    EXPECT_EQ(quitting.RunSteps({[](CStepDialog&) { ::PostQuitMessage(9); }}), -1);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 9u);

    CRecordingDialog destroyed;
    EXPECT_EQ(destroyed.RunSteps({[](CStepDialog& dlg) { ::DestroyWindow(dlg.m_hWnd); }}), -1);
    EXPECT_EQ(destroyed.m_hWnd, nullptr);
}

} // namespace
