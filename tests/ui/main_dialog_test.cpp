// The real main dialog over a simulated bay, driven from a second thread
// while the test's main thread runs the dialog's modal loop.

#include "ui/win32/main_dialog_win32.h"

#include <dbt.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_title.h"
#include "app/settings_names.h"
#include "bay/simulated_bay.h"
#include "framework/afx_app.h"
#include "platform/shell_open.h"
#include "platform/volume_queries.h"
#include "support/bay_services.h"
#include "support/dialog_runner_win32.h"
#include "support/gated_seams.h"
#include "support/gui_wait_win32.h"
#include "support/import_patch_win32.h"
#include "support/recording_volumes.h"
#include "support/test_files.h"
#include "support/test_profile_win32.h"
#include "support/window_search_win32.h"
#include "ui/win32/resource.h"

namespace {

using namespace std::chrono_literals;

class CRecordingShellOpen : public IShellOpen {
public:
    void OpenInFileBrowser(const std::wstring& strPath) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_opened.push_back(strPath);
    }
    std::vector<std::wstring> Opened()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_opened;
    }

private:
    std::mutex m_mutex;
    std::vector<std::wstring> m_opened;
};

const char kMachineBay[] =
    "[C:]\ntype = fixed\nbus = sata\nmedia = fixed\nsize = 256G\n"
    "[D:]\ntype = cdrom\nbus = ata\nmedia = dvd-rom\nsize = 4G\n"
    "[E:]\ntype = removable\nbus = usb\nmedia = removable\nsize = 8G\n"
    "[F:]\ntype = removable\nbus = sd\nmedia = removable\nsize = 32G\n"
    "[H:]\ntype = fixed\nbus = usb\nmedia = fixed\nsize = 1T\n"
    "[K:]\ntype = removable\nbus = usb\nmedia = removable\nsize = 16G\n";

// The dialog reads its sources from the settings, as at every start; each
// test has a profile of its own, removed before and after.
class MainDialogTest : public ::testing::Test {
protected:
    void StoreSourceFolder(const std::wstring& strFolder)
    {
        m_app.WriteProfileString(SETTINGS_SECTION, SETTING_SOURCE_FOLDER, strFolder);
    }

    // Runs the dialog modally on this thread and the script on another; the
    // dialog is closed afterwards whatever the script managed to do.
    INT_PTR RunDialog(const PlatformServices& services, const std::function<void(HWND)>& script)
    {
        CKOBLDlg dialog(services);
        return RunDialogWithScript(dialog, script);
    }
    INT_PTR RunDialog(CBayServices& bay, const std::function<void(HWND)>& script)
    {
        return RunDialog(bay.Services(m_shell), script);
    }


    static std::vector<std::wstring> SlotTexts(HWND hDlg, int nFirstId)
    {
        std::vector<std::wstring> texts;
        for (int i = 0; i < MAX_DRIVE_SLOTS; ++i)
            texts.push_back(WindowText(GetDlgItem(hDlg, nFirstId + i)));
        return texts;
    }

