#include "engine/drive_slot_table.h"

#include "engine/storage_class.h"
#include "engine/task_request.h"
#include "platform/slot_views.h"
#include "platform/volume_queries.h"

namespace {

wchar_t ToUpperAscii(wchar_t ch)
{
    return (ch >= L'a' && ch <= L'z') ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
}

}  // namespace

std::wstring MakeDriveRoot(int nDriveIndex)
{
    return std::wstring{static_cast<wchar_t>(L'A' + nDriveIndex), L':'};
}

bool IsOnSourceDrive(const std::wstring& strRoot, const std::wstring& strSourcePath)
{
    return strSourcePath.size() >= 2 && strRoot.size() >= 2
        && ToUpperAscii(strSourcePath[0]) == ToUpperAscii(strRoot[0])
        && strSourcePath[1] == strRoot[1];
}

CDriveSlotTable::CDriveSlotTable(IVolumeQueries& volumes, const TaskRequest& request)
    : m_volumes(volumes), m_request(request)
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
    if (m_request.IsRunning())
        return 0;

    m_nDriveCount = 0;
    const uint32_t nMask = m_volumes.GetLogicalDrives();
    for (int i = 0; i < MAX_DRIVE_LETTERS && m_nDriveCount < MAX_DRIVE_SLOTS; ++i) {
        if ((nMask & (1u << i)) == 0)
            continue;
        const std::wstring strRoot = MakeDriveRoot(i);
        if (!IsUsableUsbDrive(strRoot))
            continue;
        m_nDriveIndex[m_nDriveCount] = i;
        ShowSlot(m_nDriveCount, strRoot);
        ++m_nDriveCount;
    }
    for (int nSlot = m_nDriveCount; nSlot < MAX_DRIVE_SLOTS; ++nSlot)
        ShowSlot(nSlot, SLOT_EMPTY_LETTER);
    return 1;
}

int CDriveSlotTable::IsUsableUsbDrive(const std::wstring& strRoot)
{
    // The folder picker hands over whatever the shell gives; only a letter
    // and a colon name a drive.
    const wchar_t chLetter = strRoot.size() == 2 ? ToUpperAscii(strRoot[0]) : L'\0';
    if (chLetter < L'A' || chLetter > L'Z' || strRoot[1] != L':')
        return 0;
    const uint32_t nDriveType = m_volumes.GetDriveKind(strRoot);
    if (nDriveType != DRIVE_KIND_REMOVABLE && nDriveType != DRIVE_KIND_FIXED)
        return 0;
    if (IsOnSourceDrive(strRoot, m_request.m_strSourcePath))
        return 0;
    std::wstring strDevice;
    if (!m_volumes.QueryDosDevicePath(strRoot, strDevice))
        return 0;
    if (strDevice.find(L"\\Floppy") != std::wstring::npos)
        return 0;
    if (!IsWritableStorageClass(GetStorageClass(m_volumes, chLetter - L'A')))
        return 0;
    // No media, an unformatted volume or an unreadable file system all read
    // as a total size of 0.
    if (m_volumes.GetVolumeTotalBytes(strRoot) == 0)
        return 0;
    return 1;
}
