// Shows the update prompt alone, as the user of the current locale sees it,
// for screenshots of it.
//
//   corvantis_update_prompt show    show the prompt, print "window: x y w h"
//                                   once it is on screen, end when it closes
//   corvantis_update_prompt close   close a prompt that is showing

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/window_search_win32.h"
#include "ui/win32/download_alarm_win32.h"

namespace {

HWND WaitForPrompt(std::chrono::seconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        for (HWND hWnd : FindDialogWindows(L"CORVANTIS USB Copy")) {
            if (IsWindowVisible(hWnd) && GetDlgItem(hWnd, 1152) != nullptr)
                return hWnd;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring strCommand = argc > 1 ? argv[1] : L"";
    if (strCommand == L"close") {
        HWND hPrompt = WaitForPrompt(std::chrono::seconds(30));
        if (hPrompt == nullptr)
            return 1;
        PostMessageW(hPrompt, WM_CLOSE, 0, 0);
        return 0;
    }
    if (strCommand != L"show") {
        std::fprintf(stderr, "usage: corvantis_update_prompt show|close\n");
        return 2;
    }
    std::thread reporter([] {
        HWND hPrompt = WaitForPrompt(std::chrono::seconds(60));
        RECT rc{};
        if (hPrompt != nullptr)
            GetWindowRect(hPrompt, &rc);
        std::printf("window: %ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
        std::fflush(stdout);
    });
    CDownLoadAlarm prompt;
    prompt.DoModal();
    reporter.join();
    return 0;
}
