// The real main dialog over a simulated bay, driven from a second thread
// while the test's main thread runs the dialog's modal loop.

#include "ui/main_dialog_win32.h"

#include <dbt.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_title.h"
#include "bay/simulated_bay.h"
#include "framework/afx_app.h"
#include "platform/shell_open.h"
#include "support/dialog_runner_win32.h"
#include "support/recording_volumes.h"
#include "support/window_search_win32.h"
#include "ui/resource.h"

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

CSimulatedBay MakeBay(const std::string& strText)
{
    BayDescription description;
    std::string strError;
    EXPECT_TRUE(ParseBayDescription(strText, "C:\\bay", description, strError)) << strError;
    return CSimulatedBay(std::move(description));
}

const char kMachineBay[] =
    "[C:]\ntype = fixed\nbus = sata\nmedia = fixed\nsize = 256G\n"
    "[D:]\ntype = cdrom\nbus = ata\nmedia = dvd-rom\nsize = 4G\n"
    "[E:]\ntype = removable\nbus = usb\nmedia = removable\nsize = 8G\n"
    "[F:]\ntype = removable\nbus = sd\nmedia = removable\nsize = 32G\n"
    "[H:]\ntype = fixed\nbus = usb\nmedia = fixed\nsize = 1T\n"
    "[K:]\ntype = removable\nbus = usb\nmedia = removable\nsize = 16G\n";

class CTestApp : public CWinApp {
};

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_app.SetAppName(APP_TITLE);
        AfxSetApp(&m_app);
    }
    void TearDown() override { AfxSetApp(nullptr); }

    // Runs the dialog modally on this thread and the script on another; the
    // dialog is closed afterwards whatever the script managed to do.
    INT_PTR RunDialog(IVolumeQueries& volumes, const std::function<void(HWND)>& script)
    {
        CKOBLDlg dialog(volumes, m_shell);
        return RunDialog(dialog, script);
    }

    static INT_PTR RunDialog(CKOBLDlg& dialog, const std::function<void(HWND)>& script)
    {
        return RunDialogWithScript(dialog, script);
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

    CTestApp m_app;
    CRecordingShellOpen m_shell;
};

TEST_F(MainDialogTest, ShowsQualifyingDrivesInSlotOrderWithTheIdleLook)
{
    CSimulatedBay bay = MakeBay(kMachineBay);
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
    CSimulatedBay bay = MakeBay(kMachineBay);
    RunDialog(bay, [this](HWND hDlg) {
        // In order: the empty slot first, so once the drive has been opened
        // the empty slot's click has been handled too.
        PostMessageW(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 5), WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageW(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + 0), WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageW(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 1), WM_LBUTTONDOWN, MK_LBUTTON, 0);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (m_shell.Opened().empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        EXPECT_EQ(std::vector<std::wstring>{L"H:"}, m_shell.Opened());
    });
}

TEST_F(MainDialogTest, DeviceArrivalAndRemovalRescanButOtherDeviceEventsDoNot)
{
    CSimulatedBay oneStick = MakeBay("[E:]\nsize = 8G\n");
    CSimulatedBay twoSticks = MakeBay("[E:]\nsize = 8G\n[G:]\nsize = 8G\n");
    CRecordingVolumes volumes(&oneStick);
    RunDialog(volumes, [&](HWND hDlg) {
        HWND hSecond = GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 1);
        EXPECT_EQ(L"--", WindowText(hSecond));

        volumes.SetInner(&twoSticks);
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
        EXPECT_EQ(L"--", WindowText(hSecond));
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
        EXPECT_EQ(L"G:", WindowText(hSecond));

        volumes.SetInner(&oneStick);
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
        EXPECT_EQ(L"--", WindowText(hSecond));
    });
}

