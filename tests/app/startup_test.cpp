// Start-up: one copy per session, and what the product executable carries.

#include "app/win32/single_instance_win32.h"

#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
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
#include "support/com_probe_win32.h"
#include "support/import_patch_win32.h"
#include "support/no_shell_open.h"
#include "support/pe_imports_win32.h"
#include "support/stored_values_win32.h"
#include "support/test_files.h"
#include "support/window_search_win32.h"
#include "ui/win32/resource.h"

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

// The DPI that Wine processes started meanwhile take from the user's
// LogPixels (Wine 8 reads HKCU\\Control Panel\\Desktop at each process start,
// and only then the machine's Fonts key); put back as it was afterwards.
class CUserLogPixels {
public:
    explicit CUserLogPixels(DWORD nDpi) : m_previous(ReadStoredValue(HKEY_CURRENT_USER, kKey, kName))
    {
        EXPECT_TRUE(StoreNumber(kKey, kName, nDpi));
    }
    ~CUserLogPixels()
    {
        if (m_previous && m_previous->nType == REG_DWORD)
            StoreNumber(kKey, kName, m_previous->nNumber);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, kName);
    }

    CUserLogPixels(const CUserLogPixels&) = delete;
    CUserLogPixels& operator=(const CUserLogPixels&) = delete;

private:
    static constexpr wchar_t kKey[] = L"Control Panel\\Desktop";
    static constexpr wchar_t kName[] = L"LogPixels";
    std::optional<StoredValue> m_previous;
};

// The window is trimmed to end a little below Start, measured on the
// controls as they were laid out, so at every DPI each control of the
// dialog, Start and Verify last of all, lies inside the client area. The
// width shows that the copy really ran at the DPI asked for.
TEST_F(ProgramStartTest, AtEachDpiEveryControlLiesInsideTheDialogsClientArea)
{
    LONG nWidthAt96 = 0;
    for (DWORD nDpi : {96u, 120u, 144u}) {
        const CUserLogPixels dpi(nDpi);
        CChildProcess program(WindowsPath(CORVANTIS_DEMO_EXE));
        ASSERT_TRUE(program.Started());
        HWND hDlg = WaitForDialogWindow(APP_TITLE, program.ProcessId());
        ASSERT_NE(nullptr, hDlg) << "no dialog at " << nDpi << " DPI";
        RECT rcClient{};
        GetClientRect(hDlg, &rcClient);
        if (nDpi == 96)
            nWidthAt96 = rcClient.right;
        else
            EXPECT_NEAR(nDpi / 96.0, static_cast<double>(rcClient.right) / nWidthAt96, 0.1) << nDpi << " DPI";

        std::vector<HWND> controls;
        EnumChildWindows(
            hDlg,
            [](HWND hChild, LPARAM lParam) {
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hChild);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&controls));
        EXPECT_GT(controls.size(), 70u) << "the dialog's controls were not found";
        for (HWND hControl : controls) {
            if (GetParent(hControl) != hDlg || !IsWindowVisible(hControl))
                continue;
            RECT rc{};
            GetWindowRect(hControl, &rc);
            MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
            EXPECT_TRUE(rc.left >= 0 && rc.top >= 0 && rc.right <= rcClient.right && rc.bottom <= rcClient.bottom)
                << "control " << GetDlgCtrlID(hControl) << " at " << nDpi << " DPI reaches to (" << rc.right << ", "
                << rc.bottom << "), the client area to (" << rcClient.right << ", " << rcClient.bottom << ")";
        }
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_EQ(0u, program.WaitForExit());
    }
}

// The error mode of a running copy, read inside it: GetErrorMode takes
// nothing and returns a number, so it can be the body of a thread started in
// that process, and the thread's exit code is its answer. kernel32 lies at
// the same address in every process of the session, so ours is theirs.
std::optional<UINT> ErrorModeInside(HANDLE hProcess)
{
    const auto pfnGetErrorMode = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetErrorMode")));
    CUniqueKernelHandle thread(CreateRemoteThread(hProcess, nullptr, 0, pfnGetErrorMode, nullptr, 0, nullptr));
    DWORD nMode = 0;
    if (!thread || WaitForSingleObject(thread.get(), 20000) != WAIT_OBJECT_0 || !GetExitCodeThread(thread.get(), &nMode))
        return std::nullopt;
    return nMode;
}

