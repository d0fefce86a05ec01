#include "engine/slot_result.h"

#include <climits>

#include <gtest/gtest.h>

namespace {

TEST(SlotResultTest, ErrorCodesAreReadLikeTheCLibraryReadsNumbers)
{
    struct Case {
        const wchar_t* pszStatus;
        int nCode;
    };
    const Case cases[] = {
        {L"E5", 5}, {L"E7", 7}, {L"E12", 12}, {L"E", 0}, {L"Ex", 0}, {L"E3x", 3},
        {L"E 4", 4}, {L"E-2", -2}, {L"E99999999999", INT_MAX}, {L"E-99999999999", INT_MIN},
    };
    for (const Case& c : cases) {
        int nCode = -12345;
        EXPECT_TRUE(ParseSlotErrorCode(c.pszStatus, nCode)) << &c - cases;
        EXPECT_EQ(c.nCode, nCode) << &c - cases;
    }
}

TEST(SlotResultTest, TextsThatShowNoErrorAreIgnored)
{
    for (const wchar_t* pszStatus : {L"", L"OK", L"e5", L" E5", L"--"}) {
        int nCode = -1;
        EXPECT_FALSE(ParseSlotErrorCode(pszStatus, nCode));
        EXPECT_EQ(-1, nCode) << "left alone";
    }
}

}  // namespace
