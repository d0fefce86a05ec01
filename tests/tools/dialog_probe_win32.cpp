// Reads and drives the running program's main dialog from outside, as an
// operator would: used by the run script to print the slots, run a File Copy
// and frame a screenshot.
//
//   corvantis_probe report [SECONDS]     wait for the dialog, print its slots and frame
//   corvantis_probe file-copy [SECONDS]  choose File Copy, press Start, wait until the
//                                        run is over, print each slot's letter and result
//   corvantis_probe sector-copy [SECONDS] the same with Sector Copy
//   corvantis_probe close  [SECONDS]     close the dialog and wait until it is gone

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "app/app_title.h"
#include "support/window_search_win32.h"
#include "ui/resource.h"

namespace {

void PrintUtf8(const std::wstring& strText)
{
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), strUtf8.data(), nBytes,
                        nullptr, nullptr);
    std::fwrite(strUtf8.data(), 1, strUtf8.size(), stdout);
}

int Report(HWND hDlg)
{
    for (int i = 0; i < 22; ++i) {
        PrintUtf8(L"slot " + std::to_wstring(i + 1) + L": " + WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + i))
                  + L"\n");
    }
    RECT rc{};
    GetWindowRect(hDlg, &rc);
    std::printf("window: %ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    std::fflush(stdout);
    return 0;
}

// A message box of the program instead of a run: say what it tells.
bool ReportMessageBox(DWORD nProcessId)
{
    for (HWND hWnd : FindDialogWindows(APP_TITLE, nProcessId)) {
        if (IsWindowVisible(hWnd) && GetDlgItem(hWnd, 0xFFFF) != nullptr) {
            std::fprintf(stderr, "corvantis_probe: the program says: ");
            std::fflush(stderr);
            PrintUtf8(WindowText(GetDlgItem(hWnd, 0xFFFF)) + L"\n");
            return true;
        }
    }
    return false;
}

int RunTask(HWND hDlg, int nTaskRadio, std::chrono::seconds bound)
{
    DWORD nProcessId = 0;
    GetWindowThreadProcessId(hDlg, &nProcessId);
    SendMessageW(GetDlgItem(hDlg, nTaskRadio), BM_CLICK, 0, 0);
    // Sent from a thread of its own: a message box that Start may show
    // holds only that thread, and once the send returns Start has done all
    // it does, so the idle look seen afterwards is the end of the run and
    // not the moment before it began.
    auto pHandled = std::make_shared<std::atomic<bool>>(false);
    std::thread([pHandled, hDlg] {
        SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDC_START)));
        *pHandled = true;
    }).detach();
    HWND hStart = GetDlgItem(hDlg, IDC_START);
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "corvantis_probe: the run did not end in time\n");
            return 1;
        }
        Sleep(50);
        if (ReportMessageBox(nProcessId))
            return 1;
        if (*pHandled && WindowText(hStart) == L"Start")
            break;
    }
    for (int i = 0; i < 22; ++i) {
        const std::wstring strLetter = WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + i));
        if (strLetter == L"--")
            continue;
        PrintUtf8(L"slot " + std::to_wstring(i + 1) + L": " + strLetter + L" "
                  + WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + i)) + L"\n");
    }
    RECT rc{};
    GetWindowRect(hDlg, &rc);
    std::printf("window: %ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    std::fflush(stdout);
    return 0;
}

int Close(HWND hDlg, std::chrono::seconds bound)
{
    PostMessageW(hDlg, WM_CLOSE, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (IsWindow(hDlg)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return 1;
        Sleep(20);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring strCommand = argc > 1 ? argv[1] : L"";
    const std::chrono::seconds bound(argc > 2 ? _wtoi(argv[2]) : 60);
    if (strCommand != L"report" && strCommand != L"file-copy" && strCommand != L"sector-copy"
        && strCommand != L"close") {
        std::fprintf(stderr, "usage: corvantis_probe report|file-copy|sector-copy|close [SECONDS]\n");
        return 2;
    }
    // The dialog, or a message box of the same caption that came instead.
    HWND hDlg = PollFor(bound, [] {
        HWND hFound = FindVisibleDialog(APP_TITLE, 0, false);
        return hFound != nullptr ? hFound : FindVisibleDialog(APP_TITLE, 0, true);
    });
    if (hDlg == nullptr) {
        std::fprintf(stderr, "corvantis_probe: no \"CORVANTIS USB Copy\" dialog appeared\n");
        return 1;
    }
    if (GetDlgItem(hDlg, IDC_START) == nullptr) {
        // A message box carries the same caption; say what it tells.
        std::fprintf(stderr, "corvantis_probe: the program shows a message instead of its dialog:\n");
        std::fflush(stderr);
        const std::wstring strMessage = WindowText(GetDlgItem(hDlg, 0xFFFF)) + L"\n";
        const int nBytes = WideCharToMultiByte(CP_UTF8, 0, strMessage.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string strUtf8(static_cast<size_t>(nBytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, strMessage.c_str(), -1, strUtf8.data(), nBytes, nullptr, nullptr);
        std::fputs(strUtf8.c_str(), stderr);
        return 1;
    }
    if (strCommand == L"report")
        return Report(hDlg);
    if (strCommand == L"file-copy")
        return RunTask(hDlg, IDC_TASK_FILE_COPY, bound);
    if (strCommand == L"sector-copy")
        return RunTask(hDlg, IDC_TASK_SECTOR_COPY, bound);
    return Close(hDlg, bound);
}
