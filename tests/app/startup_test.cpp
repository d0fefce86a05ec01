// Start-up: one copy per session, and what the product executable carries.

#include "app/single_instance_win32.h"

#include <aclapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "app/app_title.h"
#include "framework/afx_handle.h"
#include "support/child_process_win32.h"
#include "support/window_search_win32.h"

namespace {

using namespace std::chrono_literals;

std::wstring UniqueMutexName(const wchar_t* pszPurpose)
{
    return std::wstring(L"corvantis-test-") + pszPurpose + L"-" + std::to_wstring(GetCurrentProcessId());
}

TEST(SingleInstanceLockTest, FirstCreatesLaterOnesAreTurnedAway)
{
    const std::wstring strName = UniqueMutexName(L"lock");
    EXPECT_EQ(SINGLE_INSTANCE_NOT_CREATED, AcquireSingleInstanceLock(strName.c_str(), 0))
        << "without the create flag a missing mutex is not made";

    CUniqueKernelHandle first(AcquireSingleInstanceLock(strName.c_str(), 1));
    ASSERT_TRUE(first.valid());
    ASSERT_NE(SINGLE_INSTANCE_NOT_CREATED, first.get());
    EXPECT_EQ(nullptr, AcquireSingleInstanceLock(strName.c_str(), 1));
    EXPECT_EQ(nullptr, AcquireSingleInstanceLock(strName.c_str(), 0));

    // Once the holder is gone the next copy may start.
    first.reset();
    CUniqueKernelHandle next(AcquireSingleInstanceLock(strName.c_str(), 1));
    EXPECT_TRUE(next.valid());
}

TEST(SingleInstanceLockTest, MutexGrantsAllRightsToEveryoneAndAdministrators)
{
    SECURITY_ATTRIBUTES attributes = BuildMutexSecurityAttributes(MUTEX_ALL_ACCESS);
    ASSERT_EQ(sizeof(SECURITY_ATTRIBUTES), attributes.nLength);
    ASSERT_NE(nullptr, attributes.lpSecurityDescriptor);
    EXPECT_FALSE(attributes.bInheritHandle);

    BOOL bPresent = FALSE, bDefaulted = TRUE;
    PACL pDacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(attributes.lpSecurityDescriptor, &bPresent, &pDacl, &bDefaulted));
    EXPECT_TRUE(bPresent);
    EXPECT_FALSE(bDefaulted);
    ASSERT_NE(nullptr, pDacl);
    ASSERT_EQ(2, pDacl->AceCount);

    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY, nt = SECURITY_NT_AUTHORITY;
    PSID pEveryone = nullptr, pAdmins = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &pEveryone));
    CUniqueSid everyone(pEveryone);
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                         0, 0, &pAdmins));
    CUniqueSid admins(pAdmins);

    bool bEveryone = false, bAdmins = false;
    for (DWORD i = 0; i < pDacl->AceCount; ++i) {
        void* pAce = nullptr;
        ASSERT_TRUE(GetAce(pDacl, i, &pAce));
        auto* pAllowed = static_cast<ACCESS_ALLOWED_ACE*>(pAce);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, pAllowed->Header.AceType);
        EXPECT_EQ(static_cast<DWORD>(MUTEX_ALL_ACCESS), pAllowed->Mask);
        PSID pSid = &pAllowed->SidStart;
        bEveryone = bEveryone || EqualSid(pSid, everyone.get());
        bAdmins = bAdmins || EqualSid(pSid, admins.get());
    }
    EXPECT_TRUE(bEveryone);
    EXPECT_TRUE(bAdmins);
}

class ProgramStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("corvantis-start-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(m_dir);
        std::ofstream(m_dir / "bay.txt") << "[E:]\nsize = 8G\n[F:]\nsize = 8G\n";
        SetEnvironmentVariableW(L"CORVANTIS_BAY", (m_dir / "bay.txt").wstring().c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"CORVANTIS_BAY", nullptr);
        std::error_code error;
        std::filesystem::remove_all(m_dir, error);
    }

    std::filesystem::path m_dir;
};

TEST_F(ProgramStartTest, SecondCopyEndsAtOnceWithoutAWindowWhileTheFirstRuns)
{
    ASSERT_TRUE(FindDialogWindows(APP_TITLE).empty()) << "another copy is already running";
    CChildProcess first(WindowsPath(CORVANTIS_DEMO_EXE));
    ASSERT_TRUE(first.Started());
    HWND hFirst = WaitForDialogWindow(APP_TITLE, first.ProcessId(), 60s);
    ASSERT_NE(nullptr, hFirst) << "the first copy shows no dialog";
    EXPECT_EQ(L"E:", WindowText(GetDlgItem(hFirst, 1021)));
    EXPECT_EQ(L"F:", WindowText(GetDlgItem(hFirst, 1022)));

    CChildProcess second(WindowsPath(CORVANTIS_DEMO_EXE));
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(0u, second.WaitForExit(30000)) << "the second copy must end by itself";
    EXPECT_TRUE(FindDialogWindows(APP_TITLE, second.ProcessId()).empty());
    EXPECT_EQ(1u, FindDialogWindows(APP_TITLE).size());

    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), first.WaitForExit(0)) << "the first copy is unaffected";
    PostMessageW(hFirst, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, first.WaitForExit(30000)) << "the process ends with its dialog";
}

TEST(ProductExecutableTest, CarriesTheAdministratorAndCommonControlsManifest)
{
    HMODULE hExe = LoadLibraryExW(WindowsPath(CORVANTIS_PRODUCT_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, hExe);
    HRSRC hInfo = FindResourceW(hExe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, hInfo);
    const char* pData = static_cast<const char*>(LockResource(LoadResource(hExe, hInfo)));
    const std::string strManifest(pData, SizeofResource(hExe, hInfo));
    EXPECT_NE(std::string::npos, strManifest.find("level=\"requireAdministrator\""));
    EXPECT_NE(std::string::npos, strManifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    EXPECT_NE(nullptr, FindResourceW(hExe, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14))) << "icon group 128";
    FreeLibrary(hExe);
}

}  // namespace