    static bool IsEnabled(HWND hDlg, int nId) { return IsWindowEnabled(GetDlgItem(hDlg, nId)) != FALSE; }
    static bool IsChecked(HWND hDlg, int nId)
    {
        return SendMessageW(GetDlgItem(hDlg, nId), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    CWinApp m_app;
    CTestProfile m_profile{m_app, L"CorvantisDialogTest"};
    CRecordingShellOpen m_shell;
    CTempFolder m_folder;
};

TEST_F(MainDialogTest, ShowsQualifyingDrivesInSlotOrderWithTheIdleLook)
{
    CBayServices bay(kMachineBay);
    const INT_PTR nResult = RunDialog(bay, [](HWND hDlg) {
        std::vector<std::wstring> letters(MAX_DRIVE_SLOTS, L"--");
        letters[0] = L"E:";
        letters[1] = L"H:";
        letters[2] = L"K:";
        EXPECT_EQ(letters, SlotTexts(hDlg, IDC_SLOT_LETTER_FIRST));
        EXPECT_EQ(std::vector<std::wstring>(MAX_DRIVE_SLOTS), SlotTexts(hDlg, IDC_SLOT_STATUS_FIRST));
        for (int i = 0; i < MAX_DRIVE_SLOTS; ++i)
            EXPECT_EQ(0, SendMessageW(GetDlgItem(hDlg, IDC_SLOT_PROGRESS_FIRST + i), PBM_GETPOS, 0, 0)) << i;

        EXPECT_TRUE(IsChecked(hDlg, IDC_TASK_FILE_COPY));
        EXPECT_FALSE(IsChecked(hDlg, IDC_TASK_SECTOR_COPY));
        EXPECT_FALSE(IsChecked(hDlg, IDC_TASK_FORMAT));
        EXPECT_EQ(L"", WindowText(GetDlgItem(hDlg, IDC_SOURCE_PATH)));
        EXPECT_EQ(L"FAT32", WindowText(GetDlgItem(hDlg, IDC_FILE_SYSTEM)));
        EXPECT_EQ(L"CORVANTIS", WindowText(GetDlgItem(hDlg, IDC_LABEL)));
        EXPECT_EQ(L"Start", WindowText(GetDlgItem(hDlg, IDC_START)));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_START));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_BROWSE));
        EXPECT_EQ(L"Verify", WindowText(GetDlgItem(hDlg, IDC_VERIFY)));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_VERIFY));
        EXPECT_FALSE(IsChecked(hDlg, IDC_VERIFY));
        EXPECT_EQ(L"Used space only", WindowText(GetDlgItem(hDlg, IDC_USED_SPACE_ONLY)));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_USED_SPACE_ONLY)) << "only a Sector Copy leaves chunks out";
        EXPECT_FALSE(IsChecked(hDlg, IDC_USED_SPACE_ONLY));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_FILE_SYSTEM));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_LABEL));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_LABEL_CAPTION));
        EXPECT_EQ(11, SendMessageW(GetDlgItem(hDlg, IDC_LABEL), EM_GETLIMITTEXT, 0, 0));

        RECT rcDialog{}, rcStart{};
        GetWindowRect(hDlg, &rcDialog);
        GetWindowRect(GetDlgItem(hDlg, IDC_START), &rcStart);
        EXPECT_GT(rcStart.right, rcStart.left);
        EXPECT_EQ(rcDialog.right - rcStart.right, rcDialog.bottom - rcStart.bottom);

        HMENU hSysMenu = GetSystemMenu(hDlg, FALSE);
        const int nItems = GetMenuItemCount(hSysMenu);
        ASSERT_GE(nItems, 2);
        wchar_t szItem[64] = {};
        GetMenuStringW(hSysMenu, IDM_ABOUTBOX, szItem, 64, MF_BYCOMMAND);
        EXPECT_STREQ(L"&About CORVANTIS USB Copy ...", szItem);
        EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(hSysMenu, nItems - 1));
    });
    EXPECT_EQ(IDCANCEL, nResult) << "the close box ends the dialog as Cancel";
}

TEST_F(MainDialogTest, ClickOnALetterOpensItsDriveButNotAnEmptySlot)
{
    CBayServices bay(kMachineBay);
    RunDialog(bay, [this](HWND hDlg) {
        // In order: the empty slot first, so once the drive has been opened
        // the empty slot's click has been handled too.
        PostMessageW(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 5), WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageW(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + 0), WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageW(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 1), WM_LBUTTONDOWN, MK_LBUTTON, 0);
        WaitFor("a drive to be opened", [this] { return !m_shell.Opened().empty(); });
        EXPECT_EQ(std::vector<std::wstring>{L"H:"}, m_shell.Opened());
    });
}

TEST_F(MainDialogTest, DeviceArrivalAndRemovalRescanButOtherDeviceEventsDoNot)
{
    CBayServices oneStick("[E:]\nsize = 8G\n");
    CBayServices twoSticks("[E:]\nsize = 8G\n[G:]\nsize = 8G\n");
    CRecordingVolumes volumes(&oneStick.Bay().Volumes());
    RunDialog(oneStick.Services(m_shell, &volumes), [&](HWND hDlg) {
        HWND hSecond = GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 1);
        EXPECT_EQ(L"--", WindowText(hSecond));

        volumes.SetInner(&twoSticks.Bay().Volumes());
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
        EXPECT_EQ(L"--", WindowText(hSecond));
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
        EXPECT_EQ(L"G:", WindowText(hSecond));

        volumes.SetInner(&oneStick.Bay().Volumes());
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
        EXPECT_EQ(L"--", WindowText(hSecond));
    });
}

