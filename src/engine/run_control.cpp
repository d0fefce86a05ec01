#include "engine/run_control.h"

void CRunControl::HoldWorkers()
{
    std::lock_guard<std::mutex> lock(m_holdMutex);
    m_bHeld.store(true, std::memory_order_release);
}

void CRunControl::ReleaseWorkers()
{
    {
        std::lock_guard<std::mutex> lock(m_holdMutex);
        m_bHeld.store(false, std::memory_order_release);
    }
    m_holdReleased.notify_all();
}

bool CRunControl::CheckPoint()
{
    if (m_bHeld.load(std::memory_order_acquire)) {
        std::unique_lock<std::mutex> lock(m_holdMutex);
        m_holdReleased.wait(lock, [this] { return !m_bHeld.load(std::memory_order_acquire); });
    }
    return IsCancelled();
}
