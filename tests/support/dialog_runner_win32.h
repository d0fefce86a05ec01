#pragma once
// Runs the main dialog modally on the calling thread while a script drives it
// from a second thread, as an operator would. Afterwards the dialog is closed
// whatever the script managed to do: boxes it left open are dismissed and a
// run it left going is waited for, each within a bound. A dialog that will
// not end even so ends the test process with the windows it shows, instead
// of holding it until CTest's timeout.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "app/app_title.h"
#include "support/gui_wait_win32.h"
#include "ui/win32/main_dialog_win32.h"
#include "ui/win32/resource.h"

// Idle: the task radios enabled, which a run of any task disables (the
// button's caption would do too, but it speaks the dialog's language). Only
// meaningful once whatever was to start a run has been handled (CButtonPress).
inline bool IsDialogIdle(HWND hDlg)
{
    return IsWindowEnabled(GetDlgItem(hDlg, IDC_TASK_FILE_COPY)) != FALSE;
}

inline bool WaitForIdle(HWND hDlg, std::chrono::milliseconds bound = GUI_WAIT_BOUND)
{
    if (!WaitFor("the run to end (the task radios enabled again)", [hDlg] { return IsDialogIdle(hDlg); }, bound))
        return false;
    // The radios come back first: the rest of the idle look is set in the
    // same handler, which a sent message waits out.
    DWORD_PTR nIgnored = 0;
    SendMessageTimeoutW(hDlg, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(bound.count()), &nIgnored);
    return true;
}

// Whatever the script left open over the dialog: message boxes and pickers
// are cancelled, then a run still going is given its bound to end.
inline void DismissWhatTheScriptLeft(HWND hDlg, const std::atomic<bool>& bEnded)
{
    for (HWND hWnd : TopLevelWindows()) {
        if (hWnd != hDlg && WindowProcessId(hWnd) == GetCurrentProcessId() && IsWindowVisible(hWnd)
            && WindowClassName(hWnd) == L"#32770") {
            ADD_FAILURE() << "the script left \"" << Utf8(WindowText(hWnd)) << "\" open";
            PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            WaitForWindowGone(hWnd, "a window the script left open");
        }
    }
    WaitFor("the run to end (the task radios enabled again)",
            [&] { return bEnded || !IsWindow(hDlg) || IsDialogIdle(hDlg); });
}

inline INT_PTR RunDialogWithScript(CKOBLDlg& dialog, const std::function<void(HWND)>& script)
{
    std::atomic<bool> bEnded{false};
    std::thread tester([&] {
        // The dialog, not a message box its start-up may show first.
        HWND hDlg = WaitFor("the main dialog", [&] {
            return bEnded ? HWND_MESSAGE : FindVisibleDialog(APP_TITLE, GetCurrentProcessId(), false);
        });
        if (hDlg == nullptr || hDlg == HWND_MESSAGE) {
            ADD_FAILURE() << "the main dialog ended before the script could run";
            return;
        }
        script(hDlg);
        if (!IsWindow(hDlg))
            return;
        DismissWhatTheScriptLeft(hDlg, bEnded);
        PostMessageW(hDlg, WM_CLOSE, 0, 0);
        if (!WaitFor("the main dialog to end after its close", [&] { return bEnded.load(); })) {
            // Its thread is stuck in the modal loop and nothing here can end
            // it; the test ends now, failed, rather than at CTest's timeout.
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    const INT_PTR nResult = dialog.DoModal();
    bEnded = true;
    tester.join();
    return nResult;
}
