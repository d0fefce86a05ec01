#include "app/message_catalogue.h"

#include <string>

#include <gtest/gtest.h>

namespace {

class MessageCatalogueTest : public ::testing::Test {
protected:
    void TearDown() override { g_uiLangId = LANG_ID_ENGLISH_US; }
};

TEST_F(MessageCatalogueTest, WholeLanguageIdsPickTheColumn)
{
    EXPECT_EQ(CATALOGUE_COLUMN_KOREAN, GetCatalogueColumn(0x0412));
    EXPECT_EQ(CATALOGUE_COLUMN_ENGLISH, GetCatalogueColumn(0x0409));
    EXPECT_EQ(CATALOGUE_COLUMN_JAPANESE, GetCatalogueColumn(0x0411));
    EXPECT_EQ(CATALOGUE_COLUMN_CHINESE, GetCatalogueColumn(0x0804));
    // Same primary language, other sub-language: English.
    for (uint32_t nLangId : {0x0809u, 0x0404u, 0x0812u, 0x0011u, 0x0000u, 0x0407u, 0x10412u})
        EXPECT_EQ(CATALOGUE_COLUMN_ENGLISH, GetCatalogueColumn(nLangId)) << std::hex << nLangId;
}

TEST_F(MessageCatalogueTest, EveryRowSpeaksEveryLanguageAndChineseReadsEnglish)
{
    for (int nRow = 0; nRow < MSG_ROW_COUNT; ++nRow) {
        const MessageRow& row = g_messageCatalogue[nRow];
        for (int nColumn = 0; nColumn < CATALOGUE_COLUMN_COUNT; ++nColumn) {
            ASSERT_NE(nullptr, row.pszText[nColumn]) << nRow << "/" << nColumn;
            EXPECT_NE(L'\0', row.pszText[nColumn][0]) << nRow << "/" << nColumn;
        }
        const std::wstring strEnglish = row.pszText[CATALOGUE_COLUMN_ENGLISH];
        const std::wstring strChinese = row.pszText[CATALOGUE_COLUMN_CHINESE];
        if (nRow == MSG_ERROR_CODE) {
            EXPECT_EQ(L" " + strEnglish + L" ", strChinese);
        } else {
            EXPECT_EQ(strEnglish, strChinese) << nRow;
        }
        EXPECT_NE(strEnglish, std::wstring(row.pszText[CATALOGUE_COLUMN_KOREAN])) << "untranslated row " << nRow;
    }
}

TEST_F(MessageCatalogueTest, TextsFollowTheSelectedLanguage)
{
    g_uiLangId = LANG_ID_KOREAN;
    EXPECT_STREQ(L"\uC2DC\uC791", GetMessageText(MSG_START));
    EXPECT_STREQ(L"\uD655\uC778", GetMessageText(MSG_OK));
    g_uiLangId = LANG_ID_JAPANESE;
    EXPECT_STREQ(L"\u958B\u59CB", GetMessageText(MSG_START));
    EXPECT_STREQ(L"OK", GetMessageText(MSG_OK));
    EXPECT_STREQ(L"\u4ECA\u5F8C\u3001\u3053\u306E\u30E1\u30C3\u30BB\u30FC \u30B8\u3092\u8868\u793A\u3057\u306A\u3044",
                 GetMessageText(MSG_DONT_SHOW_AGAIN));
    g_uiLangId = LANG_ID_CHINESE_PRC;
    EXPECT_STREQ(L" Error Code ", GetMessageText(MSG_ERROR_CODE));
    g_uiLangId = 0x0809;
    EXPECT_STREQ(L"If you format the USB flash drive, all data in the device will be erased. \r\n"
                 L" Are you sure you want to continue?",
                 GetMessageText(MSG_FORMAT_WARNING));
    EXPECT_STREQ(L"Do you want to cancel the task ?", GetMessageText(MSG_CANCEL_QUESTION));
}

}  // namespace