TEST_F(MainDialogTest, TaskRadiosSwitchTheIdleLook)
{
    CBayServices bay(kMachineBay);
    RunDialog(bay, [](HWND hDlg) {
        SendMessageW(GetDlgItem(hDlg, IDC_VERIFY), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(hDlg, IDC_TASK_FORMAT), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsChecked(hDlg, IDC_TASK_FORMAT));
        EXPECT_FALSE(IsChecked(hDlg, IDC_TASK_FILE_COPY));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_BROWSE));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_FILE_SYSTEM));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_LABEL));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_LABEL_CAPTION));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_VERIFY)) << "a Format never verifies";
        EXPECT_TRUE(IsChecked(hDlg, IDC_VERIFY)) << "the tick waits for the next copy";
        EXPECT_FALSE(IsEnabled(hDlg, IDC_USED_SPACE_ONLY));

        SendMessageW(GetDlgItem(hDlg, IDC_TASK_SECTOR_COPY), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsEnabled(hDlg, IDC_BROWSE));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_FILE_SYSTEM));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_LABEL));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_VERIFY));
        EXPECT_TRUE(IsChecked(hDlg, IDC_VERIFY));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_USED_SPACE_ONLY));
        EXPECT_EQ(L"E:", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST)));

        SendMessageW(GetDlgItem(hDlg, IDC_USED_SPACE_ONLY), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsChecked(hDlg, IDC_VERIFY)) << "the boxes tick apart";
        for (int nTask : {IDC_TASK_FILE_COPY, IDC_TASK_FORMAT}) {
            SendMessageW(GetDlgItem(hDlg, nTask), BM_CLICK, 0, 0);
            EXPECT_FALSE(IsEnabled(hDlg, IDC_USED_SPACE_ONLY)) << nTask;
            EXPECT_TRUE(IsChecked(hDlg, IDC_USED_SPACE_ONLY)) << "the tick waits for the next Sector Copy";
        }
    });
}

// Sticks backed by folders of the test's own; the source lives beside them,
// on a drive the bay does not describe.
class MainDialogRunTest : public MainDialogTest {
protected:
    std::string Stick(char chLetter, const char* pszSize = "64M")
    {
        const std::string strFolder(1, static_cast<char>(chLetter - 'A' + 'a'));
        std::filesystem::create_directories(m_folder.Path() / strFolder);
        return std::string("[") + chLetter + ":]\nfolder = " + strFolder + "\nsize = " + pszSize + "\n";
    }
    std::filesystem::path Drive(char chLetter) const
    {
        return m_folder.Path() / std::string(1, static_cast<char>(chLetter - 'A' + 'a'));
    }
    std::filesystem::path MakeSource()
    {
        WriteTestFile(m_folder.Path() / "src" / "a.txt", "alpha");
        WriteTestFile(m_folder.Path() / "src" / "docs" / "b.txt", "beta");
        return m_folder.Path() / "src";
    }
};

TEST_F(MainDialogRunTest, StartRefusesWithoutADriveAndWithoutASource)
{
    CBayServices noStick("[C:]\ntype = fixed\nbus = sata\nmedia = fixed\nsize = 256G\n");
    RunDialog(noStick, [](HWND hDlg) {
        CButtonPress start(hDlg, IDC_START);
        EXPECT_EQ(L"No drive is connected.", AnswerMessageBox(APP_TITLE));
        ASSERT_TRUE(start.WaitHandled());
        EXPECT_TRUE(IsDialogIdle(hDlg));
        EXPECT_EQ(L"", AnswerMessageBoxIfAny(APP_TITLE, 300ms)) << "nothing else is said";
    });

    for (const bool bDeleted : {false, true}) {
        const std::wstring strGone = (m_folder.Path() / "gone").wstring();
        if (bDeleted)
            StoreSourceFolder(strGone);
        CBayServices bay(Stick('E'), m_folder.Path());
        RunDialog(bay, [&](HWND hDlg) {
            CButtonPress start(hDlg, IDC_START);
            EXPECT_EQ(L"The source folder is invalid.", AnswerMessageBox(APP_TITLE)) << bDeleted;
            ASSERT_TRUE(start.WaitHandled());
            EXPECT_TRUE(IsDialogIdle(hDlg));
            EXPECT_EQ(bDeleted ? strGone : L"", WindowText(GetDlgItem(hDlg, IDC_SOURCE_PATH)));
            EXPECT_EQ(L"", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST)));
        });
    }
}

TEST_F(MainDialogRunTest, FormatWarningAnsweredCancelFormatsNothing)
{
    CBayServices bay(Stick('E'), m_folder.Path());
    WriteTestFile(Drive('E') / "keep.txt", "keep");
    RunDialog(bay, [&](HWND hDlg) {
        SendMessageW(GetDlgItem(hDlg, IDC_TASK_FORMAT), BM_CLICK, 0, 0);
        CButtonPress start(hDlg, IDC_START);
        EXPECT_EQ(L"If you format the USB flash drive, all data in the device will be erased. \r\n Are you sure you "
                  L"want to continue?",
                  AnswerMessageBox(APP_TITLE, IDCANCEL));
        ASSERT_TRUE(start.WaitHandled());
        EXPECT_TRUE(IsDialogIdle(hDlg));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_FILE_SYSTEM)) << "still the idle look of Format";
    });
    EXPECT_TRUE(bay.Bay().FormatCalls().empty());
    EXPECT_EQ("keep", ReadTestFile(Drive('E') / "keep.txt"));
}

