#include <gtest/gtest.h>

#include "framework/afx_resource.h"
#include "framework/afx_wnd.h"
#include "framework_test_resource.h"
#include "test_support.h"

namespace {

constexpr LANGID LANG_DE = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
constexpr LANGID LANG_FR = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);

HINSTANCE Module()
{
    return ::GetModuleHandleW(nullptr);
}

INT_PTR CALLBACK IgnoreMessages(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The caption tells which language's template was found.
std::wstring CaptionOfTemplate(const DLGTEMPLATE* pTemplate)
{
    HWND hWnd = ::CreateDialogIndirectParamW(Module(), pTemplate, nullptr, IgnoreMessages, 0);
    if (hWnd == nullptr)
        return L"<not created>";
    std::wstring strCaption = CWnd::ReadWindowText(hWnd);
    ::DestroyWindow(hWnd);
    return strCaption;
}

TEST(ResourceLanguage, StringsPreferTheLanguageThenEnglishThenAnyOther)
{
    EXPECT_EQ(AfxLoadString(Module(), IDS_IN_BOTH, LANG_DE), L"Hallo");
    EXPECT_EQ(AfxLoadString(Module(), IDS_IN_BOTH, AFX_LANG_ENGLISH_US), L"Hello");
    EXPECT_EQ(AfxLoadString(Module(), IDS_IN_BOTH, LANG_FR), L"Hello");
    // German has this block, but not this string of it.
    EXPECT_EQ(AfxLoadString(Module(), IDS_ENGLISH_ONLY, LANG_DE), L"English only");
    EXPECT_EQ(AfxLoadString(Module(), IDS_GERMAN_ONLY, AFX_LANG_ENGLISH_US), L"Nur auf Deutsch");
    EXPECT_EQ(AfxLoadString(Module(), IDS_GERMAN_ONLY, LANG_FR), L"Nur auf Deutsch");
}

TEST(ResourceLanguage, MissingStringsAreEmpty)
{
    EXPECT_EQ(AfxLoadString(Module(), IDS_NOT_PRESENT, LANG_DE), L"");
    EXPECT_EQ(AfxLoadString(Module(), 4000, AFX_LANG_ENGLISH_US), L"");
    // 0x10000 + IDS_IN_BOTH would land in IDS_IN_BOTH's block if truncated.
    EXPECT_EQ(AfxLoadString(Module(), 0x10000 + IDS_IN_BOTH, AFX_LANG_ENGLISH_US), L"");
}

TEST(ResourceLanguage, DialogTemplatesFallBackLikeStrings)
{
    EXPECT_EQ(CaptionOfTemplate(AfxFindDialogTemplate(Module(), IDD_TEST_DIALOG, LANG_DE)), L"Rahmenwerk-Prüfung");
    EXPECT_EQ(CaptionOfTemplate(AfxFindDialogTemplate(Module(), IDD_TEST_DIALOG, AFX_LANG_ENGLISH_US)),
              L"Framework Test");
    EXPECT_EQ(CaptionOfTemplate(AfxFindDialogTemplate(Module(), IDD_TEST_DIALOG, LANG_FR)), L"Framework Test");
    EXPECT_EQ(CaptionOfTemplate(AfxFindDialogTemplate(Module(), IDD_GERMAN_ONLY, LANG_FR)), L"Nur Deutsch");
    EXPECT_EQ(AfxFindDialogTemplate(Module(), IDD_NOT_PRESENT, AFX_LANG_ENGLISH_US), nullptr);
}

TEST(ResourceLanguage, DoModalUsesTheProcessResourceLanguage)
{
    EXPECT_EQ(AfxGetResourceLanguage(), AFX_LANG_ENGLISH_US);
    CScopedTestApp app;
    std::wstring strCaption;
    {
        CScopedResourceLanguage german(LANG_DE);
        CStepDialog dialog;
        dialog.RunSteps({[&](CStepDialog& dlg) {
            strCaption = dlg.GetWindowText();
            dlg.EndDialog(IDOK);
        }});
    }
    EXPECT_EQ(strCaption, L"Rahmenwerk-Prüfung");
    EXPECT_EQ(AfxGetResourceLanguage(), AFX_LANG_ENGLISH_US);
}

} // namespace
