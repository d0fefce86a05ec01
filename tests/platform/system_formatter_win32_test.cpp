#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/win32/handles_win32.h"
#include "framework/afx_app.h"
#include "platform/fmifs_fixture.h"
#include "platform/win32/system_formatter_win32.h"

namespace {

// The tests' stand-in, built beside the test executable, where a search in
// the usual order would find it first.
std::wstring FixturePath()
{
    return (std::filesystem::path(AfxGetModuleFileName(nullptr)).parent_path() / L"fmifs.dll").wstring();
}

struct SeenCallback {
    uint32_t nCommand;
    uint32_t nSubAction;
    uint32_t nValue;
    DWORD dwThreadId;
};

bool operator==(const SeenCallback& a, const SeenCallback& b)
{
    return a.nCommand == b.nCommand && a.nSubAction == b.nSubAction && a.nValue == b.nValue &&
           a.dwThreadId == b.dwThreadId;
}

std::ostream& operator<<(std::ostream& os, const SeenCallback& seen)
{
    return os << "{command " << seen.nCommand << ", sub " << seen.nSubAction << ", value " << seen.nValue
              << ", thread " << seen.dwThreadId << "}";
}

// What the core callbacks saw. The callback carries no context, so the
// tests' callbacks report through these.
std::vector<SeenCallback> g_outerSeen;

SeenCallback Seen(uint32_t nCommand, uint32_t nSubAction, const void* pData)
{
    // The done byte is a single byte: reading four would read past it.
    const uint32_t nValue = nCommand == FMIFS_DONE ? *static_cast<const uint8_t*>(pData)
                                                   : *static_cast<const uint32_t*>(pData);
    return {nCommand, nSubAction, nValue, ::GetCurrentThreadId()};
}

int RecordingCallback(uint32_t nCommand, uint32_t nSubAction, void* pData)
{
    g_outerSeen.push_back(Seen(nCommand, nSubAction, pData));
    return 1;
}

int StopAtTwentyPercent(uint32_t nCommand, uint32_t nSubAction, void* pData)
{
    g_outerSeen.push_back(Seen(nCommand, nSubAction, pData));
    return nCommand == FMIFS_PROGRESS && g_outerSeen.back().nValue >= 20 ? 0 : 1;
}

int ThrowingCallback(uint32_t nCommand, uint32_t nSubAction, void* pData)
{
    g_outerSeen.push_back(Seen(nCommand, nSubAction, pData));
    throw std::runtime_error("the callback failed");
}

class SystemFormatterWin32 : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_outerSeen.clear();
        // The test holds the fixture too, so that its record outlives the
        // product's unload.
        m_fixture.reset(::LoadLibraryExW(FixturePath().c_str(), nullptr, 0));
        ASSERT_TRUE(m_fixture) << "fmifs.dll beside the test, error " << ::GetLastError();
        m_pfnSetScript = reinterpret_cast<PFN_FMIFS_FIXTURE_SET_SCRIPT>(
            reinterpret_cast<void*>(::GetProcAddress(m_fixture.get(), FMIFS_FIXTURE_SET_SCRIPT_EXPORT)));
        m_pfnGetRecord = reinterpret_cast<PFN_FMIFS_FIXTURE_GET_RECORD>(
            reinterpret_cast<void*>(::GetProcAddress(m_fixture.get(), FMIFS_FIXTURE_GET_RECORD_EXPORT)));
        ASSERT_NE(m_pfnSetScript, nullptr) << "the loaded fmifs.dll is not the test's";
        ASSERT_NE(m_pfnGetRecord, nullptr);

