// What the program remembers: the per-user values through the real dialog,
// and the machine's AutoUpdate switch.

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "app/app_title.h"
#include "app/settings_names.h"
#include "app/win32/machine_settings_win32.h"
#include "base/win32/handles_win32.h"
#include "bay/simulated_bay.h"
#include "framework/afx_app.h"
#include "support/bay_services.h"
#include "support/dialog_runner_win32.h"
#include "support/gui_wait_win32.h"
#include "support/no_shell_open.h"
#include "support/stored_values_win32.h"
#include "support/test_files.h"
#include "ui/win32/resource.h"

namespace {

using namespace std::chrono_literals;

std::wstring ProfileKeyPath(const std::wstring& strProfile)
{
    return L"Software\\Local AppWizard-Generated Applications\\" + strProfile;
}

std::optional<StoredValue> ReadStored(const std::wstring& strProfile, const wchar_t* pszName)
{
    return ReadStoredValue(HKEY_CURRENT_USER, ProfileKeyPath(strProfile) + L"\\UserInterface", pszName);
}

// Each test runs as an executable of its own name, so its values live under
// a profile of their own, removed before and after.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strProfile = L"CorvantisSettingsTest" + std::to_wstring(GetCurrentProcessId()) + L"_"
            + std::to_wstring(++s_nCounter);
        RemoveProfile();
        StartAs(m_strProfile);
    }
    void TearDown() override
    {
        AfxSetApp(nullptr);
        RemoveProfile();
    }

    // What start-up does: key and profile from the executable's name, then
    // the product title as the application name.
    void StartAs(const std::wstring& strProfile)
    {
        m_app = std::make_unique<CWinApp>();
        m_app->SetAppName(strProfile);
        m_app->SetRegistryKey(L"Local AppWizard-Generated Applications");
        m_app->SetAppName(L"CORVANTIS USB Copy");
        AfxSetApp(m_app.get());
    }

    void RemoveProfile() { RegDeleteTreeW(HKEY_CURRENT_USER, ProfileKeyPath(m_strProfile).c_str()); }

    INT_PTR Run(const std::function<void(HWND)>& script)
    {
        CKOBLDlg dialog(m_bay.Services(m_shell));
        return RunDialogWithScript(dialog, script);
    }

    void Store(const wchar_t* pszName, const std::wstring& strValue)
    {
        ASSERT_TRUE(StoreText(ProfileKeyPath(m_strProfile) + L"\\UserInterface", pszName, strValue));
    }
    void Store(const wchar_t* pszName, int nValue)
    {
        ASSERT_TRUE(StoreNumber(ProfileKeyPath(m_strProfile) + L"\\UserInterface", pszName, static_cast<DWORD>(nValue)));
    }

    static bool IsChecked(HWND hDlg, int nId)
    {
        return SendMessageW(GetDlgItem(hDlg, nId), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    static bool IsEnabled(HWND hDlg, int nId) { return IsWindowEnabled(GetDlgItem(hDlg, nId)) != FALSE; }
    static std::wstring Text(HWND hDlg, int nId) { return WindowText(GetDlgItem(hDlg, nId)); }

    static int s_nCounter;
    std::wstring m_strProfile;
    std::unique_ptr<CWinApp> m_app;
    CBayServices m_bay{"[E:]\nsize = 8G\n"};
    CNoShellOpen m_shell;
};
int SettingsTest::s_nCounter = 0;

void ExpectText(const std::wstring& strProfile, const wchar_t* pszName, const std::wstring& strExpected)
{
    const auto value = ReadStored(strProfile, pszName);
    ASSERT_TRUE(value.has_value()) << "missing value";
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value->nType);
    EXPECT_EQ(strExpected, value->strText);
}

void ExpectNumber(const std::wstring& strProfile, const wchar_t* pszName, DWORD nExpected)
{
    const auto value = ReadStored(strProfile, pszName);
    ASSERT_TRUE(value.has_value()) << "missing value";
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value->nType);
    EXPECT_EQ(nExpected, value->nNumber);
}

