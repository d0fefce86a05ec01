// Reads and drives the running program's main dialog from outside, as an
// operator would: used by the run script to print the slots, run a File Copy
// and frame a screenshot.
//
//   corvantis_probe report [SECONDS]     wait for the dialog, print its slots and frame
//   corvantis_probe file-copy [SECONDS]  choose File Copy, press Start, wait until the
//                                        run is over, print each slot's letter and result
//   corvantis_probe sector-copy [SECONDS] the same with Sector Copy
//   corvantis_probe close  [SECONDS]     close the dialog and wait until it is gone
//   corvantis_probe end    [SECONDS]     answer the program's message boxes with their least
//                                        committal button and close its dialog, until no window
//                                        of it is left
//
// Exit status: 0 done; 1 the dialog did not appear, or the run or the close
// did not end in time; 2 wrong usage; 3 the program showed a message box
// (before the dialog, or in its place during the run), whose text went to
// stderr as one line.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "app/app_title.h"
#include "support/window_search_win32.h"
#include "ui/win32/resource.h"

namespace {

constexpr int PROBE_EXIT_MESSAGE_BOX = 3;

void PrintUtf8(std::FILE* pStream, const std::wstring& strText)
{
    const std::string strUtf8 = Utf8(strText);
    std::fwrite(strUtf8.data(), 1, strUtf8.size(), pStream);
    std::fflush(pStream);
}

// The dialog's place on the screen, last: the screenshot scripts crop to it.
void PrintWindowPlace(HWND hDlg)
{
    RECT rc{};
    GetWindowRect(hDlg, &rc);
    std::printf("window: %ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    std::fflush(stdout);
}

// A message box of the program, wherever it came: what it tells, as one line
// on stderr, so that a script shows it whole beside its own error.
bool ReportMessageBox(DWORD nProcessId)
{
    HWND hBox = FindVisibleDialog(APP_TITLE, nProcessId, true);
    if (hBox == nullptr)
        return false;
    std::wstring strLine = L"corvantis_probe: the program says: ";
    for (wchar_t ch : WindowText(GetDlgItem(hBox, 0xFFFF))) {
        if (ch != L'\r')
            strLine += ch == L'\n' ? L' ' : ch;
    }
    PrintUtf8(stderr, strLine + L"\n");
    return true;
}

int Report(HWND hDlg)
{
    if (ReportMessageBox(WindowProcessId(hDlg)))
        return PROBE_EXIT_MESSAGE_BOX;
    for (int i = 0; i < 22; ++i) {
        PrintUtf8(stdout, L"slot " + std::to_wstring(i + 1) + L": "
                              + WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + i)) + L"\n");
    }
    PrintWindowPlace(hDlg);
    return 0;
}

int RunTask(HWND hDlg, int nTaskRadio, std::chrono::seconds bound)
{
    const DWORD nProcessId = WindowProcessId(hDlg);
    // A box already open holds the dialog: pressing its buttons now would
    // run their handlers behind it.
    if (ReportMessageBox(nProcessId))
        return PROBE_EXIT_MESSAGE_BOX;
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
            return PROBE_EXIT_MESSAGE_BOX;
        if (*pHandled && WindowText(hStart) == L"Start")
            break;
    }
    for (int i = 0; i < 22; ++i) {
        const std::wstring strLetter = WindowText(GetDlgItem(hDlg, IDC_SLOT_LETTER_FIRST + i));
        if (strLetter == L"--")
            continue;
        PrintUtf8(stdout, L"slot " + std::to_wstring(i + 1) + L": " + strLetter + L" "
                              + WindowText(GetDlgItem(hDlg, IDC_SLOT_STATUS_FIRST + i)) + L"\n");
    }
    PrintWindowPlace(hDlg);
    return 0;
}

int Close(HWND hDlg, std::chrono::seconds bound)
{
    const DWORD nProcessId = WindowProcessId(hDlg);
    PostMessageW(hDlg, WM_CLOSE, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (IsWindow(hDlg)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            // A box holds the dialog open; its text says why.
            if (ReportMessageBox(nProcessId))
                return PROBE_EXIT_MESSAGE_BOX;
            std::fprintf(stderr, "corvantis_probe: the dialog did not close in time\n");
            return 1;
        }
        Sleep(20);
    }
    return 0;
}

// Cancel or No where the box has them: a box that asks before it acts
// (erasing drives, cancelling a run) must not be agreed to.
int LeastCommittalButton(HWND hBox)
{
    for (int nId : {IDCANCEL, IDNO, IDOK}) {
        if (GetDlgItem(hBox, nId) != nullptr)
            return nId;
    }
    return IDCANCEL;
}

int End(HWND hFound, std::chrono::seconds bound)
{
    const DWORD nProcessId = WindowProcessId(hFound);
    const auto deadline = std::chrono::steady_clock::now() + bound;
    auto nextClose = std::chrono::steady_clock::now();
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        bool bAnyLeft = false;
        for (HWND hWnd : FindDialogWindows(APP_TITLE, nProcessId)) {
            if (!IsWindowVisible(hWnd))
                continue;
            bAnyLeft = true;
            if (IsMessageBox(hWnd)) {
                PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(LeastCommittalButton(hWnd), BN_CLICKED), 0);
            } else if (now >= nextClose) {
                // Again now and then: a box may have held the first close.
                PostMessageW(hWnd, WM_CLOSE, 0, 0);
                nextClose = now + std::chrono::milliseconds(500);
            }
        }
        if (!bAnyLeft)
            return 0;
        if (now >= deadline) {
            std::fprintf(stderr, "corvantis_probe: the program's windows did not close in time\n");
            return 1;
        }
        Sleep(50);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring strCommand = argc > 1 ? argv[1] : L"";
    const std::chrono::seconds bound(argc > 2 ? _wtoi(argv[2]) : 60);
    if (strCommand != L"report" && strCommand != L"file-copy" && strCommand != L"sector-copy"
        && strCommand != L"close" && strCommand != L"end") {
        std::fprintf(stderr, "usage: corvantis_probe report|file-copy|sector-copy|close|end [SECONDS]\n");
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
    if (strCommand == L"end")
        return End(hDlg, bound);
    if (IsMessageBox(hDlg)) {
        ReportMessageBox(WindowProcessId(hDlg));
        return PROBE_EXIT_MESSAGE_BOX;
    }
    if (strCommand == L"report")
        return Report(hDlg);
    if (strCommand == L"file-copy")
        return RunTask(hDlg, IDC_TASK_FILE_COPY, bound);
    if (strCommand == L"sector-copy")
        return RunTask(hDlg, IDC_TASK_SECTOR_COPY, bound);
    return Close(hDlg, bound);
}