// The tick travels from the box to the run: with it, a worn stick that took
// every write shows E8; without it, the run is the one it always was.
TEST_F(MainDialogRunTest, ATickedVerifyReadsEveryDriveBackAndCatchesAWornStick)
{
    for (const bool bTicked : {true, false}) {
        CBayServices bay(Stick('E') + Stick('F') + "corrupt-after = 3000\n", m_folder.Path());
        WriteTestFile(m_folder.Path() / "src" / "a.bin", std::string(4096, 'a'));
        StoreSourceFolder((m_folder.Path() / "src").wstring());
        RunDialog(bay, [&](HWND hDlg) {
            // The close of the last round kept its tick: set it either way.
            SendMessageW(GetDlgItem(hDlg, IDC_VERIFY), BM_SETCHECK, bTicked ? BST_CHECKED : BST_UNCHECKED, 0);
            CButtonPress start(hDlg, IDC_START);
            ASSERT_TRUE(start.WaitHandled());
            ASSERT_TRUE(WaitForIdle(hDlg));
            EXPECT_EQ(L"OK", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST))) << bTicked;
            EXPECT_EQ(bTicked ? L"E8" : L"OK", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + 1))) << bTicked;
        });
        std::filesystem::remove_all(Drive('E'));
        std::filesystem::remove_all(Drive('F'));
    }
}

// The dialog, with what Start asked of each run it made written down.
class CRunRecordingDialog : public CKOBLDlg {
public:
    using CKOBLDlg::CKOBLDlg;
    std::vector<TaskRequest> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

protected:
    std::unique_ptr<CTaskRun> MakeRun(const TaskRequest& request) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request);
        }
        return CKOBLDlg::MakeRun(request);
    }

private:
    std::mutex m_mutex;
    std::vector<TaskRequest> m_requests;
};

// Each box reaches the runs of its own tasks only, and neither moves the
// other: a tick left from a Sector Copy never thins a File Copy or a Format.
// The ticks come from the settings, as they do where the box is greyed.
TEST_F(MainDialogRunTest, StartHandsEachRunTheBoxesOfItsOwnTaskOnly)
{
    const struct {
        int nTask;
        int nUsedSpaceOnly;
        int nVerify;
        int32_t nRunUsedSpaceOnly;
        int32_t nRunVerify;
    } kCases[] = {
        {TASK_SECTOR_COPY, 1, 0, 1, 0}, {TASK_SECTOR_COPY, 1, 1, 1, 1}, {TASK_SECTOR_COPY, 0, 1, 0, 1},
        {TASK_FILE_COPY, 1, 1, 0, 1},   {TASK_FORMAT, 1, 1, 0, 0},
    };
    WriteTestFile(m_folder.Path() / "s.img", std::string(1 << 20, 's'));
    WriteTestFile(m_folder.Path() / "e.img", std::string(1 << 20, '\0'));
    CBayServices bay("[S:]\nimage = s.img\nsize = 1M\ntype = fixed\nbus = sata\nmedia = fixed\n"
                     "[E:]\nimage = e.img\nsize = 1M\n",
                     m_folder.Path());
    StoreSourceFolder(MakeSource().wstring());
    m_app.WriteProfileString(SETTINGS_SECTION, SETTING_SOURCE_VOLUME, L"S:\\");
    for (const auto& c : kCases) {
        SCOPED_TRACE("task " + std::to_string(c.nTask) + " used space only " + std::to_string(c.nUsedSpaceOnly)
                     + " verify " + std::to_string(c.nVerify));
        m_app.WriteProfileInt(SETTINGS_SECTION, SETTING_TASK_TYPE, c.nTask);
        m_app.WriteProfileInt(SETTINGS_SECTION, SETTING_USED_SPACE_ONLY, c.nUsedSpaceOnly);
        m_app.WriteProfileInt(SETTINGS_SECTION, SETTING_VERIFY, c.nVerify);
        CGate gate;
        CGatedRawVolumes rawVolumes(bay.Bay().RawVolumes(), gate);
        const bool bSectorCopy = c.nTask == TASK_SECTOR_COPY;
        // Only the Sector Copy is held, to be seen running.
        if (!bSectorCopy)
            gate.Open();
        CRunRecordingDialog dialog(bay.Services(m_shell, nullptr, nullptr, nullptr, &rawVolumes));
        RunDialogWithScript(dialog, [&](HWND hDlg) {
            CGate::COpenOnExit openOnExit{gate};
            EXPECT_EQ(bSectorCopy, IsEnabled(hDlg, IDC_USED_SPACE_ONLY));
            EXPECT_EQ(c.nUsedSpaceOnly != 0, IsChecked(hDlg, IDC_USED_SPACE_ONLY));
            CButtonPress start(hDlg, IDC_START);
            if (c.nTask == TASK_FORMAT) {
                EXPECT_FALSE(AnswerMessageBox(APP_TITLE).empty());
            }
            if (bSectorCopy) {
                ASSERT_TRUE(WaitFor("the source to be opened", [&] { return gate.Waiting() >= 1; }));
                ASSERT_TRUE(start.WaitHandled());
                EXPECT_FALSE(IsEnabled(hDlg, IDC_USED_SPACE_ONLY)) << "open during a run";
                gate.Open();
            }
            ASSERT_TRUE(start.WaitHandled());
            ASSERT_TRUE(WaitForIdle(hDlg));
            EXPECT_EQ(bSectorCopy, IsEnabled(hDlg, IDC_USED_SPACE_ONLY)) << "after the run";
            EXPECT_EQ(c.nUsedSpaceOnly != 0, IsChecked(hDlg, IDC_USED_SPACE_ONLY)) << "after the run";
        });
        const std::vector<TaskRequest> requests = dialog.Requests();
        ASSERT_EQ(1u, requests.size());
        EXPECT_EQ(c.nTask, requests[0].m_nTaskType);
        EXPECT_EQ(c.nRunUsedSpaceOnly, requests[0].m_nUsedSpaceOnly);
        EXPECT_EQ(c.nRunVerify, requests[0].m_nVerify);
    }
}

