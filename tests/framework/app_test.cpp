#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "framework/afx_app.h"
#include "test_support.h"

namespace {

// Unique per process, so parallel or leftover runs never see each other's
// values; removed again after every test.
std::wstring TestRegistryKey()
{
    return L"CorvantisFrameworkTest-" + std::to_wstring(::GetCurrentProcessId());
}

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_app.SetAppName(L"Profile App");
        m_app.SetRegistryKey(TestRegistryKey());
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\" + TestRegistryKey()).c_str()); }

    static bool ReadRaw(const std::wstring& strSubKey, const std::wstring& strEntry, DWORD& dwType,
                        std::wstring& strData)
    {
        wchar_t szData[512] = {};
        DWORD cbData = sizeof(szData) - sizeof(wchar_t);
        const std::wstring strPath = L"Software\\" + TestRegistryKey() + L"\\" + strSubKey;
        if (::RegGetValueW(HKEY_CURRENT_USER, strPath.c_str(), strEntry.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &dwType,
                           szData, &cbData) != ERROR_SUCCESS)
            return false;
        strData.assign(szData, cbData / sizeof(wchar_t));
        return true;
    }

    static bool KeyExists(const std::wstring& strSubKey)
    {
        HKEY hKey = nullptr;
        const std::wstring strPath = L"Software\\" + TestRegistryKey() + L"\\" + strSubKey;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(hKey);
        return true;
    }

    CWinApp m_app;
};

TEST_F(ProfileTest, StringsRoundTripAtAnyLength)
{
    const std::wstring strLong(5000, L'x');
    const std::wstring strText = L"Größe 64 GB – 한국어";
    EXPECT_TRUE(m_app.WriteProfileString(L"Settings", L"Long", strLong));
    EXPECT_TRUE(m_app.WriteProfileString(L"Settings", L"Text", strText));
    EXPECT_TRUE(m_app.WriteProfileString(L"Settings", L"Empty", L""));
    EXPECT_EQ(m_app.GetProfileString(L"Settings", L"Long", L"def"), strLong);
    EXPECT_EQ(m_app.GetProfileString(L"Settings", L"Text", L"def"), strText);
    EXPECT_EQ(m_app.GetProfileString(L"Settings", L"Empty", L"def"), L"");

    DWORD dwType = 0;
    std::wstring strRaw;
    ASSERT_TRUE(ReadRaw(L"Profile App\\Settings", L"Text", dwType, strRaw));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(strRaw, strText + L'\0');
}

TEST_F(ProfileTest, IntegersRoundTripIncludingNegative)
{
    EXPECT_TRUE(m_app.WriteProfileInt(L"Settings", L"Count", 22));
    EXPECT_TRUE(m_app.WriteProfileInt(L"Settings", L"Offset", -3));
    EXPECT_EQ(m_app.GetProfileInt(L"Settings", L"Count", 7), 22u);
    EXPECT_EQ(static_cast<int>(m_app.GetProfileInt(L"Settings", L"Offset", 7)), -3);

    DWORD dwType = 0;
    std::wstring strRaw;
    ASSERT_TRUE(ReadRaw(L"Profile App\\Settings", L"Count", dwType, strRaw));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_DWORD));
}

TEST_F(ProfileTest, MissingOrUnreadableValuesGiveTheDefault)
{
    EXPECT_EQ(m_app.GetProfileString(L"Fresh", L"Nothing", L"fallback"), L"fallback");
    EXPECT_EQ(m_app.GetProfileInt(L"Fresh", L"Nothing", 17), 17u);
    // Reading creates the section, as MFC's profile does.
    EXPECT_TRUE(KeyExists(L"Profile App\\Fresh"));

    // Too long to be a DWORD: the number cannot be read.
    EXPECT_TRUE(m_app.WriteProfileString(L"Fresh", L"Word", L"twelve"));
    EXPECT_EQ(m_app.GetProfileInt(L"Fresh", L"Word", 5), 5u);

    // The type is not checked: a DWORD read as a string gives its bytes.
    EXPECT_TRUE(m_app.WriteProfileInt(L"Fresh", L"Number", 0x00420041));
    EXPECT_EQ(m_app.GetProfileString(L"Fresh", L"Number", L"def"), L"AB");
}