        m_pLibrary = m_formatter.LoadFormatLibrary();
        ASSERT_NE(m_pLibrary, nullptr);
        ASSERT_TRUE(m_pLibrary->FindFormatEx());
    }

    void SetScript(const std::vector<FmifsFixtureStep>& steps)
    {
        ASSERT_TRUE(m_pfnSetScript(steps.data(), static_cast<DWORD>(steps.size())));
    }

    void Format(FormatExCallbackFn callback)
    {
        m_pLibrary->FormatEx(L"Q:\\", 11, L"FAT32", L"CORVANTIS", 1, 4096, callback);
    }

    const FmifsFixtureRecord& Record() const { return *m_pfnGetRecord(); }

    CUniqueModule m_fixture;
    PFN_FMIFS_FIXTURE_SET_SCRIPT m_pfnSetScript = nullptr;
    PFN_FMIFS_FIXTURE_GET_RECORD m_pfnGetRecord = nullptr;
    CWin32SystemFormatter m_formatter{FixturePath()};
    std::unique_ptr<IFormatLibrary> m_pLibrary;
};

TEST_F(SystemFormatterWin32, PassesTheSevenArgumentsAndForwardsEveryCallback)
{
    SetScript({{0, 0, 0, 1}, {0, 0, 57, 1}, {11, 3, 1, 1}});
    const std::wstring strRoot = L"Q:\\";
    const std::wstring strFileSystem = L"FAT32";
    const std::wstring strLabel = L"CORVANTIS";
    m_pLibrary->FormatEx(strRoot, 11, strFileSystem, strLabel, 1, 4096, &RecordingCallback);

    const FmifsFixtureRecord& record = Record();
    EXPECT_EQ(record.nFormatExCalls, 1u);
    EXPECT_STREQ(record.pszDriveRoot, L"Q:\\");
    EXPECT_EQ(record.nMediaFlag, 11u);
    EXPECT_STREQ(record.pszFormat, L"FAT32");
    EXPECT_STREQ(record.pszLabel, L"CORVANTIS");
    EXPECT_EQ(record.bQuickFormat, 1);
    EXPECT_EQ(record.nClusterSize, 4096u);
    EXPECT_TRUE(record.bCallbackGiven);
    // The fixture writes over the strings it was given, as FormatEx may.
    EXPECT_EQ(strRoot, L"Q:\\");
    EXPECT_EQ(strFileSystem, L"FAT32");
    EXPECT_EQ(strLabel, L"CORVANTIS");

    ASSERT_EQ(record.nCallbacksMade, 3u);
    for (DWORD i = 0; i < record.nCallbacksMade; ++i) {
        EXPECT_TRUE(record.abOnTestThread[i]) << "callback " << i;
        EXPECT_EQ(record.abReturned[i], TRUE) << "callback " << i;
    }
    const DWORD dwThis = ::GetCurrentThreadId();
    const std::vector<SeenCallback> expected{{0, 0, 0, dwThis}, {0, 0, 57, dwThis}, {11, 3, 1, dwThis}};
    EXPECT_EQ(g_outerSeen, expected);
}

TEST_F(SystemFormatterWin32, ACallbackAnsweringZeroStopsTheFormat)
{
    SetScript({{0, 0, 10, 1}, {0, 0, 20, 1}, {0, 0, 30, 1}, {11, 0, 1, 1}});
    Format(&StopAtTwentyPercent);

    const FmifsFixtureRecord& record = Record();
    ASSERT_EQ(record.nCallbacksMade, 2u);
    EXPECT_EQ(record.abReturned[0], TRUE);
    EXPECT_EQ(record.abReturned[1], FALSE);
    EXPECT_EQ(g_outerSeen.size(), 2u);
}

TEST_F(SystemFormatterWin32, ACallbackThatThrowsStopsTheFormatWithoutCrossingIt)
{
    SetScript({{0, 0, 10, 1}, {0, 0, 20, 1}});
    Format(&ThrowingCallback);
    ASSERT_EQ(Record().nCallbacksMade, 1u);
    EXPECT_EQ(Record().abReturned[0], FALSE);

    // The next format on the thread reaches its own callback.
    g_outerSeen.clear();
    SetScript({{0, 0, 5, 1}});
    Format(&RecordingCallback);
    ASSERT_EQ(Record().nCallbacksMade, 1u);
    EXPECT_EQ(Record().abReturned[0], TRUE);
    ASSERT_EQ(g_outerSeen.size(), 1u);
    EXPECT_EQ(g_outerSeen[0].nValue, 5u);
}