// PostMessageW as the system answers when the dialog's queue is full, for
// the end of a run only; the system's own for everything else.
BOOL WINAPI PostMessageThatLosesTheRunsEnd(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    using PostMessageFn = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
    static const auto pfnSystemPost = reinterpret_cast<PostMessageFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "PostMessageW")));
    if (nMsg == WM_RUN_ENDED) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    return pfnSystemPost(hWnd, nMsg, wParam, lParam);
}

TEST_F(MainDialogRunTest, ARunWhoseEndCannotBePostedStillEndsOnTheDialogsThread)
{
    CBayServices bay(Stick('E'), m_folder.Path());
    StoreSourceFolder(MakeSource().wstring());
    CImportPatch lose("PostMessageW", reinterpret_cast<void*>(&PostMessageThatLosesTheRunsEnd));
    ASSERT_TRUE(lose.Applied());
    RunDialog(bay, [&](HWND hDlg) {
        CButtonPress start(hDlg, IDC_START);
        ASSERT_TRUE(start.WaitHandled());
        ASSERT_TRUE(WaitForIdle(hDlg)) << "the run never came back to the idle look";
        EXPECT_EQ(L"OK", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST)));
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
        EXPECT_EQ(L"", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST))) << "rescans are taken again";
    });
}

TEST_F(MainDialogRunTest, ASourceOnAUsbStickKeepsThatStickOutOfTheRun)
{
    CBayServices bay(Stick('E') + Stick('F'), m_folder.Path());
    WriteTestFile(Drive('E') / "data" / "a.txt", "alpha");
    StoreSourceFolder(L"E:\\data");
    RunDialog(bay, [&](HWND hDlg) {
        EXPECT_EQ(L"F:", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST)));
        EXPECT_EQ(L"--", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 1)));
        // Handled before the wait: a posted click may still be queued when
        // the dialog first looks idle, and the run it starts then outlives
        // the script.
        CButtonPress start(hDlg, IDC_START);
        ASSERT_TRUE(start.WaitHandled());
        ASSERT_TRUE(WaitForIdle(hDlg));
        EXPECT_EQ(L"OK", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST)));
    });
    EXPECT_EQ((std::vector<std::string>{"a.txt=alpha"}), TreeListing(Drive('F')));
    EXPECT_EQ((std::vector<std::string>{"data/", "data/a.txt=alpha"}), TreeListing(Drive('E')));
}