struct StoredSettings {
    std::wstring strSourceFolder;
    std::wstring strSourceVolume;
    DWORD nTaskType;
    DWORD nFormatType;
    std::wstring strVolumeLabel;
    DWORD nVerify;
    DWORD nUsedSpaceOnly;
};

void ExpectStoredSettings(const std::wstring& strProfile, const StoredSettings& expected)
{
    ExpectText(strProfile, L"SourceFolder", expected.strSourceFolder);
    ExpectText(strProfile, L"SourceVolume", expected.strSourceVolume);
    ExpectNumber(strProfile, L"TaskType", expected.nTaskType);
    ExpectNumber(strProfile, L"FormatType", expected.nFormatType);
    ExpectText(strProfile, L"VolumeLabel", expected.strVolumeLabel);
    ExpectNumber(strProfile, L"Verify", expected.nVerify);
    ExpectNumber(strProfile, L"UsedSpaceOnly", expected.nUsedSpaceOnly);
}

TEST_F(SettingsTest, FirstRunShowsTheDefaultsAndTheCloseBoxStoresAllSeven)
{
    EXPECT_EQ(IDCANCEL, Run([](HWND hDlg) {
        EXPECT_TRUE(IsChecked(hDlg, IDC_TASK_FILE_COPY));
        EXPECT_EQ(L"", Text(hDlg, IDC_SOURCE_PATH));
        EXPECT_EQ(L"FAT32", Text(hDlg, IDC_FILE_SYSTEM));
        EXPECT_EQ(L"CORVANTIS", Text(hDlg, IDC_LABEL));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_BROWSE));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_FILE_SYSTEM));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_LABEL));
        EXPECT_FALSE(IsChecked(hDlg, IDC_VERIFY));
        EXPECT_FALSE(IsChecked(hDlg, IDC_USED_SPACE_ONLY));
    }));
    ExpectStoredSettings(m_strProfile, {L"", L"", 0, 1, L"CORVANTIS", 0, 0});
}

TEST_F(SettingsTest, StoredValuesComeBackAndChangesAreKept)
{
    Store(L"SourceFolder", L"C:\\Photos\\2026");
    Store(L"SourceVolume", L"E:\\");
    Store(L"TaskType", 1);
    Store(L"FormatType", 2);
    Store(L"VolumeLabel", L"ELEVENCHARS");
    Store(L"Verify", 1);
    Run([](HWND hDlg) {
        EXPECT_TRUE(IsChecked(hDlg, IDC_TASK_SECTOR_COPY));
        EXPECT_TRUE(IsChecked(hDlg, IDC_VERIFY));
        EXPECT_EQ(L"E:\\", Text(hDlg, IDC_SOURCE_PATH)) << "Sector Copy shows the source volume";
        EXPECT_EQ(L"NTFS", Text(hDlg, IDC_FILE_SYSTEM));
        EXPECT_EQ(L"ELEVENCHARS", Text(hDlg, IDC_LABEL)) << "11 characters are shown whole";
        EXPECT_FALSE(IsChecked(hDlg, IDC_USED_SPACE_ONLY));
        SendMessageW(GetDlgItem(hDlg, IDC_USED_SPACE_ONLY), BM_CLICK, 0, 0);

        SendMessageW(GetDlgItem(hDlg, IDC_TASK_FILE_COPY), BM_CLICK, 0, 0);
        EXPECT_EQ(L"C:\\Photos\\2026", Text(hDlg, IDC_SOURCE_PATH)) << "each task keeps its own source";
        SendMessageW(GetDlgItem(hDlg, IDC_VERIFY), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(hDlg, IDC_TASK_FORMAT), BM_CLICK, 0, 0);
        EXPECT_EQ(L"", Text(hDlg, IDC_SOURCE_PATH));
        SendMessageW(GetDlgItem(hDlg, IDC_FILE_SYSTEM), CB_SETCURSEL, 0, 0);
        SetWindowTextW(GetDlgItem(hDlg, IDC_LABEL), L"BACKUP");
    });
    ExpectStoredSettings(m_strProfile, {L"C:\\Photos\\2026", L"E:\\", 2, 0, L"BACKUP", 0, 1});
}

