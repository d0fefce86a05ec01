// Start-up: one copy per session, and what the product executable carries.

#include "app/win32/single_instance_win32.h"

#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_title.h"
#include "app/win32/app_win32.h"
#include "base/win32/handles_win32.h"
#include "base/win32/version_string_win32.h"
#include "support/bay_services.h"
#include "support/child_process_win32.h"
#include "support/import_patch_win32.h"
#include "support/no_shell_open.h"
#include "support/pe_imports_win32.h"
#include "support/stored_values_win32.h"
#include "support/test_files.h"
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
    HWND hFirst = WaitForDialogWindow(APP_TITLE, first.ProcessId());
    ASSERT_NE(nullptr, hFirst) << "the first copy shows no dialog";
    EXPECT_EQ(L"E:", WindowText(GetDlgItem(hFirst, 1021)));
    EXPECT_EQ(L"F:", WindowText(GetDlgItem(hFirst, 1022)));

    CChildProcess second(WindowsPath(CORVANTIS_DEMO_EXE));
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(0u, second.WaitForExit()) << "the second copy must end by itself";
    EXPECT_TRUE(FindDialogWindows(APP_TITLE, second.ProcessId()).empty());
    EXPECT_EQ(1u, FindDialogWindows(APP_TITLE).size());

    EXPECT_TRUE(first.IsRunning()) << "the first copy is unaffected";
    PostMessageW(hFirst, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, first.WaitForExit()) << "the process ends with its dialog";
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

// The product runs elevated from wherever it was saved, usually a downloads
// folder: a DLL there under the name of one it imports would be loaded
// before its first line runs. Only the system's known DLLs, which Windows
// always takes from its own folder, may be imported; comctl32 comes through
// the manifest's side-by-side assembly.
TEST(ProductExecutableTest, ImportsOnlyDllsTheSystemTakesFromItsOwnFolder)
{
    const CPeImportReader reader{std::filesystem::path(WindowsPath(CORVANTIS_PRODUCT_EXE))};
    ASSERT_TRUE(reader.IsRead()) << reader.Error();
    const std::vector<std::string> known{"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                                         "ole32.dll",    "oleaut32.dll", "msvcrt.dll", "comctl32.dll"};
    std::vector<std::string> imported, unknown;
    for (std::string strName : reader.DllNames()) {
        for (char& c : strName)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imported.push_back(strName);
        if (std::find(known.begin(), known.end(), strName) == known.end())
            unknown.push_back(strName);
    }
    EXPECT_TRUE(unknown.empty()) << "imported from the search path: " << ::testing::PrintToString(unknown);
    EXPECT_NE(std::find(imported.begin(), imported.end(), "kernel32.dll"), imported.end())
        << "the reader found the imports at all: " << ::testing::PrintToString(imported);
}

TEST(ProductExecutableTest, BothExecutablesCarryTheVersionOfTheBuild)
{
    for (const char* pszExe : {CORVANTIS_PRODUCT_EXE, CORVANTIS_DEMO_EXE}) {
        const std::wstring strExe = WindowsPath(pszExe);
        DWORD dwHandle = 0;
        std::vector<BYTE> info(GetFileVersionInfoSizeW(strExe.c_str(), &dwHandle));
        ASSERT_FALSE(info.empty()) << pszExe;
        ASSERT_TRUE(GetFileVersionInfoW(strExe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
        VS_FIXEDFILEINFO* pFixed = nullptr;
        UINT cbFixed = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &cbFixed));
        EXPECT_EQ(0x00010000u, pFixed->dwFileVersionMS);
        EXPECT_EQ(0x00000004u, pFixed->dwFileVersionLS);
        EXPECT_EQ(0x00010000u, pFixed->dwProductVersionMS);
        EXPECT_EQ(0x00000004u, pFixed->dwProductVersionLS);

        struct Field {
            int nIndex;
            const wchar_t* pszValue;
        };
        for (const Field& f : {Field{3, L"1, 0, 0, 4"}, Field{9, L"1, 0, 0, 4"}, Field{1, L"Fennelbridge"},
                               Field{8, L"CORVANTIS USB Copy"}, Field{7, L"CorvantisUsbCopy.exe"},
                               Field{4, L"CorvantisUsbCopy"}}) {
            wchar_t szValue[260] = {};
            EXPECT_TRUE(QueryVersionString(strExe.c_str(), f.nIndex, szValue, 260));
            EXPECT_STREQ(f.pszValue, szValue) << pszExe << " field " << f.nIndex;
        }
        wchar_t szDescription[260] = {};
        EXPECT_TRUE(QueryVersionString(strExe.c_str(), 2, szDescription, 260));
        EXPECT_NE(L'\0', szDescription[0]) << "no FileDescription";
    }
}

// Start-up as a copy of the demo under a name of the test's own, so its
// profile, written out here, cannot be mistaken for anyone else's.
class NamedProgramStartTest : public ::testing::Test {
protected:
    static constexpr wchar_t kProfileKey[] =
        L"Software\\Local AppWizard-Generated Applications\\UsbCopyStartProbe";
    static constexpr wchar_t kSettingsKey[] =
        L"Software\\Local AppWizard-Generated Applications\\UsbCopyStartProbe\\UserInterface";

    void SetUp() override
    {
        RemoveProfiles();
        m_exe = m_folder.Path() / "UsbCopyStartProbe.exe";
        std::filesystem::copy_file(std::filesystem::path(WindowsPath(CORVANTIS_DEMO_EXE)), m_exe);
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"CORVANTIS_BAY", nullptr);
        RemoveProfiles();
    }
    static void RemoveProfiles()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kProfileKey);
        // Where a start-up that took the profile from the product title would write.
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Local AppWizard-Generated Applications\\CORVANTIS USB Copy");
    }
    void UseBay(const std::string& strBay)
    {
        WriteTestFile(m_folder.Path() / "bay.txt", strBay);
        SetEnvironmentVariableW(L"CORVANTIS_BAY", (m_folder.Path() / "bay.txt").wstring().c_str());
    }
    // The main dialog of the child, not a message box of the same caption.
    static HWND WaitForMainDialog(DWORD nProcessId)
    {
        return WaitFor("the program's main dialog", [nProcessId] {
            HWND hFound = FindVisibleDialog(L"CORVANTIS USB Copy", nProcessId, false);
            return hFound != nullptr && GetDlgItem(hFound, 1011) != nullptr ? hFound : nullptr;
        });
    }
    std::optional<StoredValue> Stored(const wchar_t* pszName) const
    {
        return ReadStoredValue(HKEY_CURRENT_USER, kSettingsKey, pszName);
    }

    CTempFolder m_folder;
    std::filesystem::path m_exe;
};