// An empty card-reader slot or a stick pulled during the scan must not raise
// the system's "There is no disk in the drive" box and hold the dialog. Each
// copy is started with the default error mode, as from Explorer, not with the
// test's own: Windows hands a parent's mode on to its children.
TEST_F(ProgramStartTest, BothExecutablesTurnTheSystemsErrorBoxesOffBeforeTheirDialog)
{
    for (const char* pszExe : {CORVANTIS_DEMO_EXE, CORVANTIS_PRODUCT_EXE}) {
        CChildProcess program(WindowsPath(pszExe), CREATE_DEFAULT_ERROR_MODE);
        ASSERT_TRUE(program.Started()) << pszExe;
        HWND hDlg = WaitForDialogWindow(APP_TITLE, program.ProcessId());
        ASSERT_NE(nullptr, hDlg) << pszExe << " shows no dialog";
        const std::optional<UINT> mode = ErrorModeInside(program.Handle());
        ASSERT_TRUE(mode.has_value()) << "no thread could ask " << pszExe;
        RecordProperty(std::filesystem::path(pszExe).stem().string() + "_error_mode", static_cast<int>(*mode));
        EXPECT_EQ(static_cast<UINT>(SEM_FAILCRITICALERRORS), *mode & SEM_FAILCRITICALERRORS) << pszExe;
        EXPECT_EQ(static_cast<UINT>(SEM_NOOPENFILEERRORBOX), *mode & SEM_NOOPENFILEERRORBOX) << pszExe;
        // Escape's way out stores nothing in the user's settings.
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_EQ(0u, program.WaitForExit()) << pszExe;
    }
}

