#pragma once
// Thin wrappers over window handles, covering only the calls the program
// makes.
//
// CWnd does not own its window: it never creates or destroys it, and
// Detach() or the wrapper's destruction leaves the window alone. Whoever
// created the window (the dialog template, CDialog::DoModal) destroys it.
//
// <windows.h> renames SendMessage, PostMessage, GetWindowText and friends to
// their ...W forms. It is included first here, so the member names are
// renamed the same way in every file that uses them.

#include <windows.h>

#include <string>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;

    // Copying would leave two wrappers believing they speak for one window
    // and make Attach's "already attached" check meaningless.
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Refuses (false) to replace a different window already attached: a
    // wrapper silently pointed elsewhere would send its messages to the wrong
    // control. Attaching the window already held succeeds.
    bool Attach(HWND hWnd)
    {
        if (hWnd == nullptr)
            return false;
        if (m_hWnd != nullptr && m_hWnd != hWnd)
            return false;
        m_hWnd = hWnd;
        return true;
    }

    HWND Detach()
    {
        HWND hWnd = m_hWnd;
        m_hWnd = nullptr;
        return hWnd;
    }

    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }

    void SetWindowText(const std::wstring& strText) { ::SetWindowTextW(m_hWnd, strText.c_str()); }
    std::wstring GetWindowText() const { return ReadWindowText(m_hWnd); }

    void SetDlgItemText(int nID, const std::wstring& strText)
    {
        ::SetDlgItemTextW(m_hWnd, nID, strText.c_str());
    }
    std::wstring GetDlgItemText(int nID) const { return ReadWindowText(GetDlgItem(nID)); }

    BOOL EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL EnableDlgItem(int nID, BOOL bEnable) { return ::EnableWindow(GetDlgItem(nID), bEnable); }

    LRESULT SendMessage(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, nMsg, wParam, lParam);
    }
    BOOL PostMessage(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, nMsg, wParam, lParam);
    }

    RECT GetWindowRect() const
    {
        RECT rc{};
        ::GetWindowRect(m_hWnd, &rc);
        return rc;
    }
    RECT GetClientRect() const
    {
        RECT rc{};
        ::GetClientRect(m_hWnd, &rc);
        return rc;
    }
    BOOL MoveWindow(const RECT& rc, BOOL bRepaint = TRUE)
    {
        return ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, bRepaint);
    }

    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    HMENU GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }

    // The window does not take ownership of the icon: the caller keeps it
    // alive for the window's lifetime. Returns the icon previously set.
    HICON SetIcon(HICON hIcon, BOOL bBig)
    {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, bBig ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
    }

    // The program's one reader of a window's text, safe from any thread (for
    // a window of another thread both calls are sent messages).
    //
    // Any length: the text can change between asking for its length and
    // reading it, so the buffer grows until the text fits with room to spare.
    // The first buffer has that room already, so a text that stays as it was
    // is read once.
    static std::wstring ReadWindowText(HWND hWnd)
    {
        if (hWnd == nullptr)
            return {};
        int nCapacity = ::GetWindowTextLengthW(hWnd) + 2;
        for (;;) {
            std::wstring strText(static_cast<size_t>(nCapacity), L'\0');
            const int nCopied = ::GetWindowTextW(hWnd, strText.data(), nCapacity);
            if (nCopied < nCapacity - 1 || nCapacity >= (1 << 30)) {
                strText.resize(static_cast<size_t>(nCopied > 0 ? nCopied : 0));
                return strText;
            }
            nCapacity *= 2;
        }
    }

    HWND m_hWnd = nullptr;
};

class CComboBox : public CWnd {
public:
    // Index of the new item, CB_ERR or CB_ERRSPACE.
    int AddString(const std::wstring& strItem)
    {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strItem.c_str())));
    }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int nIndex) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nIndex))); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }

    // Empty for an index out of range.
    std::wstring GetLBText(int nIndex) const
    {
        const LRESULT nLength = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex));
        if (nLength == CB_ERR || nLength < 0)
            return {};
        std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
        const LRESULT nCopied =
            SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(strText.data()));
        if (nCopied == CB_ERR || nCopied < 0)
            return {};
        strText.resize(static_cast<size_t>(nCopied < nLength ? nCopied : nLength));
        return strText;
    }
};
