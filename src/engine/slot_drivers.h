#pragma once
// What one worker does for its slot: the driver of the run's task checks its
// drive, calls the engine and writes the slot's result.

#include "engine/slot_failure.h"
#include <string>

#include "platform/platform_services.h"

class CRunControl;
class CRunSlots;
class CSectorCopy;
struct TaskRequest;

class CSlotDrivers {
public:
    CSlotDrivers(const TaskRequest& request, const CRunSlots& slots, CRunControl& run,
                 const PlatformServices& services, CSectorCopy& sectorCopy);

    // The driver of the request's task; a task of -1 (no task radio checked)
    // runs none, leaves the slot's status empty and returns 0.
    int RunTask(int nSlot);

    // Each returns 1 on success and 0 otherwise, and has set the slot's
    // result by then.
    int RunFileCopy(int nSlot);
    int RunSectorCopy(int nSlot);
    int RunFormat(int nSlot);

    int SetSlotResult(int nSlot, int nCode);

    // The code a slot shows when its worker failed in a way no driver
    // reports (the worker's body threw).
    int GetTaskFailureCode() const;

private:
    std::wstring GetSlotRoot(int nSlot) const;
    int EndWithSuccess(int nSlot);
    // The reason is kept for the slot before its code shows, so whoever
    // sees the code finds it; a cancel keeps none.
    int EndWithFailure(int nSlot, int nFailureCode, const SlotFailure& reason = SlotFailure{});
    int EndWithCode(int nSlot, int nCode, const SlotFailure& reason = SlotFailure{});

    const TaskRequest& m_request;
    const CRunSlots& m_slots;
    CRunControl& m_run;
    const PlatformServices& m_services;
    CSectorCopy& m_sectorCopy;
};
