#pragma once
// Discovery's and the engines' questions answered by the system's own drive,
// device and volume calls.

#include "platform/volume_queries.h"

class CWin32VolumeQueries : public IVolumeQueries {
public:
    uint32_t GetLogicalDrives() override;
    uint32_t GetDriveKind(int nDriveIndex) override;
    bool QueryDosDevicePath(int nDriveIndex, std::wstring& strDosPath) override;
    uint32_t QueryBusType(int nDriveIndex) override;
    uint32_t QueryMediaType(int nDriveIndex) override;
    uint64_t GetVolumeTotalBytes(int nDriveIndex) override;
    uint64_t GetVolumeFreeBytes(int nDriveIndex) override;
    bool GetFileSystemName(int nDriveIndex, std::wstring& strName) override;
};