TEST(SystemFormatterWin32Library, LoadsTheNamedLibraryAndUnloadsWithItsObject)
{
    ASSERT_EQ(::GetModuleHandleW(L"fmifs.dll"), nullptr) << "something else holds the fixture";
    CWin32SystemFormatter formatter(FixturePath());
    std::unique_ptr<IFormatLibrary> pLibrary = formatter.LoadFormatLibrary();
    ASSERT_NE(pLibrary, nullptr);
    HMODULE hLoaded = ::GetModuleHandleW(L"fmifs.dll");
    ASSERT_NE(hLoaded, nullptr);

    // Without FindFormatEx there is nothing to call.
    auto pfnSetScript = reinterpret_cast<PFN_FMIFS_FIXTURE_SET_SCRIPT>(
        reinterpret_cast<void*>(::GetProcAddress(hLoaded, FMIFS_FIXTURE_SET_SCRIPT_EXPORT)));
    auto pfnGetRecord = reinterpret_cast<PFN_FMIFS_FIXTURE_GET_RECORD>(
        reinterpret_cast<void*>(::GetProcAddress(hLoaded, FMIFS_FIXTURE_GET_RECORD_EXPORT)));
    ASSERT_NE(pfnSetScript, nullptr);
    ASSERT_NE(pfnGetRecord, nullptr);
    ASSERT_TRUE(pfnSetScript(nullptr, 0));
    pLibrary->FormatEx(L"Q:\\", 11, L"FAT32", L"CORVANTIS", 1, 4096, &RecordingCallback);
    EXPECT_EQ(pfnGetRecord()->nFormatExCalls, 0u);

    pLibrary.reset();
    EXPECT_EQ(::GetModuleHandleW(L"fmifs.dll"), nullptr);
}

// The program runs elevated: an fmifs.dll beside it or in the current
// directory must never be what its formatter loads. Wine's system folder
// has none, so there the load fails; on Windows it finds the system's own.
TEST(SystemFormatterWin32Library, TheProductsFormatterTakesOnlyTheSystemsFmifsDll)
{
    const std::filesystem::path fixture(FixturePath());
    ASSERT_TRUE(std::filesystem::exists(fixture)) << fixture.string();
    ASSERT_TRUE(std::filesystem::exists(L"fmifs.dll")) << "the stand-in is in the current directory too";
    ASSERT_EQ(::GetModuleHandleW(L"fmifs.dll"), nullptr) << "something else holds an fmifs.dll";

    CWin32SystemFormatter formatter;
    std::unique_ptr<IFormatLibrary> pLibrary = formatter.LoadFormatLibrary();
    EXPECT_EQ(::GetModuleHandleW(fixture.c_str()), nullptr) << "the stand-in beside the test was loaded";
    if (HMODULE hLoaded = ::GetModuleHandleW(L"fmifs.dll")) {
        EXPECT_EQ(::GetProcAddress(hLoaded, FMIFS_FIXTURE_SET_SCRIPT_EXPORT), nullptr);
        wchar_t szSystem[MAX_PATH] = {};
        ASSERT_NE(0u, ::GetSystemDirectoryW(szSystem, MAX_PATH));
        const std::wstring strFolder = std::filesystem::path(AfxGetModuleFileName(hLoaded)).parent_path().wstring();
        EXPECT_EQ(0, _wcsicmp(strFolder.c_str(), szSystem)) << std::filesystem::path(strFolder).string();
    } else {
        EXPECT_EQ(pLibrary, nullptr);
    }
}

}  // namespace
