#pragma once
// Finding the program's windows from a test thread or another process. The
// finders look once; PollFor repeats a look within a bound. The tests' own
// waits, which fail when their bound passes, are in gui_wait_win32.h.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

inline std::wstring WindowText(HWND hWnd)
{
    const LRESULT nLength = SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
    const LRESULT nCopied = SendMessageW(hWnd, WM_GETTEXT, strText.size(), reinterpret_cast<LPARAM>(strText.data()));
    strText.resize(static_cast<size_t>(nCopied));
    return strText;
}

inline std::wstring WindowClassName(HWND hWnd)
{
    wchar_t szClass[256] = {};
    const int nLength = GetClassNameW(hWnd, szClass, 256);
    return std::wstring(szClass, static_cast<size_t>(nLength > 0 ? nLength : 0));
}

inline DWORD WindowProcessId(HWND hWnd)
{
    DWORD nPid = 0;
    GetWindowThreadProcessId(hWnd, &nPid);
    return nPid;
}

inline std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Visible or hidden top-level dialogs ("#32770") with this caption; of one
// process when nProcessId is not 0.
inline std::vector<HWND> FindDialogWindows(const std::wstring& strCaption, DWORD nProcessId = 0)
{
    std::vector<HWND> found;
    for (HWND hWnd : TopLevelWindows()) {
        if (WindowClassName(hWnd) == L"#32770" && WindowText(hWnd) == strCaption
            && (nProcessId == 0 || WindowProcessId(hWnd) == nProcessId))
            found.push_back(hWnd);
    }
    return found;
}

// A message box is captioned like the main dialog, but has the message text
// control (id 0xFFFF) that only message boxes have.
inline bool IsMessageBox(HWND hWnd)
{
    return GetDlgItem(hWnd, 0xFFFF) != nullptr;
}

// The visible dialog of that caption that is not a message box, or the
// visible message box; nullptr when there is none now.
inline HWND FindVisibleDialog(const std::wstring& strCaption, DWORD nProcessId, bool bMessageBox)
{
    for (HWND hWnd : FindDialogWindows(strCaption, nProcessId)) {
        if (IsWindowVisible(hWnd) && IsMessageBox(hWnd) == bMessageBox)
            return hWnd;
    }
    return nullptr;
}

// The shell's folder picker of this process: a visible dialog that is
// neither hExcept (the window that opened it) nor a message box.
inline HWND FindFolderPicker(HWND hExcept)
{
    for (HWND hWnd : TopLevelWindows()) {
        if (hWnd != hExcept && WindowProcessId(hWnd) == GetCurrentProcessId() && IsWindowVisible(hWnd)
            && WindowClassName(hWnd) == L"#32770" && !IsMessageBox(hWnd))
            return hWnd;
    }
    return nullptr;
}

inline std::string Utf8(const std::wstring& strText)
{
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(nBytes > 0 ? nBytes : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), strUtf8.data(), nBytes,
                        nullptr, nullptr);
    return strUtf8;
}

// What a wait that found nothing prints, so that its log alone tells what
// was on the screen: one line per top-level window that is visible or owned
// by this process (Wine keeps hidden windows of its own, which tell nothing).
inline std::string DescribeTopLevelWindows()
{
    std::string strList;
    for (HWND hWnd : TopLevelWindows()) {
        const bool bVisible = IsWindowVisible(hWnd) != FALSE;
        const DWORD nPid = WindowProcessId(hWnd);
        if (!bVisible && nPid != GetCurrentProcessId())
            continue;
        char szHandles[64] = {};
        std::snprintf(szHandles, sizeof(szHandles), "%p owner %p", static_cast<void*>(hWnd),
                      static_cast<void*>(GetWindow(hWnd, GW_OWNER)));
        strList += "  " + std::string(szHandles) + " class \"" + Utf8(WindowClassName(hWnd)) + "\" caption \""
            + Utf8(WindowText(hWnd)) + "\" process " + std::to_string(nPid)
            + (nPid == GetCurrentProcessId() ? " (this one)" : "") + (bVisible ? "" : " hidden") + "\n";
    }
    return strList.empty() ? "  (none)\n" : strList;
}

// Looks every 20 ms until probe() gives something (a window, true), and
// gives back the last look: empty when the bound passed first.
template <class TProbe>
auto PollFor(std::chrono::milliseconds bound, TProbe&& probe) -> decltype(probe())
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        auto found = probe();
        if (found || std::chrono::steady_clock::now() >= deadline)
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