// All 22 slots through one dialog object run twice: each run's slot views
// speak for that run's windows, every one of them, so a run reports on each
// drive and a second run shows its drives in its own new windows.
TEST_F(MainDialogRunTest, EverySlotOfEachRunOfTheDialogShowsItsOwnDrive)
{
    std::string strSticks;
    std::vector<std::wstring> letters;
    for (char chLetter = 'E'; chLetter <= 'Z'; ++chLetter) {
        strSticks += Stick(chLetter);
        letters.push_back(std::wstring(1, static_cast<wchar_t>(chLetter)) + L":");
    }
    ASSERT_EQ(static_cast<size_t>(MAX_DRIVE_SLOTS), letters.size());
    CBayServices bay(strSticks, m_folder.Path());
    StoreSourceFolder(MakeSource().wstring());
    CKOBLDlg dialog(bay.Services(m_shell));

    RunDialogWithScript(dialog, [&](HWND hDlg) {
        EXPECT_EQ(letters, SlotTexts(hDlg, IDC_SLOT_LETTER_FIRST));
        CButtonPress start(hDlg, IDC_START);
        ASSERT_TRUE(start.WaitHandled());
        ASSERT_TRUE(WaitForIdle(hDlg));
        EXPECT_EQ(std::vector<std::wstring>(MAX_DRIVE_SLOTS, L"OK"), SlotTexts(hDlg, IDC_SLOT_STATUS_FIRST));
        for (int i = 0; i < MAX_DRIVE_SLOTS; ++i)
            EXPECT_EQ(100, SendMessageW(GetDlgItem(hDlg, IDC_SLOT_PROGRESS_FIRST + i), PBM_GETPOS, 0, 0)) << i;
    });
    RunDialogWithScript(dialog, [&](HWND hDlg) {
        EXPECT_EQ(letters, SlotTexts(hDlg, IDC_SLOT_LETTER_FIRST)) << "the second run's slots";
    });
}

TEST_F(MainDialogRunTest, ARunLooksRunningFreezesTheSlotsAndEndsIdleWithEachResult)
{
    CBayServices bay(Stick('E') + Stick('F', "1M"), m_folder.Path());
    CBayServices withG(Stick('E') + Stick('F', "1M") + Stick('G'), m_folder.Path());
    CRecordingVolumes volumes(&bay.Bay().Volumes());
    CGate gate;
    CGatedFolderTree folders(bay.Bay().Folders(), gate);
    StoreSourceFolder(MakeSource().wstring());
    const INT_PTR nResult = RunDialog(bay.Services(m_shell, &volumes, &folders), [&](HWND hDlg) {
        CGate::COpenOnExit openOnExit{gate};
        SendMessageW(GetDlgItem(hDlg, IDC_VERIFY), BM_CLICK, 0, 0);
        CButtonPress start(hDlg, IDC_START);
        ASSERT_TRUE(WaitFor("E: to begin copying", [&] { return gate.Waiting() >= 1; }));
        ASSERT_TRUE(start.WaitHandled());

        EXPECT_EQ(L"Cancel", WindowText(GetDlgItem(hDlg, IDC_START)));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_START));
        for (int nId : {IDC_BROWSE, IDC_TASK_FILE_COPY, IDC_TASK_SECTOR_COPY, IDC_TASK_FORMAT, IDC_FILE_SYSTEM, IDC_LABEL,
                        IDC_VERIFY})
            EXPECT_FALSE(IsEnabled(hDlg, nId)) << nId;
        // F: failed its space check at once; its code shows while E: copies.
        WaitFor("F:'s result", [&] { return !WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + 1)).empty(); });
        EXPECT_EQ(L"E1", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + 1)));

        volumes.SetInner(&withG.Bay().Volumes());
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
        EXPECT_EQ(L"--", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 2))) << "rescanned during a run";
        SendMessageW(hDlg, WM_CLOSE, 0, 0);
        SendMessageW(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        SendMessageW(hDlg, WM_COMMAND, IDCANCEL, 0);
        SendMessageW(hDlg, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(IsWindowVisible(hDlg)) << "the dialog ended during a run";

        gate.Open();
        ASSERT_TRUE(WaitForIdle(hDlg));
        EXPECT_EQ(L"OK", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST)));
        EXPECT_EQ(100, SendMessageW(GetDlgItem(hDlg, IDC_SLOT_PROGRESS_FIRST), PBM_GETPOS, 0, 0));
        EXPECT_EQ(L"E1", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + 1)));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_VERIFY));
        EXPECT_TRUE(IsChecked(hDlg, IDC_VERIFY));

        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
        EXPECT_EQ(L"G:", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 2)));
    });
    EXPECT_EQ(IDCANCEL, nResult) << "once the run is over the close box ends the dialog";
    EXPECT_EQ(TreeListing(m_folder.Path() / "src"), TreeListing(Drive('E')));
}

