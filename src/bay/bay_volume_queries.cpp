#include "bay/bay_volume_queries.h"

#include "platform/drive_paths.h"
#include "platform/system_error.h"

const BayDrive* CBayVolumeQueries::DriveOfIndex(int nDriveIndex) const
{
    if (!IsDriveIndex(nDriveIndex))
        return nullptr;
    return m_state.PresentDrive(static_cast<wchar_t>(L'A' + nDriveIndex));
}

uint32_t CBayVolumeQueries::GetLogicalDrives()
{
    uint32_t nMask = 0;
    for (const BayDrive& drive : m_state.Description().drives) {
        if (m_state.PresentDrive(drive.chLetter) != nullptr)
            nMask |= 1u << (drive.chLetter - L'A');
    }
    return nMask;
}

uint32_t CBayVolumeQueries::GetDriveKind(int nDriveIndex)
{
    const BayDrive* pDrive = DriveOfIndex(nDriveIndex);
    return pDrive != nullptr ? pDrive->nDriveType : DRIVE_KIND_NO_ROOT_DIR;
}

bool CBayVolumeQueries::QueryDosDevicePath(int nDriveIndex, std::wstring& strDosPath)
{
    const BayDrive* pDrive = DriveOfIndex(nDriveIndex);
    // QueryDosDeviceW of a letter that names no device any more.
    if (pDrive == nullptr) {
        SetSeamError(SYSERR_FILE_NOT_FOUND);
        return false;
    }
    strDosPath = pDrive->strDosDevice;
    return true;
}

uint32_t CBayVolumeQueries::QueryBusType(int nDriveIndex)
{
    const BayDrive* pDrive = DriveOfIndex(nDriveIndex);
    return pDrive != nullptr ? pDrive->nBusType : BUS_KIND_UNKNOWN;
}

uint32_t CBayVolumeQueries::QueryMediaType(int nDriveIndex)
{
    const BayDrive* pDrive = DriveOfIndex(nDriveIndex);
    return pDrive != nullptr ? pDrive->nMediaType : MEDIA_KIND_UNKNOWN;
}

uint64_t CBayVolumeQueries::GetVolumeTotalBytes(int nDriveIndex)
{
    const BayDrive* pDrive = DriveOfIndex(nDriveIndex);
    return pDrive != nullptr ? pDrive->nTotalBytes : 0;
}

uint64_t CBayVolumeQueries::GetVolumeFreeBytes(int nDriveIndex)
{
    const BayDrive* pDrive = DriveOfIndex(nDriveIndex);
    return pDrive != nullptr ? m_state.FreeBytes(pDrive->chLetter) : 0;
}

bool CBayVolumeQueries::GetFileSystemName(int nDriveIndex, std::wstring& strName)
{
    const BayDrive* pDrive = DriveOfIndex(nDriveIndex);
    if (pDrive == nullptr) {
        SetSeamError(SYSERR_PATH_NOT_FOUND);
        return false;
    }
    // A drive without media or without a file system.
    if (!m_state.FileSystemName(pDrive->chLetter, strName)) {
        SetSeamError(SYSERR_NOT_READY);
        return false;
    }
    return true;
}