TEST_F(ProfileTest, ProfileNameIsTheAppNameWhenTheKeyWasSet)
{
    EXPECT_EQ(m_app.GetRegistryKey(), TestRegistryKey());
    m_app.SetAppName(L"Renamed Later");
    EXPECT_EQ(m_app.GetProfileName(), L"Profile App");
    EXPECT_TRUE(m_app.WriteProfileString(L"Where", L"Entry", L"here"));

    DWORD dwType = 0;
    std::wstring strRaw;
    EXPECT_TRUE(ReadRaw(L"Profile App\\Where", L"Entry", dwType, strRaw));
    EXPECT_FALSE(KeyExists(L"Renamed Later"));

    m_app.SetRegistryKey(TestRegistryKey());
    EXPECT_EQ(m_app.GetProfileName(), L"Renamed Later");
    EXPECT_EQ(m_app.GetProfileString(L"Where", L"Entry", L"elsewhere"), L"elsewhere");
}

TEST(Application, WithoutRegistryKeyProfileIsDefaultsOnly)
{
    CWinApp app;
    app.SetAppName(L"No Key");
    EXPECT_FALSE(app.WriteProfileString(L"S", L"E", L"v"));
    EXPECT_FALSE(app.WriteProfileInt(L"S", L"E", 1));
    EXPECT_EQ(app.GetProfileString(L"S", L"E", L"d"), L"d");
    EXPECT_EQ(app.GetProfileInt(L"S", L"E", 4), 4u);
}

class CScriptedApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        m_pCurrentDuringInit = AfxGetApp();
        if (m_bThrow)
            throw std::runtime_error("init failed");
        if (m_bRunLoop)
            ::PostQuitMessage(3);
        return m_bRunLoop ? TRUE : FALSE;
    }
    int ExitInstance() override
    {
        ++m_nExitCalls;
        return 40 + m_nExitCalls;
    }

    bool m_bRunLoop = false;
    bool m_bThrow = false;
    CWinApp* m_pCurrentDuringInit = nullptr;
    int m_nExitCalls = 0;
};

class AfxWinMainTest : public ::testing::Test {
protected:
    void TearDown() override { AfxSetApp(m_pPrevious); }
    CWinApp* m_pPrevious = AfxGetApp();
};

TEST_F(AfxWinMainTest, InitInstanceFalseReturnsExitInstanceCode)
{
    CScriptedApp app;
    HINSTANCE hInstance = ::GetModuleHandleW(nullptr);
    EXPECT_EQ(AfxWinMain(app, hInstance), 41);
    EXPECT_EQ(app.m_pCurrentDuringInit, &app);
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(app.m_hInstance, hInstance);
    EXPECT_EQ(app.GetAppName(), TEST_EXE_BASE_NAME);
}

TEST_F(AfxWinMainTest, LoopRunsUntilQuitThenExitInstance)
{
    CScriptedApp app;
    app.m_bRunLoop = true;
    app.SetAppName(L"Chosen Name");
    EXPECT_EQ(AfxWinMain(app, ::GetModuleHandleW(nullptr)), 41);
    EXPECT_EQ(app.m_nExitCalls, 1);
    EXPECT_EQ(app.GetAppName(), L"Chosen Name");
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(AfxWinMainTest, ThrowingInitInstanceEndsWithFailure)
{
    CScriptedApp app;
    app.m_bThrow = true;
    EXPECT_EQ(AfxWinMain(app, ::GetModuleHandleW(nullptr)), -1);
}

TEST(Application, DestroyedAppIsNoLongerCurrent)
{
    CWinApp* pPrevious = AfxGetApp();
    {
        CWinApp app;
        AfxSetApp(&app);
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    AfxSetApp(pPrevious);
}

TEST(Application, MessageBoxCaptionIsTheAppNameElseTheExeName)
{
    {
        CScopedTestApp app(L"Caption From App");
        CMessageBoxAnswerer answerer(L"Caption From App");
        EXPECT_EQ(AfxMessageBox(L"first", MB_OK), IDOK);
        EXPECT_TRUE(answerer.Join());
        EXPECT_EQ(answerer.m_strText, L"first");
        // No window of this thread is active, so the box has no owner.
        EXPECT_EQ(answerer.m_hOwner, nullptr);
    }
    CWinApp* pPrevious = AfxGetApp();
    AfxSetApp(nullptr);
    CMessageBoxAnswerer answerer(TEST_EXE_BASE_NAME);
    EXPECT_EQ(AfxMessageBox(L"second", MB_OK), IDOK);
    AfxSetApp(pPrevious);
    EXPECT_TRUE(answerer.Join());
    EXPECT_EQ(answerer.m_strText, L"second");
}

} // namespace
