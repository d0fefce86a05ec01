#pragma once
// The threads of one run: a supervisor thread that starts one worker per
// filled slot, waits for all of them by polling, and reports the end of the
// run, after which the UI thread calls FinishRun. The supervisor owns the
// workers and their parameters; its run (CTaskRun) owns it.

#include <array>
#include <atomic>
#include <thread>

#include "engine/run_slots.h"
#include "engine/sector_copy.h"
#include "engine/slot_drivers.h"
#include "engine/thread_launcher.h"

class CRunControl;
struct TaskRequest;

class IRunListener {
public:
    virtual ~IRunListener() = default;
    // From the supervisor's thread, as its last act. The UI thread answers
    // by finishing the run (CTaskRun::Finish).
    virtual void OnRunEnded() = 0;
};

// The worker's own part of the run; the worker is a member of its
// supervisor, so the slot is all it needs to be told.
struct SlotWorkerParam {
    int nSlot = 0;
    // From the start of the run until the worker's driver has returned.
    std::atomic<bool> bLive{false};
};

class CTaskSupervisor {
public:
    // The launcher starts every thread of a run and the allocator makes the
    // sector copy's ring; tests replace them to make either fail.
    CTaskSupervisor(const TaskRequest& request, const CRunSlots& slots, CRunControl& run,
                    const PlatformServices& services, IRunListener& listener,
                    ThreadLauncher launcher = LaunchThread, RingAllocator allocator = AllocateRing);
    ~CTaskSupervisor();

    CTaskSupervisor(const CTaskSupervisor&) = delete;
    CTaskSupervisor& operator=(const CTaskSupervisor&) = delete;

    // UI thread, once: starts the supervisor; 0 when its thread cannot be
    // started, for whatever reason, and then nothing runs.
    int Start();

    // UI thread, once the listener has reported the end: the supervisor's
    // thread has ended or is about to, and is waited for.
    void FinishRun();

    // Workers whose driver has not returned yet.
    int CountLiveWorkers() const;

private:
    void TaskSupervisorProc();
    void RunWorkersToTheEnd();
    void SlotWorkerProc(SlotWorkerParam& param);

    const TaskRequest& m_request;
    const CRunSlots& m_slots;
    CRunControl& m_run;
    const PlatformServices& m_services;
    IRunListener& m_listener;
    ThreadLauncher m_launcher;
    // Belongs to one run at a time: started before the workers, reset after them.
    CSectorCopy m_sectorCopy;
    CSlotDrivers m_drivers;

    // Touched by the supervisor's thread only, while a run goes on.
    std::array<std::thread, MAX_DRIVE_SLOTS> m_hWorkers;
    std::array<SlotWorkerParam, MAX_DRIVE_SLOTS> m_params;
    std::thread m_hSupervisor;
};
