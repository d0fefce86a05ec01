#pragma once
// The 22 drive slots of the main dialog and the scan that fills them with the
// USB drives a task may write.

#include <array>
#include <string>

#include "engine/slot_failure.h"

class IProgressView;
class ITextView;
class IVolumeQueries;
struct TaskRequest;

constexpr int MAX_DRIVE_SLOTS = 22;
static_assert(SLOT_FAILURE_SLOTS == MAX_DRIVE_SLOTS, "a failure record for every slot");
constexpr int MAX_DRIVE_LETTERS = 26;

constexpr wchar_t SLOT_EMPTY_LETTER[] = L"--";

// Whether a run exists now: the slots of a run must stay as they are.
class IRunPresence {
public:
    virtual ~IRunPresence() = default;
    virtual bool IsRunActive() const = 0;
};

class CDriveSlotTable {
public:
    // The table reads the request's source (its drive is never a target)
    // and asks whether a run exists before every scan.
    CDriveSlotTable(IVolumeQueries& volumes, const TaskRequest& request, const IRunPresence& runs);

    CDriveSlotTable(const CDriveSlotTable&) = delete;
    CDriveSlotTable& operator=(const CDriveSlotTable&) = delete;

    void BindSlot(int nSlot, ITextView& letter, IProgressView& progress, ITextView& status);

    // Rewrites the whole table. Returns 0 and touches nothing while a run
    // exists, so the slots the workers use stay fixed.
    int RefreshDriveSlots();

    // The device: letter and colon. 1 when the drive may be a target of the
    // next run (see drive_discovery.h).
    int IsUsableUsbDrive(const std::wstring& strDevice);

    int GetDriveCount() const { return m_nDriveCount; }
    int GetDriveIndex(int nSlot) const { return m_nDriveIndex[nSlot]; }
    IProgressView& GetProgressView(int nSlot) const { return *m_pProgress[nSlot]; }
    ITextView& GetStatusView(int nSlot) const { return *m_pStatus[nSlot]; }
    // Why each slot's drive failed in the last run; cleared by every scan
    // that rewrites the table. The run's workers write it.
    CSlotFailures& GetFailures() const { return m_failures; }

private:
    void ShowSlot(int nSlot, const std::wstring& strLetter);

    IVolumeQueries& m_volumes;
    const TaskRequest& m_request;
    const IRunPresence& m_runs;
    std::array<ITextView*, MAX_DRIVE_SLOTS> m_pDriveLetter{};
    std::array<IProgressView*, MAX_DRIVE_SLOTS> m_pProgress{};
    std::array<ITextView*, MAX_DRIVE_SLOTS> m_pStatus{};
    std::array<int, MAX_DRIVE_SLOTS> m_nDriveIndex{};
    int m_nDriveCount = 0;
    mutable CSlotFailures m_failures;
};
