#include <gtest/gtest.h>

#include <string>

#include "framework/afx_wnd.h"

namespace {

class CTopLevel {
public:
    explicit CTopLevel(const wchar_t* pszClass)
        : m_hWnd(::CreateWindowExW(0, pszClass, L"", WS_POPUP, 0, 0, 80, 80, nullptr, nullptr, nullptr, nullptr))
    {
    }
    ~CTopLevel() { ::DestroyWindow(m_hWnd); }
    HWND m_hWnd;
};

TEST(WindowWrapper, AttachRefusesToReplaceAnotherWindow)
{
    CTopLevel first(L"STATIC");
    CTopLevel second(L"STATIC");
    CWnd wnd;
    EXPECT_FALSE(wnd.Attach(nullptr));
    EXPECT_TRUE(wnd.Attach(first.m_hWnd));
    EXPECT_TRUE(wnd.Attach(first.m_hWnd));
    EXPECT_FALSE(wnd.Attach(second.m_hWnd));
    EXPECT_EQ(wnd.m_hWnd, first.m_hWnd);
    EXPECT_EQ(wnd.Detach(), first.m_hWnd);
    EXPECT_TRUE(wnd.Attach(second.m_hWnd));
    // Not owned: detaching and destroying the wrapper leave the window alone.
    {
        CWnd scoped;
        scoped.Attach(first.m_hWnd);
    }
    EXPECT_TRUE(::IsWindow(first.m_hWnd));
}

TEST(WindowWrapper, TextOfAnyLength)
{
    CTopLevel window(L"STATIC");
    CWnd wnd;
    wnd.Attach(window.m_hWnd);
    EXPECT_EQ(wnd.GetWindowText(), L"");
    std::wstring strLong(70000, L'a');
    strLong += L"ende";
    wnd.SetWindowText(strLong);
    EXPECT_EQ(wnd.GetWindowText(), strLong);
    EXPECT_EQ(CWnd().GetWindowText(), L"");
}

} // namespace
