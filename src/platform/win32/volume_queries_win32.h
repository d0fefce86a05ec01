#pragma once
// Discovery's questions answered by the system's own drive and device calls.

#include "platform/volume_queries.h"

class CWin32VolumeQueries : public IVolumeQueries {
public:
    uint32_t GetLogicalDrives() override;
    uint32_t GetDriveKind(const std::wstring& root) override;
    bool QueryDosDevicePath(const std::wstring& root, std::wstring& strDevice) override;
    uint32_t QueryBusType(int nDriveIndex) override;
    uint32_t QueryMediaType(int nDriveIndex) override;
    uint64_t GetVolumeTotalBytes(const std::wstring& root) override;
};
