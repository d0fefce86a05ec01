#pragma once
// Discovery's and the engines' questions answered by the system's own drive,
// device and volume calls.

#include "platform/volume_queries.h"

class CWin32VolumeQueries : public IVolumeQueries {
public:
    uint32_t GetLogicalDrives() override;
    uint32_t GetDriveKind(const std::wstring& strDevice) override;
    bool QueryDosDevicePath(const std::wstring& strDevice, std::wstring& strDosPath) override;
    uint32_t QueryBusType(int nDriveIndex) override;
    uint32_t QueryMediaType(int nDriveIndex) override;
    uint64_t GetVolumeTotalBytes(const std::wstring& strPathOnVolume) override;
    uint64_t GetVolumeFreeBytes(const std::wstring& strPathOnVolume) override;
    bool GetFileSystemName(const std::wstring& strPathOnVolume, std::wstring& strName) override;
};