TEST_F(MainDialogTest, TaskRadiosSwitchTheIdleLook)
{
    CSimulatedBay bay = MakeBay(kMachineBay);
    RunDialog(bay, [](HWND hDlg) {
        SendMessageW(GetDlgItem(hDlg, IDC_TASK_FORMAT), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsChecked(hDlg, IDC_TASK_FORMAT));
        EXPECT_FALSE(IsChecked(hDlg, IDC_TASK_FILE_COPY));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_BROWSE));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_FILE_SYSTEM));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_LABEL));
        EXPECT_TRUE(IsEnabled(hDlg, IDC_LABEL_CAPTION));

        SendMessageW(GetDlgItem(hDlg, IDC_TASK_SECTOR_COPY), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsEnabled(hDlg, IDC_BROWSE));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_FILE_SYSTEM));
        EXPECT_FALSE(IsEnabled(hDlg, IDC_LABEL));
        EXPECT_EQ(L"E:", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST)));
    });
}

TEST_F(MainDialogTest, EscapeAndEnterEndTheDialogThroughTheDefaults)
{
    CSimulatedBay bay = MakeBay(kMachineBay);
    EXPECT_EQ(IDCANCEL, RunDialog(bay, [](HWND hDlg) { PostMessageW(hDlg, WM_COMMAND, IDCANCEL, 0); }));
    EXPECT_EQ(IDOK, RunDialog(bay, [](HWND hDlg) { PostMessageW(hDlg, WM_COMMAND, IDOK, 0); }));
}

// Opens and ends a stand-in run on the UI thread, where runs begin and end.
class CRunningDlg : public CKOBLDlg {
public:
    static constexpr UINT WM_TEST_BEGIN_RUN = WM_APP + 1;
    static constexpr UINT WM_TEST_END_RUN = WM_APP + 2;

    using CKOBLDlg::CKOBLDlg;

protected:
    LRESULT WindowProc(UINT nMessage, WPARAM wParam, LPARAM lParam) override
    {
        if (nMessage == WM_TEST_BEGIN_RUN) {
            m_request.m_hSupervisor = std::thread([this] {
                while (!m_bEndRun)
                    std::this_thread::sleep_for(5ms);
            });
            return 0;
        }
        if (nMessage == WM_TEST_END_RUN) {
            m_bEndRun = true;
            m_request.m_hSupervisor.join();
            return 0;
        }
        return CKOBLDlg::WindowProc(nMessage, wParam, lParam);
    }

private:
    std::atomic<bool> m_bEndRun{false};
};

TEST_F(MainDialogTest, WhileARunExistsTheDialogRefusesToEndAndToRescan)
{
    CSimulatedBay oneStick = MakeBay("[E:]\nsize = 8G\n");
    CSimulatedBay twoSticks = MakeBay("[E:]\nsize = 8G\n[G:]\nsize = 8G\n");
    CRecordingVolumes volumes(&oneStick);
    CRunningDlg dialog(volumes, m_shell);
    const INT_PTR nResult = RunDialog(dialog, [&](HWND hDlg) {
        SendMessageW(hDlg, CRunningDlg::WM_TEST_BEGIN_RUN, 0, 0);
        SendMessageW(hDlg, WM_CLOSE, 0, 0);
        SendMessageW(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        SendMessageW(hDlg, WM_COMMAND, IDCANCEL, 0);
        SendMessageW(hDlg, WM_COMMAND, IDOK, 0);
        volumes.SetInner(&twoSticks);
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
        // Anything that ended the dialog is handled by now: the messages above
        // were sent, not posted.
        EXPECT_TRUE(IsWindowVisible(hDlg)) << "the dialog ended during a run";
        EXPECT_EQ(L"--", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 1))) << "rescanned during a run";

        SendMessageW(hDlg, CRunningDlg::WM_TEST_END_RUN, 0, 0);
        SendMessageW(hDlg, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
        EXPECT_EQ(L"G:", WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + 1)));
    });
    EXPECT_EQ(IDCANCEL, nResult) << "once the run is over the close box ends the dialog";
}

}  // namespace
