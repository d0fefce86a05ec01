#include "ui/win32/balloon_hooks_win32.h"

#include <algorithm>
#include <vector>

#include "base/thread_guard.h"
#include "base/win32/handles_win32.h"

namespace {

constexpr int kHookKinds[] = {WH_KEYBOARD, WH_MOUSE, WH_CALLWNDPROCRET};
constexpr int HOOK_KIND_COUNT = sizeof(kHookKinds) / sizeof(kHookKinds[0]);

struct CThreadHook {
    CUniqueHook hook;
    std::vector<IBalloonHookClient*> clients;
};

std::vector<CThreadHook>& ThreadHooks()
{
    thread_local std::vector<CThreadHook> hooks(HOOK_KIND_COUNT);
    return hooks;
}

int KindIndex(int nIdHook)
{
    for (int i = 0; i < HOOK_KIND_COUNT; ++i) {
        if (kHookKinds[i] == nIdHook)
            return i;
    }
    return -1;
}

template <int kIndex>
LRESULT CALLBACK ThreadHookProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    CThreadHook& entry = ThreadHooks()[kIndex];
    if (nCode == HC_ACTION) {
        // A client may go while another is told (a reposition that sends
        // messages); a copy keeps the walk valid, and each one still there
        // is told once.
        const std::vector<IBalloonHookClient*> clients = entry.clients;
        for (IBalloonHookClient* pClient : clients) {
            if (std::find(entry.clients.begin(), entry.clients.end(), pClient) == entry.clients.end())
                continue;
            RunGuarded(
                [&] {
                    pClient->OnThreadHook(kHookKinds[kIndex], wParam, lParam);
                    return 0;
                },
                0);
        }
    }
    return ::CallNextHookEx(entry.hook.get(), nCode, wParam, lParam);
}

constexpr HOOKPROC kHookProcs[] = {ThreadHookProc<0>, ThreadHookProc<1>, ThreadHookProc<2>};
static_assert(sizeof(kHookProcs) / sizeof(kHookProcs[0]) == HOOK_KIND_COUNT);

} // namespace

bool CBalloonHookLink::Install(IBalloonHookClient* pClient)
{
    if (m_pClient != nullptr)
        return true;
    const int nIndex = KindIndex(m_nIdHook);
    if (nIndex < 0 || pClient == nullptr)
        return false;
    CThreadHook& entry = ThreadHooks()[static_cast<size_t>(nIndex)];
    if (!entry.hook) {
        entry.hook.reset(::SetWindowsHookExW(m_nIdHook, kHookProcs[nIndex], nullptr, ::GetCurrentThreadId()));
        if (!entry.hook)
            return false;
    }
    entry.clients.push_back(pClient);
    m_pClient = pClient;
    return true;
}

void CBalloonHookLink::Remove() noexcept
{
    if (m_pClient == nullptr)
        return;
    CThreadHook& entry = ThreadHooks()[static_cast<size_t>(KindIndex(m_nIdHook))];
    entry.clients.erase(std::remove(entry.clients.begin(), entry.clients.end(), m_pClient), entry.clients.end());
    if (entry.clients.empty())
        entry.hook.reset();
    m_pClient = nullptr;
}

int CountBalloonThreadHooks()
{
    int nCount = 0;
    for (const CThreadHook& entry : ThreadHooks())
        nCount += entry.hook ? 1 : 0;
    return nCount;
}
