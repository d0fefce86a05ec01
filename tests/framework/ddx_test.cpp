#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/afx_ddx.h"
#include "test_support.h"

namespace {

constexpr int MAX_NAME_CHARS = 11;

class CExchangeDialog : public CStepDialog {
public:
    using CStepDialog::CStepDialog;

    // The order matters: a failure in the name stops the exchange before the
    // radio group.
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, IDC_TEST_EDIT, m_strName);
        DDV_MaxChars(pDX, m_strName, MAX_NAME_CHARS);
        DDX_Radio(pDX, m_nRadioGroupId, m_nChoice);
        DDX_Check(pDX, IDC_AFTER_GROUP, m_nTicked);
        DDX_Control(pDX, IDC_TEST_COMBO, m_combo);
        if (m_bExchangeMissingControl)
            DDX_Text(pDX, IDC_NOT_PRESENT, m_strMissing);
    }

    std::wstring m_strName;
    int m_nChoice = 0;
    int m_nTicked = 0;
    CComboBox m_combo;
    int m_nRadioGroupId = IDC_RADIO_FIRST;
    bool m_bExchangeMissingControl = false;
    std::wstring m_strMissing = L"untouched";
};

// Checked state of the three buttons of the group, then of the radio button
// after it, which belongs to no group.
std::vector<int> RadioStates(CStepDialog& dlg)
{
    std::vector<int> states;
    for (int nId : {IDC_RADIO_FIRST, IDC_RADIO_SECOND, IDC_RADIO_THIRD, IDC_RADIO_OUTSIDE})
        states.push_back(::SendMessageW(dlg.GetDlgItem(nId), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    return states;
}

void CheckOnly(CStepDialog& dlg, int nCheckedId)
{
    for (int nId : {IDC_RADIO_FIRST, IDC_RADIO_SECOND, IDC_RADIO_THIRD})
        ::SendMessageW(dlg.GetDlgItem(nId), BM_SETCHECK, nId == nCheckedId ? BST_CHECKED : BST_UNCHECKED, 0);
}

class DataExchangeTest : public ::testing::Test {
protected:
    CScopedTestApp m_app;
};

TEST_F(DataExchangeTest, LoadingFillsControlsAndLimitsText)
{
    CExchangeDialog dialog;
    dialog.m_strName = L"abc";
    dialog.m_nChoice = 2;
    std::wstring strShown;
    LRESULT nLimit = 0;
    std::vector<std::vector<int>> radios;
    dialog.RunSteps({[&](CStepDialog& dlg) {
        strShown = dlg.GetDlgItemText(IDC_TEST_EDIT);
        nLimit = ::SendMessageW(dlg.GetDlgItem(IDC_TEST_EDIT), EM_GETLIMITTEXT, 0, 0);
        radios.push_back(RadioStates(dlg));

        ::SendMessageW(dlg.GetDlgItem(IDC_RADIO_OUTSIDE), BM_SETCHECK, BST_CHECKED, 0);
        dialog.m_nChoice = 0;
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        radios.push_back(RadioStates(dlg));
        dialog.m_nChoice = -1;
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        radios.push_back(RadioStates(dlg));
        CheckOnly(dlg, IDC_RADIO_SECOND);
        dialog.m_nChoice = 3;
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        radios.push_back(RadioStates(dlg));
        dlg.EndDialog(IDOK);
    }});
    EXPECT_EQ(strShown, L"abc");
    EXPECT_EQ(nLimit, MAX_NAME_CHARS);
    // Index 2 is the third button: the static between them does not count.
    EXPECT_EQ(radios, (std::vector<std::vector<int>>{
                          {0, 0, 1, 0},
                          {1, 0, 0, 1},
                          {0, 0, 0, 1},
                          {0, 0, 0, 1},
                      }));
}

TEST_F(DataExchangeTest, SavingReadsControlsIntoMembers)
{
    CExchangeDialog dialog;
    std::vector<int> choices;
    dialog.RunSteps({[&](CStepDialog& dlg) {
        dlg.SetDlgItemText(IDC_TEST_EDIT, L"typed");
        CheckOnly(dlg, IDC_RADIO_THIRD);
        EXPECT_TRUE(dlg.UpdateData(TRUE));
        choices.push_back(dialog.m_nChoice);
        CheckOnly(dlg, IDC_RADIO_SECOND);
        EXPECT_TRUE(dlg.UpdateData(TRUE));
        choices.push_back(dialog.m_nChoice);
        CheckOnly(dlg, 0);
        ::SendMessageW(dlg.GetDlgItem(IDC_RADIO_OUTSIDE), BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_TRUE(dlg.UpdateData(TRUE));
        choices.push_back(dialog.m_nChoice);
        dlg.EndDialog(IDCANCEL);
    }});
    EXPECT_EQ(dialog.m_strName, L"typed");
    EXPECT_EQ(choices, (std::vector<int>{2, 1, -1}));
}

TEST_F(DataExchangeTest, ACheckBoxTravelsBothWaysAsZeroOrOne)
{
    CExchangeDialog dialog;
    dialog.m_nTicked = 1;
    std::vector<int> shown;
    std::vector<int> read;
    auto isChecked = [](CStepDialog& dlg) {
        return ::SendMessageW(dlg.GetDlgItem(IDC_AFTER_GROUP), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    };
    dialog.RunSteps({[&](CStepDialog& dlg) {
        shown.push_back(isChecked(dlg));
        // Clicked as the operator clicks it, then read back each time.
        for (int nClick = 0; nClick < 2; ++nClick) {
            ::SendMessageW(dlg.GetDlgItem(IDC_AFTER_GROUP), BM_CLICK, 0, 0);
            EXPECT_TRUE(dlg.UpdateData(TRUE));
            read.push_back(dialog.m_nTicked);
        }
        dialog.m_nTicked = 0;
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        shown.push_back(isChecked(dlg));
        dialog.m_nTicked = 1;
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        shown.push_back(isChecked(dlg));
        dlg.EndDialog(IDOK);
    }});
    EXPECT_EQ(shown, (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(read, (std::vector<int>{0, 1}));
}

TEST_F(DataExchangeTest, BadGroupOrMissingControlFailsTheExchange)
{
    CExchangeDialog ungrouped;
    ungrouped.m_nRadioGroupId = IDC_RADIO_SECOND;
    ungrouped.m_nChoice = 5;
    BOOL bUngrouped = TRUE;
    ungrouped.RunSteps({[&](CStepDialog& dlg) {
        CheckOnly(dlg, IDC_RADIO_FIRST);
        bUngrouped = dlg.UpdateData(TRUE);
        dlg.EndDialog(IDOK);
    }});
    EXPECT_FALSE(bUngrouped);
    EXPECT_EQ(ungrouped.m_nChoice, 5);

    CExchangeDialog missing;
    missing.m_bExchangeMissingControl = true;
    BOOL bMissing = TRUE;
    missing.RunSteps({[&](CStepDialog& dlg) {
        bMissing = dlg.UpdateData(TRUE);
        dlg.EndDialog(IDOK);
    }});
    EXPECT_FALSE(bMissing);
    EXPECT_EQ(missing.m_strMissing, L"untouched");
}

TEST_F(DataExchangeTest, TooLongTextIsRejectedWithAMessageAndFocus)
{
    CExchangeDialog dialog;
    HWND hDialog = nullptr;
    HWND hEdit = nullptr;
    HWND hFocus = nullptr;
    BOOL bSaved = TRUE;
    bool bAnswered = false;
    std::wstring strText;
    HWND hOwner = nullptr;
    dialog.RunSteps({[&](CStepDialog& dlg) {
        hDialog = dlg.m_hWnd;
        hEdit = dlg.GetDlgItem(IDC_TEST_EDIT);
        dlg.SetDlgItemText(IDC_TEST_EDIT, L"twelve chars");
        CheckOnly(dlg, IDC_RADIO_SECOND);
        ::SendMessageW(dlg.GetDlgItem(IDC_AFTER_GROUP), BM_SETCHECK, BST_CHECKED, 0);
        CMessageBoxAnswerer answerer(TEST_APP_NAME);
        bSaved = dlg.UpdateData(TRUE);
        hFocus = ::GetFocus();
        bAnswered = answerer.Join();
        strText = answerer.m_strText;
        hOwner = answerer.m_hOwner;
        dlg.EndDialog(IDCANCEL);
    }});
    EXPECT_FALSE(bSaved);
    EXPECT_TRUE(bAnswered);
    EXPECT_EQ(strText, L"Please enter no more than 11 characters.");
    EXPECT_EQ(hOwner, hDialog);
    EXPECT_EQ(hFocus, hEdit);
    // The exchange stopped at the name: neither the radio group nor the box
    // after it was read.
    EXPECT_EQ(dialog.m_nChoice, 0);
    EXPECT_EQ(dialog.m_nTicked, 0);
}

TEST_F(DataExchangeTest, OkStaysOpenUntilTheDataIsValid)
{
    CExchangeDialog dialog;
    bool bAnswered = false;
    bool bStillOpen = false;
    const INT_PTR nResult = dialog.RunSteps({
        [&](CStepDialog& dlg) {
            dlg.SetDlgItemText(IDC_TEST_EDIT, std::wstring(40, L'w'));
            CMessageBoxAnswerer answerer(TEST_APP_NAME);
            // Sent, not posted: the box runs and closes inside this step.
            dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
            bAnswered = answerer.Join();
        },
        [&](CStepDialog& dlg) {
            // Reached only if the refused OK did not end the dialog.
            bStillOpen = true;
            dlg.SetDlgItemText(IDC_TEST_EDIT, L"exactly 11!");
            CheckOnly(dlg, IDC_RADIO_THIRD);
            dlg.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
        },
    });
    EXPECT_TRUE(bAnswered);
    EXPECT_TRUE(bStillOpen);
    EXPECT_EQ(nResult, IDOK);
    EXPECT_EQ(dialog.m_strName, L"exactly 11!");
    EXPECT_EQ(dialog.m_nChoice, 2);
}

TEST_F(DataExchangeTest, ControlWrapperFollowsEachRunOfTheDialog)
{
    CExchangeDialog dialog;
    std::vector<HWND> combos;
    std::vector<int> counts;
    std::wstring strSecond;
    for (int nRun = 0; nRun < 2; ++nRun) {
        dialog.RunSteps({[&](CStepDialog& dlg) {
            EXPECT_EQ(dialog.m_combo.m_hWnd, dlg.GetDlgItem(IDC_TEST_COMBO));
            combos.push_back(dialog.m_combo.m_hWnd);
            counts.push_back(dialog.m_combo.GetCount());
            dialog.m_combo.AddString(L"first");
            dialog.m_combo.AddString(L"second");
            dialog.m_combo.SetCurSel(1);
            strSecond = dialog.m_combo.GetLBText(dialog.m_combo.GetCurSel());
            EXPECT_EQ(dialog.m_combo.GetLBText(2), L"");
            dlg.EndDialog(IDOK);
        }});
        EXPECT_EQ(dialog.m_combo.m_hWnd, nullptr);
    }
    ASSERT_EQ(combos.size(), 2u);
    EXPECT_NE(combos[0], nullptr);
    EXPECT_NE(combos[1], nullptr);
    // Each run starts with the new, empty combo box, not the old one's items.
    EXPECT_EQ(counts, (std::vector<int>{0, 0}));
    EXPECT_EQ(strSecond, L"second");
}

TEST_F(DataExchangeTest, ControlWrapperBoundElsewhereIsRefused)
{
    HWND hOther = ::CreateWindowExW(0, L"COMBOBOX", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hOther, nullptr);
    CExchangeDialog dialog;
    ASSERT_TRUE(dialog.m_combo.Attach(hOther));
    BOOL bExchanged = TRUE;
    dialog.RunSteps({[&](CStepDialog& dlg) {
        bExchanged = dlg.UpdateData(FALSE);
        dlg.EndDialog(IDOK);
    }});
    EXPECT_FALSE(bExchanged);
    EXPECT_EQ(dialog.m_combo.m_hWnd, hOther);
    ::DestroyWindow(hOther);
}

} // namespace
