#pragma once
// A drive bay made of folders and image files, answering the system queries
// that discovery makes as its description says a real machine would.

#include "bay/bay_description.h"
#include "platform/volume_queries.h"

class CSimulatedBay : public IVolumeQueries {
public:
    explicit CSimulatedBay(BayDescription description);

    uint32_t GetLogicalDrives() override;
    uint32_t GetDriveKind(const std::wstring& root) override;
    bool QueryDosDevicePath(const std::wstring& root, std::wstring& strDevice) override;
    uint32_t QueryBusType(int nDriveIndex) override;
    uint32_t QueryMediaType(int nDriveIndex) override;
    uint64_t GetVolumeTotalBytes(const std::wstring& root) override;

private:
    const BayDrive* FindDrive(wchar_t chLetter) const;
    const BayDrive* FindDriveByRoot(const std::wstring& root) const;
    const BayDrive* FindDriveByIndex(int nDriveIndex) const;

    BayDescription m_description;
};
