#pragma once
// Popup windows of our own window classes, with a message map.
//
// One static window procedure binds the object at WM_NCCREATE and routes
// every message through the virtual WindowProc, then the message map
// (OnWndMsg), then DefWindowProcW.
//
// Ownership: by default the creator owns the object and the object outlives
// its window. A window that should own its object (a popup that closes
// itself whenever the user says so) is told so with DeleteWhenDestroyed():
// the framework then deletes the object right after WM_NCDESTROY, and only
// there. Such an object must come from std::make_unique, released by its
// creator once the window exists.

#include <windows.h>

#include <string>

#include "framework/afx_msgmap.h"
#include "framework/afx_wnd.h"

class CPopupWnd : public CWnd {
public:
    CPopupWnd() = default;
    // Destroys a window still alive, so that no message can reach a
    // destroyed object.
    ~CPopupWnd() override;

    // The window class, registered the first time any object asks for it in
    // this process, with the framework's window procedure and the program's
    // instance. False when it cannot be registered.
    static bool RegisterPopupClass(const wchar_t* pszClassName, UINT nStyle, HCURSOR hCursor, HBRUSH hbrBackground);
    static bool IsPopupClassRegistered(const wchar_t* pszClassName);

    // False when the object has a window already or the system refused one.
    bool CreateEx(DWORD dwExStyle, const wchar_t* pszClassName, const std::wstring& strText, DWORD dwStyle,
                  const RECT& rc, HWND hOwner);
    BOOL DestroyWindow();

    // The object behind a window made by CreateEx; nullptr for any other.
    static CPopupWnd* FromHandle(HWND hWnd);

protected:
    // From now on the window owns the object (see above).
    void DeleteWhenDestroyed() { m_bDeleteWhenDestroyed = true; }

    // Every message of the window passes through here.
    virtual LRESULT WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam);
    // The message map. Overrides: return DispatchMessageMap(*this, kMap, ...)
    // || CPopupWnd::OnWndMsg(...).
    virtual bool OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    // The system's handling of the message being handled.
    LRESULT Default();
    // After the window has gone (m_hWnd is null again), before an owned
    // object is deleted.
    virtual void PostNcDestroy() {}

private:
    struct CMessageFrame {
        UINT nMsg;
        WPARAM wParam;
        LPARAM lParam;
    };

    static LRESULT CALLBACK PopupWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) noexcept;
    static void OnWindowGone(CPopupWnd* pThis) noexcept;

    const CMessageFrame* m_pCurrentFrame = nullptr;
    bool m_bDeleteWhenDestroyed = false;
};
