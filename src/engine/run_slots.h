#pragma once
// The filled slots of one run as Start found them: each drive's index and
// the views its worker moves. Taken when the run is made, so what a worker
// works on cannot change during the run, whatever happens to the dialog's
// table.

#include <array>

#include "engine/drive_slot_table.h"

class CRunSlots {
public:
    explicit CRunSlots(const CDriveSlotTable& table)
        : m_nDriveCount(table.GetDriveCount()), m_failures(table.GetFailures())
    {
        for (int i = 0; i < m_nDriveCount; ++i)
            m_slots[i] = {table.GetDriveIndex(i), &table.GetProgressView(i), &table.GetStatusView(i)};
    }

    int GetDriveCount() const { return m_nDriveCount; }
    int GetDriveIndex(int nSlot) const { return m_slots[nSlot].nDriveIndex; }
    IProgressView& GetProgressView(int nSlot) const { return *m_slots[nSlot].pProgress; }
    ITextView& GetStatusView(int nSlot) const { return *m_slots[nSlot].pStatus; }
    // The table's record: the slots are the table's, and so is why they failed.
    CSlotFailures& GetFailures() const { return m_failures; }

private:
    struct Slot {
        int nDriveIndex = 0;
        IProgressView* pProgress = nullptr;
        ITextView* pStatus = nullptr;
    };
    int m_nDriveCount;
    CSlotFailures& m_failures;
    std::array<Slot, MAX_DRIVE_SLOTS> m_slots{};
};
