// Which release counts as newer, how INI values are read, and the command
// line the updater is started with.

#include "services/update_rules.h"

#include <algorithm>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(UpdateVersionTest, OfferedReleaseIsNewerOnlyInItsFirstFourFields)
{
    const struct {
        const wchar_t* pszOwn;
        const wchar_t* pszOffered;
        int nNewer;
    } kCases[] = {
        {L"1, 0, 0, 4", L"1.0.0.5", 1},
        {L"1, 0, 0, 4", L"1.0.0.4", 0},
        {L"1, 0, 0, 4", L"1.0.0.3", 0},
        {L"1, 0, 0, 4", L"0.9.9.9", 0},
        {L"1, 0, 0, 4", L"1.1", 1},
        {L"1, 0, 0, 4", L"1", 0},
        {L"1, 0, 0, 4", L"2", 1},
        {L"1, 0, 0, 4", L"1.0.0.4.9", 0},
        {L"1, 0, 0, 4", L"1,0,0,10", 1},
        {L"1, 0, 0, 4", L"", 0},
        {L"", L"0.0.0.1", 1},
        {L"1.0.0.4", L" +1. 0.\t0.  5", 1},
        {L"1.0.0.4", L"1.0.-1.9", 0},
        {L"1.0.0.4", L"1.0.x.3", 0},
        {L"1.0.0.4", L"1.0.x.5", 1},
        {L"1.0.0.4", L"1.0.1x.0", 1},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.nNewer, IsNewerVersion(c.pszOwn, c.pszOffered)) << "own " << c.pszOwn << ", offered " << c.pszOffered;
}

TEST(UpdateVersionTest, FieldsReadAsTheCLibraryReadsNumbers)
{
    int nFields[VERSION_FIELD_COUNT];
    std::fill(std::begin(nFields), std::end(nFields), 7);
    ParseVersion(L"", nFields);
    ParseVersion(nullptr, nFields);
    EXPECT_EQ(7, nFields[0]) << "nothing to read leaves the array alone";

    std::fill(std::begin(nFields), std::end(nFields), 7);
    ParseVersion(L" 12,-3, +4 ,x,5a.", nFields);
    const int kExpected[] = {12, -3, 4, 0, 5, 0, 7};
    for (size_t i = 0; i < std::size(kExpected); ++i)
        EXPECT_EQ(kExpected[i], nFields[i]) << "field " << i;

    std::fill(std::begin(nFields), std::end(nFields), 7);
    ParseVersion(L"1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.17.18", nFields);
    EXPECT_EQ(1, nFields[0]);
    EXPECT_EQ(16, nFields[15]) << "the sixteenth field is the last one kept";
}

TEST(UpdateIniValueTest, MissingEmptyTooLongAndPercentCut)
{
    const std::wstring kSentinel = L"$FailedString_Undefined$";
    std::wstring strValue = L"untouched";
    EXPECT_EQ(0, ApplyIniValueRules(kSentinel, kSentinel.size(), 259, strValue, nullptr));
    EXPECT_EQ(L"untouched", strValue) << "a missing key leaves the output alone";

    EXPECT_EQ(1, ApplyIniValueRules(L"", 0, 259, strValue, nullptr));
    EXPECT_EQ(L"", strValue) << "an empty value is a value";

    strValue = L"untouched";
    const std::wstring strLong(259, L'a');
    EXPECT_EQ(0, ApplyIniValueRules(strLong, strLong.size(), 259, strValue, nullptr));
    EXPECT_EQ(L"untouched", strValue);
    EXPECT_EQ(1, ApplyIniValueRules(strLong, 258, 259, strValue, nullptr));
    EXPECT_EQ(258u, strValue.size());

    const std::wstring strUrl = L"http://127.0.0.1/release%20notes/current%2Drelease.ini";
    std::wstring strRest;
    EXPECT_EQ(1, ApplyIniValueRules(strUrl, strUrl.size(), 259, strValue, &strRest));
    EXPECT_EQ(L"http://127.0.0.1/release", strValue);
    EXPECT_EQ(L"%20notes/current%2Drelease.ini", strRest);
    EXPECT_EQ(1, ApplyIniValueRules(L"%", 1, 259, strValue, nullptr));
    EXPECT_EQ(L"", strValue);
}

TEST(UpdaterCommandLineTest, TagQuotedLocationQuotedFolderAndLanguage)
{
    std::wstring strParameters;
    ASSERT_EQ(1, BuildUpdaterParameters(L"Fennelbridge-SH", L"http://dl.example/usbcopy/1.0.0.5",
                                        CutDriveRootBackslash(L"D:\\Downloads"), 1042, strParameters));
    EXPECT_EQ(L"Fennelbridge-SH \"http://dl.example/usbcopy/1.0.0.5\" \"D:\\Downloads\" 1042", strParameters);

    // The root's backslash would escape the closing quote.
    ASSERT_EQ(1, BuildUpdaterParameters(L"Fennelbridge-SH", L"u", CutDriveRootBackslash(L"E:\\"), 1041,
                                        strParameters));
    EXPECT_EQ(L"Fennelbridge-SH \"u\" \"E:\" 1041", strParameters);
    EXPECT_EQ(L"E:\\Data", CutDriveRootBackslash(L"E:\\Data"));
    EXPECT_EQ(L"E:", CutDriveRootBackslash(L"E:"));
}

TEST(UpdaterCommandLineTest, LocationThatWouldLeaveItsQuotesIsRefused)
{
    const wchar_t* const kHostile[] = {
        L"http://x/\" --install \"C:\\evil",
        L"http://x/a\r\nb",
        L"http://x/\tb",
        L"http://x/dir\\",
    };
    for (const wchar_t* pszUrlPath : kHostile) {
        std::wstring strParameters = L"untouched";
        EXPECT_EQ(0, BuildUpdaterParameters(L"Fennelbridge-SH", pszUrlPath, L"D:\\Downloads", 1033, strParameters))
            << pszUrlPath;
        EXPECT_EQ(L"untouched", strParameters);
    }
}

}  // namespace