TEST_F(MainDialogRunTest, TheCancelQuestionCancelsOnlyWhenAnsweredOk)
{
    for (const bool bConfirm : {false, true}) {
        CBayServices bay(Stick('E') + Stick('F', "1M"), m_folder.Path());
        std::filesystem::remove_all(Drive('E'));
        std::filesystem::create_directories(Drive('E'));
        CGate gate;
        CGatedFolderTree folders(bay.Bay().Folders(), gate);
        StoreSourceFolder(MakeSource().wstring());
        RunDialog(bay.Services(m_shell, nullptr, &folders), [&](HWND hDlg) {
            CGate::COpenOnExit openOnExit{gate};
            CButtonPress start(hDlg, IDC_START);
            ASSERT_TRUE(WaitFor("E: to begin copying", [&] { return gate.Waiting() >= 1; }));
            ASSERT_TRUE(start.WaitHandled());
            CButtonPress cancel(hDlg, IDC_START);
            ASSERT_NE(nullptr, WaitForMessageBox(APP_TITLE));
            EXPECT_FALSE(IsEnabled(hDlg, IDC_START)) << "Cancel is disabled while it asks";
            EXPECT_EQ(L"Do you want to cancel the task ?", AnswerMessageBox(APP_TITLE, bConfirm ? IDOK : IDCANCEL));
            ASSERT_TRUE(cancel.WaitHandled());
            gate.Open();
            ASSERT_TRUE(WaitForIdle(hDlg));
            EXPECT_EQ(bConfirm ? L"E5" : L"OK", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST))) << bConfirm;
            EXPECT_EQ(L"E1", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + 1))) << "a finished slot keeps its code";
        });
    }
}

TEST_F(MainDialogRunTest, AFormatRunOffersNoCancel)
{
    CBayServices bay(Stick('E'), m_folder.Path());
    WriteTestFile(Drive('E') / "old.txt", "old");
    CGate gate;
    CGatedFormatter formatter(bay.Bay().Formatter(), gate);
    RunDialog(bay.Services(m_shell, nullptr, nullptr, &formatter), [&](HWND hDlg) {
        CGate::COpenOnExit openOnExit{gate};
        // Ticked for the copies; the Format run must leave the tick alone.
        SendMessageW(GetDlgItem(hDlg, IDC_VERIFY), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(hDlg, IDC_TASK_FORMAT), BM_CLICK, 0, 0);
        CButtonPress start(hDlg, IDC_START);
        EXPECT_FALSE(AnswerMessageBox(APP_TITLE).empty());
        ASSERT_TRUE(WaitFor("E: to begin formatting", [&] { return gate.Waiting() >= 1; }));
        ASSERT_TRUE(start.WaitHandled());
        EXPECT_EQ(L"Cancel", WindowText(GetDlgItem(hDlg, IDC_START)));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_START));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_VERIFY));
        EXPECT_EQ(1, SendMessageW(GetDlgItem(hDlg, IDC_SLOT_PROGRESS_FIRST), PBM_GETPOS, 0, 0));
        gate.Open();
        ASSERT_TRUE(WaitForIdle(hDlg));
        EXPECT_EQ(L"OK", WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST)));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_VERIFY)) << "the idle look of Format";
        SendMessageW(GetDlgItem(hDlg, IDC_TASK_FILE_COPY), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsEnabled(hDlg, IDC_VERIFY));
        EXPECT_TRUE(IsChecked(hDlg, IDC_VERIFY)) << "the Format run cleared the operator's tick";
    });
    const std::vector<BayFormatCall> calls = bay.Bay().FormatCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(L"FAT32", calls[0].strFileSystem) << "the combo's selection when Start was pressed";
    EXPECT_EQ(L"CORVANTIS", calls[0].strLabel);
    EXPECT_TRUE(TreeListing(Drive('E')).empty());
}

HWND WaitForPicker(HWND hDlg)
{
    return WaitFor("the folder picker", [hDlg] { return FindFolderPicker(hDlg); });
}

