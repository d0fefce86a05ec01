#pragma once
// Discovery's and the engines' questions about the bay's drives: the
// described facts, and the free bytes and file system as writes and formats
// have left them. A drive pulled out answers as a letter that never was.

#include "bay/bay_state.h"
#include "platform/volume_queries.h"

class CBayVolumeQueries : public IVolumeQueries {
public:
    explicit CBayVolumeQueries(CBayState& state) : m_state(state) {}

    uint32_t GetLogicalDrives() override;
    uint32_t GetDriveKind(const std::wstring& strDevice) override;
    bool QueryDosDevicePath(const std::wstring& strDevice, std::wstring& strDosPath) override;
    uint32_t QueryBusType(int nDriveIndex) override;
    uint32_t QueryMediaType(int nDriveIndex) override;
    uint64_t GetVolumeTotalBytes(const std::wstring& strPathOnVolume) override;
    uint64_t GetVolumeFreeBytes(const std::wstring& strPathOnVolume) override;
    bool GetFileSystemName(const std::wstring& strPathOnVolume, std::wstring& strName) override;

private:
    const BayDrive* DriveOfIndex(int nDriveIndex) const;
    // "E:", "E:\" or any path on the drive.
    const BayDrive* DriveOfPath(const std::wstring& strPathOnVolume) const;

    CBayState& m_state;
};
