#pragma once
// The waits of the GUI tests. Each has a bound of its own, well under the
// test's CTest timeout; when it passes, the wait fails the test with what it
// waited for and the top-level windows present. So a test that would hang
// ends within a minute, and its log alone tells what was on the screen.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/window_search_win32.h"

// Long enough for a slow machine under load, short enough that several in
// a row stay well under CTest's timeout.
constexpr std::chrono::milliseconds GUI_WAIT_BOUND{20000};

inline std::string DescribeFailedWait(const std::string& strWhat, std::chrono::milliseconds bound)
{
    return "waited " + std::to_string(bound.count()) + " ms in vain for " + strWhat + "; top-level windows:\n"
        + DescribeTopLevelWindows();
}

// PollFor that fails the test when the bound passes first.
template <class TProbe>
auto WaitFor(const std::string& strWhat, TProbe&& probe, std::chrono::milliseconds bound = GUI_WAIT_BOUND)
    -> decltype(probe())
{
    auto found = PollFor(bound, probe);
    if (!found)
        ADD_FAILURE() << DescribeFailedWait(strWhat, bound);
    return found;
}

inline HWND WaitForDialogWindow(const std::wstring& strCaption, DWORD nProcessId,
                                std::chrono::milliseconds bound = GUI_WAIT_BOUND)
{
    return WaitFor("a dialog captioned \"" + Utf8(strCaption) + "\"",
                   [&] { return FindVisibleDialog(strCaption, nProcessId, false); }, bound);
}

inline HWND WaitForMessageBox(const std::wstring& strCaption, DWORD nProcessId = GetCurrentProcessId(),
                              std::chrono::milliseconds bound = GUI_WAIT_BOUND)
{
    return WaitFor("a message box captioned \"" + Utf8(strCaption) + "\"",
                   [&] { return FindVisibleDialog(strCaption, nProcessId, true); }, bound);
}

inline bool WaitForWindowGone(HWND hWnd, const std::string& strWhat, std::chrono::milliseconds bound = GUI_WAIT_BOUND)
{
    return WaitFor(strWhat + " to close", [&] { return IsWindow(hWnd) == FALSE; }, bound);
}

// Presses the button (OK unless told) on the message box and waits until the
// box has gone, so the next box found is a new one; returns its text, empty
// (and a failure) when none came.
inline std::wstring AnswerMessageBox(const std::wstring& strCaption, int nButton = IDOK)
{
    HWND hBox = WaitForMessageBox(strCaption);
    if (hBox == nullptr)
        return std::wstring();
    const std::wstring strText = WindowText(GetDlgItem(hBox, 0xFFFF));
    PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED), 0);
    WaitForWindowGone(hBox, "the message box \"" + Utf8(strText) + "\"");
    return strText;
}

// The text of a message box that comes within the bound, which is then
// answered OK; empty when none came, which is no failure.
inline std::wstring AnswerMessageBoxIfAny(const std::wstring& strCaption, std::chrono::milliseconds bound)
{
    if (PollFor(bound, [&] { return FindVisibleDialog(strCaption, GetCurrentProcessId(), true); }) == nullptr)
        return std::wstring();
    return AnswerMessageBox(strCaption);
}

// A button pressed as the operator presses it, from a thread of its own, so
// that a message box its handler opens can be answered meanwhile. Unlike a
// posted click, the test can wait until the handler has returned: after a
// press of Start, until the run has begun or been refused.
class CButtonPress {
public:
    CButtonPress(HWND hDlg, int nId) : m_pHandled(std::make_shared<std::atomic<bool>>(false))
    {
        // The thread keeps its own share of the flag: it may outlive the press.
        m_thread = std::thread([pHandled = m_pHandled, hDlg, nId] {
            SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
            *pHandled = true;
        });
    }
    ~CButtonPress()
    {
        // A handler that never returns is a failure reported here; its thread
        // is let go rather than waited for without end.
        if (!m_bGaveUp && WaitHandled())
            m_thread.join();
        else
            m_thread.detach();
    }
    CButtonPress(const CButtonPress&) = delete;
    CButtonPress& operator=(const CButtonPress&) = delete;

    bool WaitHandled(std::chrono::milliseconds bound = GUI_WAIT_BOUND)
    {
        if (*m_pHandled)
            return true;
        m_bGaveUp = !WaitFor("the press's handler to return", [this] { return m_pHandled->load(); }, bound);
        return !m_bGaveUp;
    }

private:
    std::shared_ptr<std::atomic<bool>> m_pHandled;
    bool m_bGaveUp = false;
    std::thread m_thread;
};
