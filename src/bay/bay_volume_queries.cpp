#include "bay/bay_volume_queries.h"

const BayDrive* CBayVolumeQueries::DriveOfIndex(int nDriveIndex) const
{
    if (nDriveIndex < 0 || nDriveIndex >= 26)
        return nullptr;
    return m_state.PresentDrive(static_cast<wchar_t>(L'A' + nDriveIndex));
}

const BayDrive* CBayVolumeQueries::DriveOfPath(const std::wstring& strPathOnVolume) const
{
    const BayPath path = m_state.Resolve(strPathOnVolume);
    return path.kind == BayPathKind::Drive ? path.pDrive : nullptr;
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

uint32_t CBayVolumeQueries::GetDriveKind(const std::wstring& strDevice)
{
    const BayDrive* pDrive = m_state.PresentDriveOfDevice(strDevice);
    return pDrive != nullptr ? pDrive->nDriveType : DRIVE_KIND_NO_ROOT_DIR;
}

bool CBayVolumeQueries::QueryDosDevicePath(const std::wstring& strDevice, std::wstring& strDosPath)
{
    const BayDrive* pDrive = m_state.PresentDriveOfDevice(strDevice);
    if (pDrive == nullptr)
        return false;
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

uint64_t CBayVolumeQueries::GetVolumeTotalBytes(const std::wstring& strPathOnVolume)
{
    const BayDrive* pDrive = DriveOfPath(strPathOnVolume);
    return pDrive != nullptr ? pDrive->nTotalBytes : 0;
}

uint64_t CBayVolumeQueries::GetVolumeFreeBytes(const std::wstring& strPathOnVolume)
{
    const BayDrive* pDrive = DriveOfPath(strPathOnVolume);
    return pDrive != nullptr ? m_state.FreeBytes(pDrive->chLetter) : 0;
}

bool CBayVolumeQueries::GetFileSystemName(const std::wstring& strPathOnVolume, std::wstring& strName)
{
    const BayDrive* pDrive = DriveOfPath(strPathOnVolume);
    return pDrive != nullptr && m_state.FileSystemName(pDrive->chLetter, strName);
}
