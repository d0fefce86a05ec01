#pragma once
// Runs an action when a scope ends, whichever way it ends: a return, a
// throw, or the end of the block. For what must be undone or handed back
// on every path and has no owner object of its own (a claimed table
// entry, a hold on the workers, a thread's callback).

#include <utility>

template <class TAction>
class CScopeGuard {
public:
    explicit CScopeGuard(TAction action) : m_action(std::move(action)) {}
    // Runs inside a destructor, so the action must not throw.
    ~CScopeGuard()
    {
        if (m_bArmed)
            m_action();
    }

    CScopeGuard(const CScopeGuard&) = delete;
    CScopeGuard& operator=(const CScopeGuard&) = delete;

    // For the one path on which the work was done and nothing is undone.
    void Dismiss() noexcept { m_bArmed = false; }

private:
    TAction m_action;
    bool m_bArmed = true;
};