// The text of an executable's RT_MANIFEST resource 1, as the loader reads it.
std::string ManifestOf(const char* pszExe)
{
    HMODULE hExe = LoadLibraryExW(WindowsPath(pszExe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(nullptr, hExe) << pszExe;
    if (hExe == nullptr)
        return {};
    std::string strManifest;
    if (HRSRC hInfo = FindResourceW(hExe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)))
        strManifest.assign(static_cast<const char*>(LockResource(LoadResource(hExe, hInfo))), SizeofResource(hExe, hInfo));
    FreeLibrary(hExe);
    return strManifest;
}

TEST(ProductExecutableTest, CarriesTheAdministratorAndCommonControlsManifest)
{
    const std::string strManifest = ManifestOf(CORVANTIS_PRODUCT_EXE);
    ASSERT_FALSE(strManifest.empty());
    EXPECT_NE(std::string::npos, strManifest.find("level=\"requireAdministrator\""));
    EXPECT_NE(std::string::npos, strManifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    HMODULE hExe = LoadLibraryExW(WindowsPath(CORVANTIS_PRODUCT_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, hExe);
    EXPECT_NE(nullptr, FindResourceW(hExe, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14))) << "icon group 128";
    FreeLibrary(hExe);
}

// Without supportedOS entries Windows runs the program with Vista's
// behaviour; without dpiAware it draws the dialog at 96 DPI and stretches
// it, blurred, at any other. The settings are read back through an
// activation context made from the resource, so a manifest that the
// system's parser refuses, or a setting in the wrong namespace, fails too.
TEST(ProductExecutableTest, DeclaresItsWindowsVersionsSystemDpiAwarenessAndLongPaths)
{
    for (const char* pszExe : {CORVANTIS_PRODUCT_EXE, CORVANTIS_DEMO_EXE}) {
        const std::string strManifest = ManifestOf(pszExe);
        const size_t nCompatibility = strManifest.find("<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">");
        const size_t nCompatibilityEnd = strManifest.find("</compatibility>");
        ASSERT_NE(std::string::npos, nCompatibility) << pszExe;
        ASSERT_NE(std::string::npos, nCompatibilityEnd) << pszExe;
        const std::string strCompatibility = strManifest.substr(nCompatibility, nCompatibilityEnd - nCompatibility);
        for (const char* pszGuid : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // Windows 7
                                    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",    // Windows 8
                                    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",    // Windows 8.1
                                    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) { // Windows 10 and 11
            EXPECT_NE(std::string::npos, strCompatibility.find(std::string("<supportedOS Id=\"") + pszGuid + "\"/>"))
                << pszExe << " " << pszGuid;
        }
        EXPECT_NE(std::string::npos,
                  strManifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                                   "true</longPathAware>"))
            << pszExe;

        const std::wstring strExe = WindowsPath(pszExe);
        ACTCTXW context{};
        context.cbSize = sizeof(context);
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = strExe.c_str();
        context.lpResourceName = MAKEINTRESOURCEW(1);
        HANDLE hContext = CreateActCtxW(&context);
        ASSERT_NE(INVALID_HANDLE_VALUE, hContext) << pszExe << ": the manifest is refused, error " << GetLastError();
        wchar_t szDpiAware[32] = {};
        SIZE_T nWritten = 0;
        EXPECT_TRUE(QueryActCtxSettingsW(0, hContext, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                         L"dpiAware", szDpiAware, 32, &nWritten))
            << pszExe << ": no dpiAware, error " << GetLastError();
        EXPECT_STREQ(L"true", szDpiAware) << pszExe << ": system DPI aware, not per monitor";
        ReleaseActCtx(hContext);
    }
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

// ShellExecute wants the calling thread in a single-threaded apartment; this
// shell notes at each call whether it is.
class CApartmentCheckingShell : public IShellOpen {
public:
    void OpenInFileBrowser(const std::wstring&) override
    {
        const bool bInApartment = ProbeApartment() == S_FALSE;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inApartment.push_back(bInApartment);
    }
    std::vector<bool> Calls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_inApartment;
    }

private:
    std::mutex m_mutex;
    std::vector<bool> m_inApartment;
};

// The firewall step before the dialog and the folder picker during it each
// take and give back COM of their own; a drive opened in Explorer after
// either must still find the dialog's thread in its apartment. When the
// application ends, the thread is as it found it.
TEST(StartupComTest, TheDialogsThreadStaysInItsApartmentAfterTheFirewallAndThePicker)
{
    ASSERT_EQ(S_OK, ProbeApartment()) << "the test's thread is in COM already: the test would prove nothing";
    CBayServices bay("[E:]\nsize = 8G\n");
    CApartmentCheckingShell shell;
    {
        CKOBLApp app(bay.Services(shell));
        std::thread script([&] {
            HWND hDlg = WaitFor("the program's main dialog", [] {
                HWND hFound = FindVisibleDialog(APP_TITLE, GetCurrentProcessId(), false);
                return hFound != nullptr && GetDlgItem(hFound, IDC_START) != nullptr ? hFound : nullptr;
            });
            if (hDlg == nullptr)
                return;
            const auto openDrive = [&](size_t nCalls) {
                PostMessageW(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST), WM_LBUTTONDOWN, MK_LBUTTON, 0);
                WaitFor("E: to be opened", [&] { return shell.Calls().size() == nCalls; });
            };
            openDrive(1);
            PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
            if (HWND hPicker = WaitFor("the folder picker", [hDlg] { return FindFolderPicker(hDlg); })) {
                PostMessageW(hPicker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                WaitForWindowGone(hPicker, "the folder picker");
            }
            openDrive(2);
            PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
        AfxWinMain(app, GetModuleHandleW(nullptr));
        script.join();
        AfxSetApp(nullptr);
    }
    EXPECT_EQ((std::vector<bool>{true, true}), shell.Calls()) << "after the firewall step, after the picker";
    EXPECT_EQ(S_OK, ProbeApartment()) << "the application left COM initialised";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Local AppWizard-Generated Applications\\app_tests");
}

}  // namespace
