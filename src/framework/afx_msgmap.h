#pragma once
// Message maps: a constexpr table after each class, from message (and for
// WM_COMMAND, notification code and control id) to handler.
//
// Declare the table as a static member so that it may name private handlers,
// define it after the class and reject overlaps at compile time (inside a
// member, such as OnWndMsg, when the table itself is private). Code that
// dispatches through the table must follow its definition, where the
// table's size is known:
//
//   class CMyDlg : public CDialog {
//       ...
//       static const CMessageMapEntry<CMyDlg> kMessageMap[];
//   };
//   constexpr CMessageMapEntry<CMyDlg> CMyDlg::kMessageMap[] = {
//       MapMessage<CMyDlg>(WM_TIMER, &CMyDlg::OnTimer),
//       MapCommand<CMyDlg>(BN_CLICKED, IDC_START, &CMyDlg::OnStart),
//   };
//
//   bool CMyDlg::OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
//   {
//       static_assert(!HasDuplicateEntries(kMessageMap));
//       return DispatchMessageMap(*this, kMessageMap, nMsg, wParam, lParam, lResult) ||
//              CDialog::OnWndMsg(nMsg, wParam, lParam, lResult);
//   }
//
// An overlap would make one of the handlers unreachable (the first match
// wins), which is why it is an error rather than a precedence rule.

#include <windows.h>

#include <cstddef>

template <class T>
struct CMessageMapEntry {
    UINT nMessage;
    UINT nCode;
    UINT nId;
    LRESULT (T::*pfnMessage)(WPARAM, LPARAM);
    void (T::*pfnCommand)();
};

// Any message; for WM_COMMAND this takes every notification from every id.
template <class T>
constexpr CMessageMapEntry<T> MapMessage(UINT nMessage, LRESULT (T::*pfn)(WPARAM, LPARAM))
{
    return {nMessage, 0, 0, pfn, nullptr};
}

template <class T>
constexpr CMessageMapEntry<T> MapCommand(UINT nCode, UINT nId, void (T::*pfn)())
{
    return {WM_COMMAND, nCode, nId, nullptr, pfn};
}

namespace afx_detail {

template <class T>
constexpr bool IsCommandEntry(const CMessageMapEntry<T>& entry)
{
    return entry.nMessage == WM_COMMAND && entry.pfnMessage == nullptr;
}

template <class T>
constexpr bool EntriesOverlap(const CMessageMapEntry<T>& a, const CMessageMapEntry<T>& b)
{
    if (a.nMessage != b.nMessage)
        return false;
    // A raw WM_COMMAND entry takes every command, so it overlaps any other.
    if (!IsCommandEntry(a) || !IsCommandEntry(b))
        return true;
    return a.nCode == b.nCode && a.nId == b.nId;
}

template <class T>
constexpr bool HasDuplicates(const CMessageMapEntry<T>* pEntries, std::size_t nCount)
{
    for (std::size_t i = 0; i < nCount; ++i) {
        for (std::size_t j = i + 1; j < nCount; ++j) {
            if (EntriesOverlap(pEntries[i], pEntries[j]))
                return true;
        }
    }
    return false;
}

template <class T>
bool Dispatch(T& wnd, const CMessageMapEntry<T>* pEntries, std::size_t nCount, UINT nMessage, WPARAM wParam,
              LPARAM lParam, LRESULT& lResult)
{
    for (std::size_t i = 0; i < nCount; ++i) {
        const CMessageMapEntry<T>& entry = pEntries[i];
        if (entry.nMessage != nMessage)
            continue;
        if (!IsCommandEntry(entry)) {
            lResult = (wnd.*entry.pfnMessage)(wParam, lParam);
            return true;
        }
        if (HIWORD(wParam) != entry.nCode || LOWORD(wParam) != entry.nId)
            continue;
        (wnd.*entry.pfnCommand)();
        // WM_COMMAND's result is ignored by its senders; zero is the
        // documented "processed".
        lResult = 0;
        return true;
    }
    return false;
}

} // namespace afx_detail

// True when two entries could claim the same message (for commands: the same
// code from the same id).
template <class T, std::size_t N>
constexpr bool HasDuplicateEntries(const CMessageMapEntry<T> (&map)[N])
{
    return afx_detail::HasDuplicates(map, N);
}

// First matching entry wins. True when an entry took the message; lResult
// then holds the handler's result.
template <class T, std::size_t N>
bool DispatchMessageMap(T& wnd, const CMessageMapEntry<T> (&map)[N], UINT nMessage, WPARAM wParam, LPARAM lParam,
                        LRESULT& lResult)
{
    return afx_detail::Dispatch(wnd, map, N, nMessage, wParam, lParam, lResult);
}
