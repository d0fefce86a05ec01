#pragma once
// One run: a supervisor thread that starts one worker per filled slot, waits
// for all of them by polling, and reports the end of the run to the UI
// thread, which then calls FinishRun. The supervisor owns the workers and
// their parameters for the length of the run.

#include <array>
#include <atomic>
#include <thread>

#include "engine/drive_slot_table.h"
#include "engine/sector_copy.h"
#include "engine/slot_drivers.h"
#include "engine/thread_launcher.h"

class CRunControl;
struct TaskRequest;

class IRunListener {
public:
    virtual ~IRunListener() = default;
    // From the supervisor's thread, as its last act. The UI thread answers
    // with CTaskSupervisor::FinishRun.
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
    CTaskSupervisor(const TaskRequest& request, CDriveSlotTable& slots, CRunControl& run,
                    const PlatformServices& services, IRunListener& listener,
                    ThreadLauncher launcher = LaunchThread, RingAllocator allocator = AllocateRing);
    ~CTaskSupervisor();

    CTaskSupervisor(const CTaskSupervisor&) = delete;
    CTaskSupervisor& operator=(const CTaskSupervisor&) = delete;

    // UI thread, with the request filled and the slots freshly scanned.
    // Clears the cancel flag and starts the supervisor; 0 when its thread
    // cannot be started, for whatever reason, and no run exists then.
    int Start();

    // UI thread, once the listener has reported the end: from here a scan
    // and a new Start are accepted again.
    void FinishRun();

    // Workers whose driver has not returned yet.
    int CountLiveWorkers() const;

private:
    void TaskSupervisorProc();
    void RunWorkersToTheEnd();
    void SlotWorkerProc(SlotWorkerParam& param);

    const TaskRequest& m_request;
    CDriveSlotTable& m_slots;
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