TEST_F(MainDialogTest, BrowseOpensOnTheSourceAndStoresThePickedFolder)
{
    CBayServices bay(kMachineBay);
    StoreSourceFolder(L"C:\\windows");
    RunDialog(bay, [](HWND hDlg) {
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
        HWND hPicker = WaitForPicker(hDlg);
        ASSERT_NE(nullptr, hPicker);
        PostMessageW(hPicker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ASSERT_TRUE(WaitForWindowGone(hPicker, "the folder picker"));
        EXPECT_EQ(L"C:\\windows", WindowText(GetDlgItem(hDlg, IDC_SOURCE_PATH))) << "it opened on the source";
    });
}

// The picker opens on the source each time; only OK changes it, to what the
// picker shows at that moment.
TEST_F(MainDialogTest, BrowseCancelledKeepsTheSourceAndOkTakesTheNewChoice)
{
    CBayServices bay(kMachineBay);
    StoreSourceFolder(L"C:\\windows");
    RunDialog(bay, [](HWND hDlg) {
        struct Case {
            UINT nAnswer;
            const wchar_t* pszSource;
        };
        static const wchar_t kOther[] = L"C:\\users";
        for (const Case& c : {Case{IDCANCEL, L"C:\\windows"}, Case{IDOK, kOther}}) {
            PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
            HWND hPicker = WaitForPicker(hDlg);
            ASSERT_NE(nullptr, hPicker);
            SendMessageW(hPicker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(kOther));
            PostMessageW(hPicker, WM_COMMAND, MAKEWPARAM(c.nAnswer, BN_CLICKED), 0);
            ASSERT_TRUE(WaitForWindowGone(hPicker, "the folder picker"));
            EXPECT_EQ(c.pszSource, WindowText(GetDlgItem(hDlg, IDC_SOURCE_PATH))) << c.nAnswer;
        }
    });
}

// What the picker's callback tells the picker, caught by a window of the
// test's own in the picker's place.
class CPickerRecorder {
public:
    CPickerRecorder()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &CPickerRecorder::WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorvantisPickerRecorder";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CPickerRecorder() { DestroyWindow(m_hWnd); }

    HWND Window() const { return m_hWnd; }
    std::vector<std::wstring> m_said;

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
    {
        auto* pThis = reinterpret_cast<CPickerRecorder*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (pThis != nullptr && nMsg == BFFM_ENABLEOK)
            pThis->m_said.push_back(L"enable OK " + std::to_wstring(lParam));
        else if (pThis != nullptr && nMsg == BFFM_SETSELECTIONW)
            pThis->m_said.push_back(L"select " + std::wstring(reinterpret_cast<const wchar_t*>(lParam)));
        return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    }

    HWND m_hWnd = nullptr;
};

std::vector<std::wstring> SayOnSelection(CKOBLDlg& dialog, const wchar_t* pszPath)
{
    CPickerRecorder recorder;
    PIDLIST_ABSOLUTE pidl = ILCreateFromPathW(pszPath);
    EXPECT_NE(nullptr, pidl) << "Wine has no " << std::string(pszPath, pszPath + wcslen(pszPath));
    CKOBLDlg::BrowseCallback(recorder.Window(), BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl),
                             reinterpret_cast<LPARAM>(&dialog));
    ILFree(pidl);
    return recorder.m_said;
}

TEST_F(MainDialogTest, InSectorCopyThePickerSnapsToTheDriveAndAllowsOnlyATarget)
{
    // Wine's own drives: Z: (the host's root) is the PC's disk here, C: a
    // USB stick. Not the other way round: told to select a folder on Z:,
    // Wine's picker now and then stops at "My Computer" under load, where
    // it always finds C:.
    CBayServices bay("[C:]\ntype = removable\nbus = usb\nmedia = removable\nsize = 8G\n"
                     "[Z:]\ntype = fixed\nbus = sata\nmedia = fixed\nsize = 256G\n");
    m_app.WriteProfileInt(SETTINGS_SECTION, SETTING_TASK_TYPE, 1);
    CKOBLDlg dialog(bay.Services(m_shell));
    RunDialogWithScript(dialog, [&](HWND hDlg) {
        EXPECT_EQ((std::vector<std::wstring>{L"enable OK 0", L"select Z:"}), SayOnSelection(dialog, L"Z:\\tmp"));
        EXPECT_EQ((std::vector<std::wstring>{L"enable OK 1", L"select C:"}), SayOnSelection(dialog, L"C:\\windows"));

        // The real picker: a folder on the stick comes back as the stick.
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
        HWND hPicker = WaitForPicker(hDlg);
        ASSERT_NE(nullptr, hPicker);
        static const wchar_t kOnTheStick[] = L"C:\\windows";
        SendMessageW(hPicker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(kOnTheStick));
        PostMessageW(hPicker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ASSERT_TRUE(WaitForWindowGone(hPicker, "the folder picker"));
        EXPECT_EQ(L"C:\\", WindowText(GetDlgItem(hDlg, IDC_SOURCE_PATH)));
        EXPECT_EQ(L"--", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST))) << "the source drive left the slots";
        EXPECT_EQ((std::vector<std::wstring>{L"enable OK 0", L"select C:"}), SayOnSelection(dialog, L"C:\\windows"))
            << "the source drive is no target";

        SendMessageW(GetDlgItem(hDlg, IDC_TASK_FILE_COPY), BM_CLICK, 0, 0);
        EXPECT_TRUE(SayOnSelection(dialog, L"C:\\windows").empty()) << "a File Copy source is any folder";
    });
}

}  // namespace
