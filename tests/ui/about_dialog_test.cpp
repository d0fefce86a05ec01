// The about box from the main dialog's system menu, and the version strings
// it shows, read from this test executable's own version resource (it
// carries the product's resources).

#include "ui/win32/about_dialog_win32.h"

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "base/win32/version_string_win32.h"
#include "framework/afx_app.h"
#include "support/bay_services.h"
#include "support/dialog_runner_win32.h"
#include "support/gui_wait_win32.h"
#include "support/no_shell_open.h"
#include "support/refused_system_library_win32.h"
#include "support/test_files.h"
#include "support/window_search_win32.h"

namespace {

using namespace std::chrono_literals;

std::wstring Query(const std::wstring& strPath, int nField, size_t cchOut, bool& bResult, DWORD& dwError)
{
    std::wstring strOut(cchOut, L'#');
    bResult = QueryVersionString(strPath.c_str(), nField, cchOut == 0 ? nullptr : strOut.data(), cchOut);
    dwError = GetLastError();
    return cchOut == 0 ? std::wstring() : std::wstring(strOut.c_str());
}

TEST(QueryVersionStringTest, ReadsEachFieldOfTheFirstTranslation)
{
    const std::wstring strExe = AfxGetModuleFileName(nullptr);
    struct Case {
        int nField;
        size_t cchOut;
        const wchar_t* pszExpected;
        bool bResult;
        DWORD dwError;
    };
    for (const Case& c : {Case{9, 260, L"1, 0, 0, 4", true, 0}, Case{3, 260, L"1, 0, 0, 4", true, 0},
                          Case{5, 260, L"Copyright (C) 2026 Fennelbridge. All rights reserved.", true, 0},
                          Case{1, 260, L"Fennelbridge", true, 0}, Case{8, 260, L"CORVANTIS USB Copy", true, 0},
                          Case{7, 260, L"CorvantisUsbCopy.exe", true, 0}, Case{4, 260, L"CorvantisUsbCopy", true, 0},
                          Case{0, 260, L"", true, 0},        // no "Comments" in the resource
                          Case{9, 5, L"1, 0", true, 0},      // cut, still terminated
                          Case{12, 260, L"", false, 87}, Case{-1, 260, L"", false, 87},
                          Case{9, 0, L"", false, 87}}) {
        bool bResult = false;
        DWORD dwError = 0;
        EXPECT_EQ(c.pszExpected, Query(strExe, c.nField, c.cchOut, bResult, dwError)) << c.nField;
        EXPECT_EQ(c.bResult, bResult) << c.nField;
        EXPECT_EQ(c.dwError, dwError) << c.nField;
    }

    CTempFolder folder;
    WriteTestFile(folder.Path() / "plain.txt", "no resources here");
    bool bResult = true;
    DWORD dwError = 0;
    EXPECT_EQ(L"", Query((folder.Path() / "plain.txt").wstring(), 9, 260, bResult, dwError));
    EXPECT_FALSE(bResult);
    EXPECT_NE(0u, dwError);
}

// version.dll comes from the system's folder only; where that one cannot be
// had, every field reads as a file without a version resource does: empty,
// false, and the loader's reason.
TEST(QueryVersionStringTest, WithoutTheSystemsVersionDllEveryFieldIsEmpty)
{
    const std::wstring strExe = AfxGetModuleFileName(nullptr);
    CRefusedSystemLibrary refused(L"version.dll");
    ASSERT_TRUE(refused.Applied());
    for (int nField : {9, 5}) {
        bool bResult = true;
        DWORD dwError = 0;
        EXPECT_EQ(L"", Query(strExe, nField, 260, bResult, dwError)) << nField;
        EXPECT_FALSE(bResult) << nField;
        EXPECT_EQ(126u, dwError) << nField;
    }
}

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_app.SetAppName(L"CorvantisAboutTest" + std::to_wstring(GetCurrentProcessId()));
        m_app.SetRegistryKey(L"Local AppWizard-Generated Applications");
        m_app.SetAppName(L"CORVANTIS USB Copy");
        AfxSetApp(&m_app);
    }
    void TearDown() override
    {
        AfxSetResourceLanguage(0x0409);
        AfxSetApp(nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER,
                       (L"Software\\Local AppWizard-Generated Applications\\" + m_app.GetProfileName()).c_str());
    }

    CWinApp m_app;
    CBayServices m_bay{"[E:]\nsize = 8G\n"};
    CNoShellOpen m_shell;
};

TEST_F(AboutBoxTest, MainDialogsIconsAndSystemMenuEntryOpenItInEveryLanguageWithTheResourcesTexts)
{
    for (LANGID lang : {0x0409, 0x0412, 0x0411, 0x0804}) {
        AfxSetResourceLanguage(lang);
        CKOBLDlg dialog(m_bay.Services(m_shell));
        RunDialogWithScript(dialog, [&](HWND hDlg) {
            // Wine answers WM_GETICON only inside the window's own process.
            EXPECT_NE(0, SendMessageW(hDlg, WM_GETICON, ICON_BIG, 0)) << "main dialog without big icon";
            EXPECT_NE(0, SendMessageW(hDlg, WM_GETICON, ICON_SMALL, 0)) << "main dialog without small icon";
            wchar_t szItem[64] = {};
            GetMenuStringW(GetSystemMenu(hDlg, FALSE), 0x0010, szItem, 64, MF_BYCOMMAND);
            EXPECT_STREQ(L"&About CORVANTIS USB Copy ...", szItem) << lang;

            // The system may set the low four bits of a command.
            PostMessageW(hDlg, WM_SYSCOMMAND, 0x0010 | 0x0007, 0);
            HWND hAbout = WaitForDialogWindow(L"About KOBL", GetCurrentProcessId());
            ASSERT_NE(nullptr, hAbout) << "no about box in language " << lang;
            EXPECT_EQ(hDlg, GetWindow(hAbout, GW_OWNER));
            EXPECT_FALSE(IsWindowEnabled(hDlg)) << "the about box is modal";
            const std::wstring strVersion = WindowText(GetDlgItem(hAbout, 1014));
            EXPECT_TRUE(std::regex_match(strVersion,
                                         std::wregex(LR"(Version : 1, 0, 0, 4 \([A-Z][a-z]{2} [ 123]\d \d{4}\))")))
                << strVersion;
            EXPECT_EQ(L"Copyright (C) 2026 Fennelbridge. All rights reserved.",
                      WindowText(GetDlgItem(hAbout, 1015)));
            EXPECT_NE(0, SendMessageW(hAbout, WM_GETICON, ICON_BIG, 0));
            EXPECT_NE(0, SendMessageW(hAbout, WM_GETICON, ICON_SMALL, 0));

            PostMessageW(hAbout, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            EXPECT_TRUE(WaitForWindowGone(hAbout, "the about box after OK"));
            EXPECT_TRUE(IsWindowEnabled(hDlg));
        });
    }
}

}  // namespace