TEST_F(NamedProgramStartTest, ItsOwnProfileComesBackUnderTheProductTitleAndTheCloseBoxSavesIt)
{
    UseBay("[E:]\nsize = 8G\n[F:]\nsize = 8G\n");
    ASSERT_TRUE(StoreText(kSettingsKey, L"SourceFolder", L"C:\\Photos"));
    ASSERT_TRUE(StoreText(kSettingsKey, L"SourceVolume", L"E:\\"));
    ASSERT_TRUE(StoreNumber(kSettingsKey, L"TaskType", 1));
    ASSERT_TRUE(StoreNumber(kSettingsKey, L"FormatType", 2));
    ASSERT_TRUE(StoreNumber(kSettingsKey, L"Verify", 1));
    // Too long for the label edit: start-up refuses it with a message box.
    ASSERT_TRUE(StoreText(kSettingsKey, L"VolumeLabel", L"TWELVE_CHARS"));

    CChildProcess program(m_exe.wstring());
    ASSERT_TRUE(program.Started());
    HWND hBox = WaitForMessageBox(L"CORVANTIS USB Copy", program.ProcessId());
    ASSERT_NE(nullptr, hBox) << "no message box captioned with the product title (one captioned \"UsbCopyStartProbe\": "
                             << !FindDialogWindows(L"UsbCopyStartProbe", program.ProcessId()).empty() << ")";
    EXPECT_EQ(L"Please enter no more than 11 characters.", WindowText(GetDlgItem(hBox, 0xFFFF)));
    PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

    HWND hDlg = WaitForMainDialog(program.ProcessId());
    ASSERT_NE(nullptr, hDlg);
    EXPECT_EQ(BST_CHECKED, SendMessageW(GetDlgItem(hDlg, 1013), BM_GETCHECK, 0, 0)) << "Sector Copy";
    EXPECT_EQ(L"E:\\", WindowText(GetDlgItem(hDlg, 1002)));
    EXPECT_EQ(L"NTFS", WindowText(GetDlgItem(hDlg, 1008)));
    EXPECT_EQ(BST_CHECKED, SendMessageW(GetDlgItem(hDlg, 1014), BM_GETCHECK, 0, 0)) << "Verify";
    // The stored source volume is no target: the first scan already knows it.
    EXPECT_EQ(L"F:", WindowText(GetDlgItem(hDlg, 1021)));
    EXPECT_EQ(L"--", WindowText(GetDlgItem(hDlg, 1022)));

    SendMessageW(GetDlgItem(hDlg, 1010), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"BACKUP"));
    PostMessageW(hDlg, WM_CLOSE, 0, 0);
    ASSERT_EQ(0u, program.WaitForExit());

    struct Expected {
        const wchar_t* pszName;
        DWORD nType;
        const wchar_t* pszText;
        DWORD nNumber;
    };
    for (const Expected& e : {Expected{L"SourceFolder", REG_SZ, L"C:\\Photos", 0},
                              Expected{L"SourceVolume", REG_SZ, L"E:\\", 0}, Expected{L"TaskType", REG_DWORD, L"", 1},
                              Expected{L"FormatType", REG_DWORD, L"", 2},
                              Expected{L"VolumeLabel", REG_SZ, L"BACKUP", 0},
                              Expected{L"Verify", REG_DWORD, L"", 1}}) {
        const auto value = Stored(e.pszName);
        ASSERT_TRUE(value.has_value()) << "not stored: " << std::filesystem::path(e.pszName).string();
        EXPECT_EQ(e.nType, value->nType);
        EXPECT_EQ(e.pszText, value->strText);
        EXPECT_EQ(e.nNumber, value->nNumber);
    }
}