TEST_F(SettingsTest, EnterAndEscapeStoreNothing)
{
    for (WPARAM nKey : {VK_ESCAPE, VK_RETURN}) {
        EXPECT_NE(-1, Run([nKey](HWND hDlg) {
            SendMessageW(GetDlgItem(hDlg, IDC_VERIFY), BM_CLICK, 0, 0);
            SendMessageW(GetDlgItem(hDlg, IDC_TASK_SECTOR_COPY), BM_CLICK, 0, 0);
            SendMessageW(GetDlgItem(hDlg, IDC_USED_SPACE_ONLY), BM_CLICK, 0, 0);
            SendMessageW(GetDlgItem(hDlg, IDC_TASK_FORMAT), BM_CLICK, 0, 0);
            // Through the dialog's own keyboard handling, from the label edit.
            HWND hEdit = GetDlgItem(hDlg, IDC_LABEL);
            PostMessageW(hEdit, WM_KEYDOWN, nKey, 0);
            PostMessageW(hEdit, WM_KEYUP, nKey, 0);
            WaitFor("the key to end the dialog", [hDlg] { return !IsWindowVisible(hDlg); });
        }));
        for (const wchar_t* pszName : {L"SourceFolder", L"SourceVolume", L"TaskType",
                                       L"FormatType", L"VolumeLabel", L"Verify", L"UsedSpaceOnly"})
            EXPECT_FALSE(ReadStored(m_strProfile, pszName).has_value()) << "stored after key " << nKey;
    }
}

TEST_F(SettingsTest, OutOfRangeValuesMeanNoSelectionAndAreKeptAsTheyAre)
{
    Store(L"TaskType", 7);
    Store(L"FormatType", -1);
    Run([](HWND hDlg) {
        EXPECT_FALSE(IsChecked(hDlg, IDC_TASK_FILE_COPY));
        EXPECT_FALSE(IsChecked(hDlg, IDC_TASK_SECTOR_COPY));
        EXPECT_FALSE(IsChecked(hDlg, IDC_TASK_FORMAT));
        EXPECT_EQ(CB_ERR, SendMessageW(GetDlgItem(hDlg, IDC_FILE_SYSTEM), CB_GETCURSEL, 0, 0));
        // No task is treated like Sector Copy for Browse and the source.
        EXPECT_TRUE(IsEnabled(hDlg, IDC_BROWSE));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_FILE_SYSTEM));
    });
    ExpectNumber(m_strProfile, L"TaskType", 0xFFFFFFFF);
    ExpectNumber(m_strProfile, L"FormatType", 0xFFFFFFFF);

    Run([](HWND hDlg) {
        EXPECT_EQ(CB_ERR, SendMessageW(GetDlgItem(hDlg, IDC_FILE_SYSTEM), CB_GETCURSEL, 0, 0));
        EXPECT_FALSE(IsChecked(hDlg, IDC_TASK_FILE_COPY));
    });
}

// Any number but 0 ticks a box; what was stored goes back as it was unless
// the operator leaves the box changed. Each box keeps to its own value.
TEST_F(SettingsTest, AStoredBoxValueOtherThanZeroTicksTheBoxAndIsKeptUntilTheBoxChanges)
{
    const struct {
        DWORD nStored;
        int nClicks;
        bool bChecked;
        DWORD nKept;
    } kCases[] = {
        {7, 0, true, 7}, {0xFFFFFFFF, 0, true, 0xFFFFFFFF}, {7, 2, true, 7}, {7, 1, false, 0}, {0, 1, true, 1},
    };
    const struct {
        int nId;
        const wchar_t* pszName;
        const wchar_t* pszOther;
    } kBoxes[] = {{IDC_VERIFY, L"Verify", L"UsedSpaceOnly"}, {IDC_USED_SPACE_ONLY, L"UsedSpaceOnly", L"Verify"}};
    // Sector Copy: the one task both boxes are open for.
    Store(L"TaskType", 1);
    for (const auto& box : kBoxes) {
        for (const auto& c : kCases) {
            Store(box.pszName, static_cast<int>(c.nStored));
            Store(box.pszOther, 0);
            bool bCheckedAtStart = false;
            Run([&](HWND hDlg) {
                bCheckedAtStart = IsChecked(hDlg, box.nId);
                for (int i = 0; i < c.nClicks; ++i)
                    SendMessageW(GetDlgItem(hDlg, box.nId), BM_CLICK, 0, 0);
            });
            SCOPED_TRACE(std::wstring(box.pszName) + L" " + std::to_wstring(c.nStored) + L" clicked "
                         + std::to_wstring(c.nClicks));
            EXPECT_EQ(c.nStored != 0, bCheckedAtStart);
            ExpectNumber(m_strProfile, box.pszName, c.nKept);
            ExpectNumber(m_strProfile, box.pszOther, 0);
            Run([&](HWND hDlg) { EXPECT_EQ(c.bChecked, IsChecked(hDlg, box.nId)); });
        }
    }
}

