#pragma once
// Passes discovery's queries on to another implementation and notes which
// drives were asked about, so tests can tell what a scan examined; a test
// may also act at the moment a drive's free bytes are asked for.

#include <functional>
#include <string>
#include <vector>

#include "platform/volume_queries.h"

class CRecordingVolumes : public IVolumeQueries {
public:
    explicit CRecordingVolumes(IVolumeQueries* pInner) : m_pInner(pInner) {}

    void SetInner(IVolumeQueries* pInner) { m_pInner = pInner; }

    uint32_t GetLogicalDrives() override { return m_pInner->GetLogicalDrives(); }
    uint32_t GetDriveKind(const std::wstring& strDevice) override
    {
        m_driveTypeRoots.push_back(strDevice);
        return m_pInner->GetDriveKind(strDevice);
    }
    bool QueryDosDevicePath(const std::wstring& strDevice, std::wstring& strDosPath) override
    {
        return m_pInner->QueryDosDevicePath(strDevice, strDosPath);
    }
    uint32_t QueryBusType(int nDriveIndex) override { return m_pInner->QueryBusType(nDriveIndex); }
    uint32_t QueryMediaType(int nDriveIndex) override
    {
        m_mediaQueries.push_back(nDriveIndex);
        return m_pInner->QueryMediaType(nDriveIndex);
    }
    uint64_t GetVolumeTotalBytes(const std::wstring& strPath) override { return m_pInner->GetVolumeTotalBytes(strPath); }
    uint64_t GetVolumeFreeBytes(const std::wstring& strPath) override
    {
        if (m_onFreeBytesAsked)
            m_onFreeBytesAsked(strPath);
        return m_pInner->GetVolumeFreeBytes(strPath);
    }
    bool GetFileSystemName(const std::wstring& strPath, std::wstring& strName) override
    {
        return m_pInner->GetFileSystemName(strPath, strName);
    }

    std::vector<std::wstring> m_driveTypeRoots;
    std::vector<int> m_mediaQueries;
    std::function<void(const std::wstring& strPath)> m_onFreeBytesAsked;

private:
    IVolumeQueries* m_pInner;
};
