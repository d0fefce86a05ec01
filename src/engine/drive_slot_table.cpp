#include "engine/drive_slot_table.h"

#include "engine/drive_discovery.h"
#include "engine/task_request.h"
#include "platform/drive_paths.h"
#include "platform/slot_views.h"
#include "platform/volume_queries.h"

CDriveSlotTable::CDriveSlotTable(IVolumeQueries& volumes, const TaskRequest& request, const IRunPresence& runs)
    : m_volumes(volumes), m_request(request), m_runs(runs)
{
}

void CDriveSlotTable::BindSlot(int nSlot, ITextView& letter, IProgressView& progress, ITextView& status)
{
    m_pDriveLetter[nSlot] = &letter;
    m_pProgress[nSlot] = &progress;
    m_pStatus[nSlot] = &status;
}

void CDriveSlotTable::ShowSlot(int nSlot, const std::wstring& strLetter)
{
    m_pDriveLetter[nSlot]->SetText(strLetter);
    m_pProgress[nSlot]->SetPos(0);
    m_pStatus[nSlot]->SetText(std::wstring());
}

int CDriveSlotTable::RefreshDriveSlots()
{
    if (m_runs.IsRunActive())
        return 0;

    m_nDriveCount = 0;
    m_failures.Clear();
    const uint32_t nMask = m_volumes.GetLogicalDrives();
    // Letters past the last slot's drive are not examined: there is no slot
    // for them, and their questions would only cost time.
    for (int i = 0; i < MAX_DRIVE_LETTERS && m_nDriveCount < MAX_DRIVE_SLOTS; ++i) {
        if ((nMask & (1u << i)) == 0)
            continue;
        const std::wstring strDevice = MakeDriveDevice(i);
        if (!IsUsableUsbDrive(strDevice))
            continue;
        m_nDriveIndex[m_nDriveCount] = i;
        ShowSlot(m_nDriveCount, strDevice);
        ++m_nDriveCount;
    }
    for (int nSlot = m_nDriveCount; nSlot < MAX_DRIVE_SLOTS; ++nSlot)
        ShowSlot(nSlot, SLOT_EMPTY_LETTER);
    return 1;
}

int CDriveSlotTable::IsUsableUsbDrive(const std::wstring& strDevice)
{
    // The folder picker hands over whatever the shell gives; only a letter
    // and a colon name a drive.
    const int nDriveIndex = strDevice.size() == 2 ? DriveIndexOfPath(strDevice) : NO_DRIVE_INDEX;
    if (nDriveIndex == NO_DRIVE_INDEX)
        return 0;
    return ExamineDrive(m_volumes, nDriveIndex, m_request.m_strSourcePath) == DRIVE_VERDICT_USABLE ? 1 : 0;
}
