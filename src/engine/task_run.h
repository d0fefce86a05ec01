#pragma once
// One run, from the moment Start accepts it to its end: a copy of the
// request as Start took it, the filled slots as Start found them, the
// operator's cancel and hold, and the supervisor with its workers. Nothing
// the dialog does during the run (a rescan, a change of a control) can
// reach what the workers read, because they read only what the run holds.
// The UI thread makes it, starts it, and destroys it after Finish.

#include <atomic>

#include "engine/run_control.h"
#include "engine/run_slots.h"
#include "engine/task_request.h"
#include "engine/task_supervisor.h"

class CTaskRun : private IRunListener {
public:
    // The listener hears of the end on the supervisor's thread, after
    // HasEnded has turned true.
    CTaskRun(const TaskRequest& request, const CDriveSlotTable& slots, const PlatformServices& services,
             IRunListener& listener, ThreadLauncher launcher = LaunchThread, RingAllocator allocator = AllocateRing);

    CTaskRun(const CTaskRun&) = delete;
    CTaskRun& operator=(const CTaskRun&) = delete;

    // 1 when the run is under way; 0 when it could not be started, and
    // nothing runs then.
    int Start() { return m_supervisor.Start(); }
    // UI thread, once the end has been reported (or HasEnded says so).
    void Finish() { m_supervisor.FinishRun(); }
    bool HasEnded() const { return m_bEnded.load(std::memory_order_acquire); }

    CRunControl& Control() { return m_control; }
    int CountLiveWorkers() const { return m_supervisor.CountLiveWorkers(); }

private:
    void OnRunEnded() override;

    const TaskRequest m_request;
    const CRunSlots m_slots;
    CRunControl m_control;
    IRunListener& m_listener;
    std::atomic<bool> m_bEnded{false};
    // Last, so it goes first: its threads must not outlive what they read.
    CTaskSupervisor m_supervisor;
};