TEST_F(NamedProgramStartTest, TheCloseBoxDuringARunIsRefusedAndStoresNothing)
{
    // A stick that takes a kilobyte a second: the run outlasts the test,
    // which ends the program by force.
    std::filesystem::create_directories(m_folder.Path() / "e");
    UseBay("[E:]\nfolder = e\nsize = 8G\nspeed = 1K\n");
    WriteTestFile(m_folder.Path() / "source" / "big.bin", std::string(1 << 20, 'x'));
    ASSERT_TRUE(StoreText(kSettingsKey, L"SourceFolder", (m_folder.Path() / "source").wstring()));
    ASSERT_TRUE(StoreNumber(kSettingsKey, L"TaskType", 0));

    CChildProcess program(m_exe.wstring());
    ASSERT_TRUE(program.Started());
    HWND hDlg = WaitForMainDialog(program.ProcessId());
    ASSERT_NE(nullptr, hDlg);
    PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(1011, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFor("the run to start (\"Cancel\" on the button)",
                        [hDlg] { return WindowText(GetDlgItem(hDlg, 1011)) == L"Cancel"; }));

    SendMessageW(hDlg, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(hDlg));
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(program.IsRunning());
    for (const wchar_t* pszName : {L"SourceVolume", L"FormatType", L"VolumeLabel", L"Verify"})
        EXPECT_FALSE(Stored(pszName).has_value()) << "stored during the run";
}

// The other copy creates the mutex just after this one's open missed it, as
// when two start at the same instant; this one must find it at creation.
HANDLE g_hOtherCopysMutex = nullptr;
HANDLE WINAPI OpenMutexJustBeforeTheOtherCopyCreatesIt(DWORD, BOOL, LPCWSTR pszName)
{
    g_hOtherCopysMutex = CreateMutexW(nullptr, FALSE, pszName);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

TEST(StartupRaceTest, ACopyThatLosesTheRaceForTheMutexEndsWithoutAWindow)
{
    CBayServices bay("[E:]\nsize = 8G\n");
    CNoShellOpen shell;
    CKOBLApp app(bay.Services(shell));
    std::atomic<bool> bEnded{false}, bDialogShown{false};
    std::thread watcher([&] {
        while (!bEnded) {
            if (HWND hDlg = PollFor(100ms, [] {
                    return FindVisibleDialog(L"CORVANTIS USB Copy", GetCurrentProcessId(), false);
                })) {
                bDialogShown = true;
                PostMessageW(hDlg, WM_CLOSE, 0, 0);
            }
        }
    });
    {
        CImportPatch patch("OpenMutexW", reinterpret_cast<void*>(&OpenMutexJustBeforeTheOtherCopyCreatesIt));
        EXPECT_TRUE(patch.Applied());
        AfxWinMain(app, GetModuleHandleW(nullptr));
    }
    bEnded = true;
    watcher.join();
    AfxSetApp(nullptr);
    EXPECT_NE(nullptr, g_hOtherCopysMutex);
    CloseHandle(g_hOtherCopysMutex);
    EXPECT_FALSE(bDialogShown) << "the copy that lost the race went on to its dialog";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Local AppWizard-Generated Applications\\app_tests");
}

}  // namespace
