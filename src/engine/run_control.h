#pragma once
// Whether the operator cancelled a run, and the hold that keeps its workers
// still while the cancel question is open. Each run has its own, so a run
// starts uncancelled and unheld by construction.
//
// Workers are held at their own check points rather than suspended at
// arbitrary ones: a thread suspended inside the heap's lock would freeze the
// dialog that asks the question.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class CRunControl {
public:
    // UI thread, only with the workers held.
    void RequestCancel() { m_nCancel.store(1, std::memory_order_release); }

    // UI thread: from HoldWorkers to ReleaseWorkers every check point waits.
    void HoldWorkers();
    void ReleaseWorkers();

    // Workers: waits while the workers are held, then tells whether the
    // operator has cancelled. Must not be called with a lock taken that the
    // UI thread may need.
    bool CheckPoint();

    // Without waiting.
    bool IsCancelled() const { return m_nCancel.load(std::memory_order_acquire) == 1; }

    // For the system's copy, which reads the flag itself.
    const std::atomic<int32_t>* CancelFlag() const { return &m_nCancel; }

private:
    std::atomic<int32_t> m_nCancel{0};
    std::atomic<bool> m_bHeld{false};
    std::mutex m_holdMutex;
    std::condition_variable m_holdReleased;
};
