#pragma once
// Thread hooks for balloons. A hook procedure carries no context, so each
// thread keeps one hook of each kind and a registry of the balloons that
// listen to it; the hook exists while at least one balloon of the thread
// listens. A balloon therefore never hears another thread's input, and
// every balloon of a thread hears its own thread's.

#include <windows.h>

class IBalloonHookClient {
public:
    // nIdHook is WH_KEYBOARD, WH_MOUSE or WH_CALLWNDPROCRET; the arguments
    // are the hook procedure's for HC_ACTION.
    virtual void OnThreadHook(int nIdHook, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~IBalloonHookClient() = default;
};

// One client's listening to one kind of hook of the calling thread; ends
// with the link. Only the thread that installed it may remove it.
class CBalloonHookLink {
public:
    explicit CBalloonHookLink(int nIdHook) : m_nIdHook(nIdHook) {}
    ~CBalloonHookLink() { Remove(); }

    CBalloonHookLink(const CBalloonHookLink&) = delete;
    CBalloonHookLink& operator=(const CBalloonHookLink&) = delete;

    // False when the system refused the thread's hook; installing twice
    // keeps the first registration.
    bool Install(IBalloonHookClient* pClient);
    void Remove() noexcept;
    bool IsInstalled() const { return m_pClient != nullptr; }

private:
    int m_nIdHook;
    IBalloonHookClient* m_pClient = nullptr;
};

// How many hooks the calling thread holds for balloons: 0 once its last
// balloon has gone.
int CountBalloonThreadHooks();