TEST_F(SettingsTest, ExecutablesOfOtherNamesKeepTheirOwnValues)
{
    Store(L"VolumeLabel", L"FIRST");
    Run([](HWND hDlg) { EXPECT_EQ(L"FIRST", Text(hDlg, IDC_LABEL)); });

    const std::wstring strFirst = m_strProfile;
    m_strProfile += L"_other";
    RemoveProfile();
    StartAs(m_strProfile);
    Run([](HWND hDlg) { EXPECT_EQ(L"CORVANTIS", Text(hDlg, IDC_LABEL)); });
    ExpectText(m_strProfile, L"VolumeLabel", L"CORVANTIS");
    ExpectText(strFirst, L"VolumeLabel", L"FIRST");
    RegDeleteTreeW(HKEY_CURRENT_USER, ProfileKeyPath(strFirst).c_str());
}

TEST_F(SettingsTest, AStoredLabelTooLongForTheEditFailsTheExchangeWithTheFrameworksMessage)
{
    Store(L"VolumeLabel", L"TWELVE_CHARS");
    // Once when the dialog first reads its controls back, once when closing
    // reads them again; the close goes on and keeps the label as it was.
    std::wstring strAtStart, strAtClose;
    std::thread answerer([&] {
        strAtStart = AnswerMessageBox(L"CORVANTIS USB Copy");
        strAtClose = AnswerMessageBox(L"CORVANTIS USB Copy");
    });
    EXPECT_EQ(IDCANCEL, Run([](HWND hDlg) {
        EXPECT_EQ(L"TWELVE_CHARS", Text(hDlg, IDC_LABEL)) << "shown as stored";
        SendMessageW(GetDlgItem(hDlg, IDC_VERIFY), BM_CLICK, 0, 0);
    }));
    answerer.join();
    EXPECT_EQ(L"Please enter no more than 11 characters.", strAtStart);
    EXPECT_EQ(L"Please enter no more than 11 characters.", strAtClose);
    ExpectText(m_strProfile, L"VolumeLabel", L"TWELVE_CHARS");
    SCOPED_TRACE("the box is read before the label fails the exchange");
    ExpectNumber(m_strProfile, L"Verify", 1);
}

