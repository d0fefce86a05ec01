#pragma once
// Finding the program's windows from a test thread or another process.

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// Visible or hidden top-level dialogs ("#32770") with this caption; of one
// process when nProcessId is not 0.
inline std::vector<HWND> FindDialogWindows(const std::wstring& strCaption, DWORD nProcessId = 0)
{
    struct Search {
        std::wstring strCaption;
        DWORD nProcessId;
        std::vector<HWND> found;
    } search{strCaption, nProcessId, {}};
    EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lParam);
            wchar_t szClass[16] = {};
            GetClassNameW(hWnd, szClass, 16);
            if (std::wstring(szClass) != L"#32770")
                return TRUE;
            const int nLength = GetWindowTextLengthW(hWnd);
            std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
            strText.resize(static_cast<size_t>(GetWindowTextW(hWnd, strText.data(), nLength + 1)));
            DWORD nPid = 0;
            GetWindowThreadProcessId(hWnd, &nPid);
            if (strText == s.strCaption && (s.nProcessId == 0 || nPid == s.nProcessId))
                s.found.push_back(hWnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Polls every 20 ms; nullptr when nothing showed up within the bound.
inline HWND WaitForDialogWindow(const std::wstring& strCaption, DWORD nProcessId, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        for (HWND hWnd : FindDialogWindows(strCaption, nProcessId)) {
            if (IsWindowVisible(hWnd))
                return hWnd;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

inline std::wstring WindowText(HWND hWnd)
{
    const LRESULT nLength = SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
    const LRESULT nCopied = SendMessageW(hWnd, WM_GETTEXT, strText.size(), reinterpret_cast<LPARAM>(strText.data()));
    strText.resize(static_cast<size_t>(nCopied));
    return strText;
}

// A message box of this process: captioned like the main dialog, but with
// the message text control (id 0xFFFF) that only message boxes have.
inline HWND WaitForMessageBox(const std::wstring& strCaption, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        for (HWND hWnd : FindDialogWindows(strCaption, GetCurrentProcessId())) {
            if (IsWindowVisible(hWnd) && GetDlgItem(hWnd, 0xFFFF) != nullptr)
                return hWnd;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Presses the button (OK unless told) on the message box; returns its text,
// or nothing when none came.
inline std::wstring AnswerMessageBox(const std::wstring& strCaption, std::chrono::milliseconds bound,
                                     int nButton = IDOK)
{
    HWND hBox = WaitForMessageBox(strCaption, bound);
    if (hBox == nullptr)
        return std::wstring();
    const std::wstring strText = WindowText(GetDlgItem(hBox, 0xFFFF));
    PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED), 0);
    // Gone before the caller goes on, so the next box found is a new one.
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (IsWindow(hBox) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return strText;
}

// The shell's folder picker of this process: a visible dialog that is
// neither hExcept (the window that opened it) nor a message box.
inline HWND FindFolderPicker(HWND hExcept)
{
    struct Search {
        HWND hExcept;
        HWND hFound;
    } search{hExcept, nullptr};
    EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lParam);
            wchar_t szClass[16] = {};
            GetClassNameW(hWnd, szClass, 16);
            DWORD nPid = 0;
            GetWindowThreadProcessId(hWnd, &nPid);
            if (hWnd != s.hExcept && nPid == GetCurrentProcessId() && IsWindowVisible(hWnd)
                && std::wstring(szClass) == L"#32770" && GetDlgItem(hWnd, 0xFFFF) == nullptr) {
                s.hFound = hWnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}
