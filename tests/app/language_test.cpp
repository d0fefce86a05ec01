// The dialog and the catalogue in each language, as start-up selects them.

#include <string>

#include <gtest/gtest.h>

#include "app/app_title.h"
#include "app/message_catalogue.h"
#include "app/ui_language.h"
#include "app/win32/ui_language_win32.h"
#include "bay/simulated_bay.h"
#include "framework/afx_app.h"
#include "support/bay_services.h"
#include "support/dialog_runner_win32.h"
#include "support/gui_wait_win32.h"
#include "support/no_shell_open.h"
#include "ui/win32/resource.h"

namespace {

using namespace std::chrono_literals;

// A Windows 7 whose user speaks the given language, and whose thread UI
// language call may refuse it.
class CUserLanguage : public IUiLanguagePlatform {
public:
    CUserLanguage(uint32_t nLcid, bool bAccepted) : m_nLcid(nLcid), m_bAccepted(bAccepted) {}
    uint32_t GetUserDefaultLcid() override { return m_nLcid; }
    bool GetMajorVersion(uint32_t& nMajor) override
    {
        nMajor = 6;
        return true;
    }
    uint16_t SetThreadUiLanguage(uint16_t nLangId) override { return m_bAccepted ? nLangId : 0x0409; }
    bool SetThreadLocale(uint32_t) override { return false; }

private:
    uint32_t m_nLcid;
    bool m_bAccepted;
};

struct Expected {
    const wchar_t* pszFileCopy;
    const wchar_t* pszUsbStatus;
    const wchar_t* pszFontFace;
    const wchar_t* pszStart;
    const wchar_t* pszVerify;
    const wchar_t* pszUsedSpaceOnly;
    const wchar_t* pszNoDrive;
    bool bStartIsDefault;
};

const Expected kEnglish{L"File Copy", L"USB Status", L"MS Shell Dlg", L"Start", L"Verify", L"Used space only",
                        L"No drive is connected.", false};

void ExpectTextFitsBesideTheCheckMark(HWND hBox)
{
    const std::wstring strText = WindowText(hBox);
    HDC hdc = GetDC(hBox);
    HGDIOBJ hOld = SelectObject(hdc, reinterpret_cast<HFONT>(SendMessageW(hBox, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(hdc, strText.c_str(), static_cast<int>(strText.size()), &size);
    SelectObject(hdc, hOld);
    ReleaseDC(hBox, hdc);
    RECT rcBox{};
    GetWindowRect(hBox, &rcBox);
    EXPECT_LE(size.cx + 2 * GetSystemMetrics(SM_CXMENUCHECK), rcBox.right - rcBox.left) << "cut off";
}

// Verify sits at the left of Start's row, under the slots' frame, with Used
// space only right after it on the same line; each text fits beside its
// check mark.
void ExpectVerifyAndUsedSpaceOnlyBesideStart(HWND hDlg)
{
    HWND hVerify = GetDlgItem(hDlg, IDC_VERIFY);
    HWND hUsedSpaceOnly = GetDlgItem(hDlg, IDC_USED_SPACE_ONLY);
    RECT rcVerify{}, rcUsedSpaceOnly{}, rcStart{}, rcSlots{};
    GetWindowRect(hVerify, &rcVerify);
    GetWindowRect(hUsedSpaceOnly, &rcUsedSpaceOnly);
    GetWindowRect(GetDlgItem(hDlg, IDC_START), &rcStart);
    GetWindowRect(GetDlgItem(hDlg, IDC_USB_STATUS_GROUP), &rcSlots);
    EXPECT_EQ(rcSlots.left, rcVerify.left);
    EXPECT_GE(rcVerify.top, rcStart.top);
    EXPECT_LE(rcVerify.bottom, rcStart.bottom);
    EXPECT_EQ(rcVerify.top, rcUsedSpaceOnly.top);
    EXPECT_EQ(rcVerify.bottom, rcUsedSpaceOnly.bottom);
    EXPECT_LT(rcVerify.right, rcUsedSpaceOnly.left);
    EXPECT_LT(rcUsedSpaceOnly.right, rcStart.left);
    ExpectTextFitsBesideTheCheckMark(hVerify);
    ExpectTextFitsBesideTheCheckMark(hUsedSpaceOnly);

    // Each a group of its own, and Tab goes from Verify to Start, through
    // Used space only where it is open: in a Sector Copy.
    EXPECT_EQ(hVerify, GetNextDlgGroupItem(hDlg, hVerify, FALSE));
    EXPECT_EQ(hUsedSpaceOnly, GetNextDlgGroupItem(hDlg, hUsedSpaceOnly, FALSE));
    EXPECT_EQ(GetDlgItem(hDlg, IDC_START), GetNextDlgTabItem(hDlg, hVerify, FALSE)) << "File Copy";
    SendMessageW(GetDlgItem(hDlg, IDC_TASK_SECTOR_COPY), BM_CLICK, 0, 0);
    EXPECT_EQ(hUsedSpaceOnly, GetNextDlgTabItem(hDlg, hVerify, FALSE));
    EXPECT_EQ(GetDlgItem(hDlg, IDC_START), GetNextDlgTabItem(hDlg, hUsedSpaceOnly, FALSE));
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_app.SetAppName(APP_TITLE);
        AfxSetApp(&m_app);
    }
    void TearDown() override
    {
        AfxSetApp(nullptr);
        g_uiLangId = LANG_ID_ENGLISH_US;
        AfxSetResourceLanguage(static_cast<LANGID>(LANG_ID_ENGLISH_US));
    }

    void Select(uint32_t nLcid, bool bAccepted)
    {
        CUserLanguage user(nLcid, bAccepted);
        SelectUiLanguage(user);
        AfxSetResourceLanguage(static_cast<LANGID>(g_uiLangId));
    }

    void ExpectDialogSpeaks(const Expected& expected)
    {
        CNoShellOpen shell;
        CBayServices bay;
        CKOBLDlg dialog(bay.Services(shell));
        RunDialogWithScript(dialog, [&](HWND hDlg) {
            EXPECT_EQ(expected.pszFileCopy, WindowText(GetDlgItem(hDlg, IDC_TASK_FILE_COPY)));
            EXPECT_EQ(expected.pszUsbStatus, WindowText(GetDlgItem(hDlg, IDC_USB_STATUS_GROUP)));
            EXPECT_EQ(expected.pszStart, WindowText(GetDlgItem(hDlg, IDC_START)));
            EXPECT_EQ(expected.pszVerify, WindowText(GetDlgItem(hDlg, IDC_VERIFY)));
            EXPECT_EQ(expected.pszUsedSpaceOnly, WindowText(GetDlgItem(hDlg, IDC_USED_SPACE_ONLY)));
            ExpectVerifyAndUsedSpaceOnlyBesideStart(hDlg);
            EXPECT_EQ(APP_TITLE, WindowText(hDlg));

            LOGFONTW font{};
            HFONT hFont = reinterpret_cast<HFONT>(SendMessageW(hDlg, WM_GETFONT, 0, 0));
            ASSERT_NE(0, GetObjectW(hFont, sizeof(font), &font));
            EXPECT_STREQ(expected.pszFontFace, font.lfFaceName);

            const LRESULT nDefault = SendMessageW(hDlg, DM_GETDEFID, 0, 0);
            EXPECT_EQ(expected.bStartIsDefault, HIWORD(nDefault) == DC_HASDEFID && LOWORD(nDefault) == IDC_START);
        });

        // Message boxes speak the language too, under the product's caption.
        std::wstring strShown;
        std::thread answerer([&] { strShown = AnswerMessageBox(APP_TITLE); });
        AfxMessageBox(GetMessageText(MSG_NO_DRIVE), MB_OK | MB_ICONINFORMATION);
        answerer.join();
        EXPECT_EQ(expected.pszNoDrive, strShown);
    }

    CWinApp m_app;
};

TEST_F(LanguageTest, KoreanUsersGetTheKoreanTemplateAndTexts)
{
    Select(0x0412, true);
    ExpectDialogSpeaks({L"\uD30C\uC77C \uBCF5\uC0AC", L"USB \uC0C1\uD0DC", L"\uAD74\uB9BC", L"\uC2DC\uC791",
                        L"\uAC80\uC99D", L"사용 공간만",
                        L"\uD604\uC7AC \uC811\uC18D\uB41C \uB4DC\uB77C\uC774\uBE0C\uAC00 \uC5C6\uC2B5\uB2C8\uB2E4.",
                        true});
}

TEST_F(LanguageTest, JapaneseUsersGetTheJapaneseTemplateAndTexts)
{
    Select(0x0411, true);
    ExpectDialogSpeaks({L"\u30D5\u30A1\u30A4\u30EB\u306E\u30B3\u30D4\u30FC", L"USB\u306E\u72B6\u614B", L"MS PGothic",
                        L"\u958B\u59CB", L"\u30D9\u30EA\u30D5\u30A1\u30A4", L"使用領域のみ",
                        L"\u63A5\u7D9A\u3055\u308C\u3066\u3044\u308BUSB\u30E1\u30E2\u30EA\u304C\u3042\u308A\u307E"
                        L"\u305B\u3093\u3002",
                        false});
}

TEST_F(LanguageTest, ChineseAndEnglishUsersGetEnglishTexts)
{
    for (uint32_t nLcid : {0x0804u, 0x0409u, 0x0809u, 0x0404u}) {
        Select(nLcid, true);
        SCOPED_TRACE(nLcid);
        ExpectDialogSpeaks(kEnglish);
    }
}

TEST_F(LanguageTest, WhenTheThreadLanguageCannotBeSetEverythingIsEnglish)
{
    Select(0x0412, false);
    EXPECT_EQ(LANG_ID_ENGLISH_US, g_uiLangId);
    ExpectDialogSpeaks(kEnglish);
}

// The system's own calls, for the user CTest runs this process as: once as
// a US English user (LC_ALL=C), once as a Korean one (LC_ALL=ko_KR.UTF-8).
// Wine takes the process's locale from LC_ALL and shows it to the process.
TEST(SystemLanguage, StartUpSelectsTheUsersLanguage)
{
    wchar_t szLocale[64] = {};
    ASSERT_NE(0u, GetEnvironmentVariableW(L"LC_ALL", szLocale, 64)) << "CTest sets the user's locale";
    const uint32_t nExpected = std::wstring(szLocale).rfind(L"ko_KR", 0) == 0 ? 0x0412 : 0x0409;

    EXPECT_EQ(1, SelectUiLanguage());
    EXPECT_EQ(nExpected, g_uiLangId);
    EXPECT_EQ(nExpected, AfxGetResourceLanguage()) << "templates follow the selection";

    g_uiLangId = LANG_ID_ENGLISH_US;
    AfxSetResourceLanguage(static_cast<LANGID>(LANG_ID_ENGLISH_US));
}

}  // namespace
