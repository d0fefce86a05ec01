#include "app/ui_language.h"

#include <vector>

#include <gtest/gtest.h>

#include "app/message_catalogue.h"

namespace {

// A system whose answers each case sets, noting what it was asked to do.
class CFakeLanguagePlatform : public IUiLanguagePlatform {
public:
    uint32_t GetUserDefaultLcid() override { return m_nLcid; }
    bool GetMajorVersion(uint32_t& nMajor) override
    {
        nMajor = m_nMajor;
        return m_bVersionReadable;
    }
    uint16_t SetThreadUiLanguage(uint16_t nLangId) override
    {
        m_uiLanguageCalls.push_back(nLangId);
        return m_bUiLanguageAccepted ? nLangId : m_nUiLanguageInstead;
    }
    bool SetThreadLocale(uint32_t nLcid) override
    {
        m_localeCalls.push_back(nLcid);
        return m_bLocaleAccepted;
    }

    uint32_t m_nLcid = 0x0412;
    uint32_t m_nMajor = 6;
    bool m_bVersionReadable = true;
    bool m_bUiLanguageAccepted = true;
    uint16_t m_nUiLanguageInstead = 0;
    bool m_bLocaleAccepted = true;
    std::vector<uint16_t> m_uiLanguageCalls;
    std::vector<uint32_t> m_localeCalls;
};

class UiLanguageTest : public ::testing::Test {
protected:
    void SetUp() override { g_uiLangId = LANG_ID_ENGLISH_US; }
    void TearDown() override { g_uiLangId = LANG_ID_ENGLISH_US; }
    CFakeLanguagePlatform m_platform;
};

TEST_F(UiLanguageTest, OnVistaToEightPointOneTheThreadUiLanguageDecides)
{
    m_platform.m_nLcid = 0x00010411;   // Japanese with a sort order in the high bits
    EXPECT_EQ(1, SelectUiLanguage(m_platform));
    EXPECT_EQ(0x0411u, g_uiLangId);
    EXPECT_EQ(std::vector<uint16_t>{0x0411}, m_platform.m_uiLanguageCalls);
    EXPECT_TRUE(m_platform.m_localeCalls.empty());
}

TEST_F(UiLanguageTest, ALanguageOtherThanTheOneAskedForLeavesEnglish)
{
    m_platform.m_bUiLanguageAccepted = false;
    m_platform.m_nUiLanguageInstead = 0x0409;
    EXPECT_EQ(0, SelectUiLanguage(m_platform));
    EXPECT_EQ(LANG_ID_ENGLISH_US, g_uiLangId);

    m_platform.m_nUiLanguageInstead = 0;   // no SetThreadUILanguage at all
    EXPECT_EQ(0, SelectUiLanguage(m_platform));
    EXPECT_EQ(LANG_ID_ENGLISH_US, g_uiLangId);
    EXPECT_STREQ(L"Start", GetMessageText(MSG_START));
}

TEST_F(UiLanguageTest, OtherVersionsUseTheThreadLocale)
{
    for (uint32_t nMajor : {5u, 10u}) {
        m_platform.m_nMajor = nMajor;
        m_platform.m_localeCalls.clear();
        m_platform.m_bLocaleAccepted = true;
        g_uiLangId = LANG_ID_ENGLISH_US;
        EXPECT_EQ(1, SelectUiLanguage(m_platform)) << nMajor;
        EXPECT_EQ(LANG_ID_KOREAN, g_uiLangId);
        EXPECT_EQ(std::vector<uint32_t>{0x0412}, m_platform.m_localeCalls);

        m_platform.m_bLocaleAccepted = false;
        g_uiLangId = LANG_ID_ENGLISH_US;
        EXPECT_EQ(0, SelectUiLanguage(m_platform)) << nMajor;
        EXPECT_EQ(LANG_ID_ENGLISH_US, g_uiLangId);
    }
    EXPECT_TRUE(m_platform.m_uiLanguageCalls.empty());
}

TEST_F(UiLanguageTest, AnUnreadableVersionChangesNothing)
{
    m_platform.m_bVersionReadable = false;
    EXPECT_EQ(0, ApplyThreadUiLanguage(m_platform, 0x0412));
    EXPECT_EQ(0, SelectUiLanguage(m_platform));
    EXPECT_EQ(LANG_ID_ENGLISH_US, g_uiLangId);
    EXPECT_TRUE(m_platform.m_uiLanguageCalls.empty());
    EXPECT_TRUE(m_platform.m_localeCalls.empty());
}

}  // namespace
