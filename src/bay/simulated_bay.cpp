#include "bay/simulated_bay.h"

#include <utility>

CSimulatedBay::CSimulatedBay(BayDescription description) : m_description(std::move(description))
{
}

const BayDrive* CSimulatedBay::FindDrive(wchar_t chLetter) const
{
    if (chLetter >= L'a' && chLetter <= L'z')
        chLetter = static_cast<wchar_t>(chLetter - L'a' + L'A');
    for (const BayDrive& drive : m_description.drives) {
        if (drive.chLetter == chLetter)
            return &drive;
    }
    return nullptr;
}

const BayDrive* CSimulatedBay::FindDriveByRoot(const std::wstring& root) const
{
    // "E:" and "E:\" both name the drive, as they do for the system.
    if (root.size() < 2 || root[1] != L':' || (root.size() > 2 && root.substr(2) != L"\\"))
        return nullptr;
    return FindDrive(root[0]);
}

const BayDrive* CSimulatedBay::FindDriveByIndex(int nDriveIndex) const
{
    if (nDriveIndex < 0 || nDriveIndex >= 26)
        return nullptr;
    return FindDrive(static_cast<wchar_t>(L'A' + nDriveIndex));
}

uint32_t CSimulatedBay::GetLogicalDrives()
{
    uint32_t nMask = 0;
    for (const BayDrive& drive : m_description.drives)
        nMask |= 1u << (drive.chLetter - L'A');
    return nMask;
}

uint32_t CSimulatedBay::GetDriveKind(const std::wstring& root)
{
    const BayDrive* pDrive = FindDriveByRoot(root);
    return pDrive != nullptr ? pDrive->nDriveType : DRIVE_KIND_NO_ROOT_DIR;
}

bool CSimulatedBay::QueryDosDevicePath(const std::wstring& root, std::wstring& strDevice)
{
    const BayDrive* pDrive = FindDriveByRoot(root);
    if (pDrive == nullptr)
        return false;
    strDevice = pDrive->strDosDevice;
    return true;
}

uint32_t CSimulatedBay::QueryBusType(int nDriveIndex)
{
    const BayDrive* pDrive = FindDriveByIndex(nDriveIndex);
    return pDrive != nullptr ? pDrive->nBusType : BUS_KIND_UNKNOWN;
}

uint32_t CSimulatedBay::QueryMediaType(int nDriveIndex)
{
    const BayDrive* pDrive = FindDriveByIndex(nDriveIndex);
    return pDrive != nullptr ? pDrive->nMediaType : MEDIA_KIND_UNKNOWN;
}

uint64_t CSimulatedBay::GetVolumeTotalBytes(const std::wstring& root)
{
    const BayDrive* pDrive = FindDriveByRoot(root);
    return pDrive != nullptr ? pDrive->nTotalBytes : 0;
}
