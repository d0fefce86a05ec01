// Reads the running program's main dialog from outside, as an operator's eyes
// would: used by the run script to print the slots and frame a screenshot.
//
//   corvantis_probe report [SECONDS]   wait for the dialog, print its slots and frame
//   corvantis_probe close  [SECONDS]   close the dialog and wait until it is gone

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

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
    if (strCommand != L"report" && strCommand != L"close") {
        std::fprintf(stderr, "usage: corvantis_probe report|close [SECONDS]\n");
        return 2;
    }
    HWND hDlg = WaitForDialogWindow(APP_TITLE, 0, bound);
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
    return strCommand == L"report" ? Report(hDlg) : Close(hDlg, bound);
}