// The label plays a part in a Format only: a stored label that the edit
// refuses stops a Format at Start, while a copy starts as it always does.
TEST_F(SettingsTest, AStoredLabelTheEditRefusesStopsAFormatButNotACopy)
{
    CTempFolder folder;
    std::filesystem::create_directories(folder.Path() / "e");
    WriteTestFile(folder.Path() / "src" / "a.txt", "alpha");
    CBayServices bay("[E:]\nfolder = e\nsize = 64M\n", folder.Path());
    Store(L"VolumeLabel", L"TWELVE_CHARS");
    Store(L"SourceFolder", (folder.Path() / "src").wstring());
    const std::wstring strRefusal = L"Please enter no more than 11 characters.";
    for (const int nTask : {2, 0}) {
        Store(L"TaskType", nTask);
        // Start-up refuses the label before the dialog shows.
        std::wstring strAtStart;
        std::thread answerer([&] { strAtStart = AnswerMessageBox(L"CORVANTIS USB Copy"); });
        CKOBLDlg dialog(bay.Services(m_shell));
        RunDialogWithScript(dialog, [&](HWND hDlg) {
            answerer.join();
            CButtonPress start(hDlg, IDC_START);
            EXPECT_EQ(strRefusal, AnswerMessageBox(L"CORVANTIS USB Copy")) << "Start exchanges again";
            ASSERT_TRUE(start.WaitHandled());
            if (nTask == 2) {
                EXPECT_TRUE(IsDialogIdle(hDlg)) << "no format began";
                EXPECT_EQ(L"", AnswerMessageBoxIfAny(L"CORVANTIS USB Copy", 300ms)) << "no format warning comes";
            } else {
                ASSERT_TRUE(WaitForIdle(hDlg));
                EXPECT_EQ(L"OK", Text(hDlg, IDC_SLOT_STATUS_FIRST)) << "the copy ran";
            }
            PostMessageW(hDlg, WM_CLOSE, 0, 0);
            EXPECT_EQ(strRefusal, AnswerMessageBox(L"CORVANTIS USB Copy")) << "the close exchanges again";
            WaitForWindowGone(hDlg, "the main dialog");
        });
        if (answerer.joinable())
            answerer.join();
        EXPECT_EQ(strRefusal, strAtStart) << nTask;
    }
    EXPECT_TRUE(bay.Bay().FormatCalls().empty());
    EXPECT_EQ(std::vector<std::string>{"a.txt=alpha"}, TreeListing(folder.Path() / "e"));
}

// The machine switch lives in the one place an installer sets up; the tests
// create and remove it themselves.
class AutoUpdateTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveMachineKey(); }
    void TearDown() override { RemoveMachineKey(); }

    static void RemoveMachineKey() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, MACHINE_KEY); }
    static bool MachineKeyExists()
    {
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MACHINE_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            return false;
        RegCloseKey(hKey);
        return true;
    }
    static void CreateMachineKey()
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, MACHINE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &hKey, nullptr));
        RegCloseKey(hKey);
    }
};

TEST_F(AutoUpdateTest, MissingKeyReadsZeroAndIsNeverCreated)
{
    EXPECT_EQ(0u, IsAutoUpdateEnabled());
    EXPECT_EQ(0, SetAutoUpdate(1));
    EXPECT_FALSE(MachineKeyExists());
}

TEST_F(AutoUpdateTest, ValueIsReadAsStoredAndWrittenAsADword)
{
    CreateMachineKey();
    EXPECT_EQ(0u, IsAutoUpdateEnabled()) << "no value yet";
    EXPECT_EQ(1, SetAutoUpdate(5));
    EXPECT_EQ(5u, IsAutoUpdateEnabled());
    EXPECT_EQ(1, SetAutoUpdate(0));
    EXPECT_EQ(0u, IsAutoUpdateEnabled());

    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, MACHINE_KEY, 0, KEY_READ, &hKey));
    CUniqueRegKey key(hKey);
    DWORD nType = 0, nValue = 99, nSize = sizeof(nValue);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), SETTING_AUTO_UPDATE, nullptr, &nType,
                                              reinterpret_cast<BYTE*>(&nValue), &nSize));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), nType);
    EXPECT_EQ(4u, nSize);
}

// An administrator who types the value as text must not get a check they
// meant to turn off: only a REG_DWORD counts.
TEST_F(AutoUpdateTest, ValueThatIsNotADwordCountsAsOff)
{
    CreateMachineKey();
    const struct {
        DWORD nType;
        std::wstring strData;
    } kCases[] = {{REG_SZ, L"0"}, {REG_SZ, L"1"}, {REG_EXPAND_SZ, L"1"}, {REG_BINARY, L"\x0001"}};
    for (const auto& c : kCases) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Fennelbridge\\CORVANTIS USB Copy", L"AutoUpdate",
                                  c.nType, c.strData.c_str(),
                                  static_cast<DWORD>((c.strData.size() + 1) * sizeof(wchar_t))));
        EXPECT_EQ(0u, IsAutoUpdateEnabled()) << c.nType;
    }
}

}  // namespace
