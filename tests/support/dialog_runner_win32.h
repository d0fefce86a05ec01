#pragma once
// Runs the main dialog modally on the calling thread while a script drives it
// from a second thread, as an operator would; the dialog is closed afterwards
// whatever the script managed to do.

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "app/app_title.h"
#include "support/window_search_win32.h"
#include "ui/main_dialog_win32.h"

inline INT_PTR RunDialogWithScript(CKOBLDlg& dialog, const std::function<void(HWND)>& script)
{
    std::thread tester([&] {
        HWND hDlg = nullptr;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        // The dialog, not a message box its start-up may show first.
        while (hDlg == nullptr && std::chrono::steady_clock::now() < deadline) {
            HWND hFound = WaitForDialogWindow(APP_TITLE, GetCurrentProcessId(), std::chrono::seconds(1));
            if (hFound != nullptr && GetDlgItem(hFound, 0xFFFF) == nullptr)
                hDlg = hFound;
        }
        if (hDlg == nullptr) {
            ADD_FAILURE() << "the main dialog did not appear";
            return;
        }
        script(hDlg);
        if (IsWindow(hDlg))
            PostMessageW(hDlg, WM_CLOSE, 0, 0);
    });
    const INT_PTR nResult = dialog.DoModal();
    tester.join();
    return nResult;
}
