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
    uint32_t GetDriveKind(int nDriveIndex) override;
    bool QueryDosDevicePath(int nDriveIndex, std::wstring& strDosPath) override;
    uint32_t QueryBusType(int nDriveIndex) override;
    uint32_t QueryMediaType(int nDriveIndex) override;
    uint64_t GetVolumeTotalBytes(int nDriveIndex) override;
    uint64_t GetVolumeFreeBytes(int nDriveIndex) override;
    bool GetFileSystemName(int nDriveIndex, std::wstring& strName) override;

private:
    const BayDrive* DriveOfIndex(int nDriveIndex) const;

    CBayState& m_state;
};
