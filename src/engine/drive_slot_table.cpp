#include "engine/drive_slot_table.h"

#include "engine/run_control.h"
#include "engine/storage_class.h"
#include "engine/task_request.h"
#include "platform/drive_paths.h"
#include "platform/slot_views.h"
#include "platform/volume_queries.h"

bool IsOnSourceDrive(const std::wstring& strDevice, const std::wstring& strSourcePath)
{
    const wchar_t chSource = DriveLetterOfPath(strSourcePath);
    return chSource != L'\0' && chSource == DriveLetterOfPath(strDevice);
}

CDriveSlotTable::CDriveSlotTable(IVolumeQueries& volumes, const TaskRequest& request, const CRunControl& run)
    : m_volumes(volumes), m_request(request), m_run(run)
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
    if (m_run.IsRunning())
        return 0;

    m_nDriveCount = 0;
    const uint32_t nMask = m_volumes.GetLogicalDrives();
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
    const wchar_t chLetter = strDevice.size() == 2 ? DriveLetterOfPath(strDevice) : L'\0';
    if (chLetter == L'\0')
        return 0;
    const uint32_t nDriveType = m_volumes.GetDriveKind(chLetter - L'A');
    if (nDriveType != DRIVE_KIND_REMOVABLE && nDriveType != DRIVE_KIND_FIXED)
        return 0;
    if (IsOnSourceDrive(strDevice, m_request.m_strSourcePath))
        return 0;
    std::wstring strDosPath;
    if (!m_volumes.QueryDosDevicePath(chLetter - L'A', strDosPath))
        return 0;
    if (strDosPath.find(L"\\Floppy") != std::wstring::npos)
        return 0;
    if (!IsWritableStorageClass(GetStorageClass(m_volumes, chLetter - L'A')))
        return 0;
    // No media, an unformatted volume or an unreadable file system all read
    // as a total size of 0.
    if (m_volumes.GetVolumeTotalBytes(chLetter - L'A') == 0)
        return 0;
    return 1;
}
