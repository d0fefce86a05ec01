#include "engine/drive_discovery.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/volume_queries.h"
#include "support/recording_volumes.h"

namespace {

// The facts of one drive as its device would answer them, the run's source,
// and what discovery must make of it.
struct DriveCase {
    const char* pszDrive;
    uint32_t nDriveType;
    const wchar_t* pszDosDevice;   // nullptr: the name does not resolve
    uint32_t nBusType;
    uint32_t nMediaType;
    uint64_t nTotalBytes;
    const wchar_t* pszSource;
    DriveVerdict verdict;
    const char* pszAsked;          // the questions the device was asked, in order
};

// E: answers as its row says; no other letter exists.
class CDriveOfFacts : public IVolumeQueries {
public:
    explicit CDriveOfFacts(const DriveCase& drive) : m_drive(drive) {}

    uint32_t GetLogicalDrives() override { return 1u << E; }
    uint32_t GetDriveKind(int nDriveIndex) override
    {
        return nDriveIndex == E ? m_drive.nDriveType : DRIVE_KIND_NO_ROOT_DIR;
    }
    bool QueryDosDevicePath(int nDriveIndex, std::wstring& strDosPath) override
    {
        if (nDriveIndex != E || m_drive.pszDosDevice == nullptr)
            return false;
        strDosPath = m_drive.pszDosDevice;
        return true;
    }
    uint32_t QueryBusType(int nDriveIndex) override { return nDriveIndex == E ? m_drive.nBusType : 0; }
    uint32_t QueryMediaType(int nDriveIndex) override { return nDriveIndex == E ? m_drive.nMediaType : 0; }
    uint64_t GetVolumeTotalBytes(int nDriveIndex) override { return nDriveIndex == E ? m_drive.nTotalBytes : 0; }
    uint64_t GetVolumeFreeBytes(int) override { return 0; }
    bool GetFileSystemName(int, std::wstring&) override { return false; }

    static constexpr int E = L'E' - L'A';

private:
    const DriveCase& m_drive;
};

// Everything the row's drive would answer, known at once.
DriveFacts AllFactsOf(const DriveCase& drive)
{
    DriveFacts facts;
    facts.nDriveType = drive.nDriveType;
    facts.bHoldsSource = IsOnSourceDrive(L"E:", drive.pszSource);
    facts.bDosDeviceResolved = drive.pszDosDevice != nullptr;
    facts.strDosDevice = drive.pszDosDevice != nullptr ? drive.pszDosDevice : L"";
    facts.nBusType = drive.nBusType;
    facts.nMediaType = drive.nMediaType;
    facts.nTotalBytes = drive.nTotalBytes;
    return facts;
}

constexpr wchar_t VOLUME[] = L"\\Device\\HarddiskVolume5";
constexpr wchar_t FLOPPY[] = L"\\Device\\Floppy0";
constexpr uint64_t GIB = 1073741824;
constexpr char ALL[] = "type dos bus media total";

// Each row is one drive. Rows that fail two rules show which rule comes
// first; the questions show what each rejection spares the device. Learned
// one at a time or known all at once, the facts come to the same verdict.
TEST(DriveDiscoveryTest, EachDriveByItsFacts)
{
    const DriveCase cases[] = {
        {"USB stick", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_USB, MEDIA_KIND_REMOVABLE, 8 * GIB, L"",
         DRIVE_VERDICT_USABLE, ALL},
        {"USB hard disk", DRIVE_KIND_FIXED, VOLUME, BUS_KIND_USB, MEDIA_KIND_FIXED, 1024 * GIB, L"C:\\data",
         DRIVE_VERDICT_USABLE, ALL},
        {"USB stick, source naming no drive", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_USB, MEDIA_KIND_REMOVABLE,
         8 * GIB, L"E", DRIVE_VERDICT_USABLE, ALL},

        {"USB stick holding the source", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_USB, MEDIA_KIND_REMOVABLE, 8 * GIB,
         L"E:\\photos", DRIVE_VERDICT_SOURCE, "type"},
        {"USB stick holding the source, typed in lower case", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_USB,
         MEDIA_KIND_REMOVABLE, 8 * GIB, L"e:\\photos", DRIVE_VERDICT_SOURCE, "type"},
        {"USB stick that is the source volume", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_USB, MEDIA_KIND_REMOVABLE,
         8 * GIB, L"e:", DRIVE_VERDICT_SOURCE, "type"},

        {"DVD drive", DRIVE_KIND_CDROM, VOLUME, BUS_KIND_ATA, MEDIA_KIND_DVD_ROM, 4 * GIB, L"",
         DRIVE_VERDICT_WRONG_TYPE, "type"},
        {"DVD drive holding the source", DRIVE_KIND_CDROM, VOLUME, BUS_KIND_ATA, MEDIA_KIND_DVD_ROM, 4 * GIB,
         L"E:\\", DRIVE_VERDICT_WRONG_TYPE, "type"},
        {"network share", DRIVE_KIND_REMOTE, VOLUME, BUS_KIND_USB, MEDIA_KIND_REMOVABLE, 2 * GIB, L"",
         DRIVE_VERDICT_WRONG_TYPE, "type"},
        {"RAM disk", DRIVE_KIND_RAMDISK, VOLUME, BUS_KIND_USB, MEDIA_KIND_FIXED, 2 * GIB, L"",
         DRIVE_VERDICT_WRONG_TYPE, "type"},
        {"letter without a root", DRIVE_KIND_NO_ROOT_DIR, VOLUME, BUS_KIND_USB, MEDIA_KIND_REMOVABLE, 2 * GIB, L"",
         DRIVE_VERDICT_WRONG_TYPE, "type"},
        {"drive type unknown", DRIVE_KIND_UNKNOWN, VOLUME, BUS_KIND_USB, MEDIA_KIND_REMOVABLE, 2 * GIB, L"",
         DRIVE_VERDICT_WRONG_TYPE, "type"},

        {"device name that does not resolve", DRIVE_KIND_REMOVABLE, nullptr, BUS_KIND_USB, MEDIA_KIND_REMOVABLE,
         8 * GIB, L"", DRIVE_VERDICT_NO_DOS_DEVICE, "type dos"},
        {"USB floppy drive", DRIVE_KIND_REMOVABLE, FLOPPY, BUS_KIND_USB, MEDIA_KIND_REMOVABLE, 1474560, L"",
         DRIVE_VERDICT_FLOPPY, "type dos"},
        {"floppy drive whose bus cannot be asked", DRIVE_KIND_REMOVABLE, FLOPPY, BUS_KIND_UNKNOWN,
         MEDIA_KIND_UNKNOWN, 0, L"", DRIVE_VERDICT_FLOPPY, "type dos"},
        {"floppy drive holding the source", DRIVE_KIND_REMOVABLE, FLOPPY, BUS_KIND_USB, MEDIA_KIND_REMOVABLE,
         1474560, L"e:\\", DRIVE_VERDICT_SOURCE, "type"},

        {"bus query fails", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_UNKNOWN, MEDIA_KIND_REMOVABLE, 8 * GIB, L"",
         DRIVE_VERDICT_NOT_USB, "type dos bus"},
        {"bus query fails, no media", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_UNKNOWN, MEDIA_KIND_REMOVABLE, 0, L"",
         DRIVE_VERDICT_NOT_USB, "type dos bus"},
        {"internal SATA disk", DRIVE_KIND_FIXED, VOLUME, BUS_KIND_SATA, MEDIA_KIND_FIXED, 256 * GIB, L"",
         DRIVE_VERDICT_NOT_USB, "type dos bus media"},
        {"internal NVMe disk", DRIVE_KIND_FIXED, VOLUME, BUS_KIND_NVME, MEDIA_KIND_FIXED, 512 * GIB, L"",
         DRIVE_VERDICT_NOT_USB, "type dos bus media"},
        {"SD card reader", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_SD, MEDIA_KIND_REMOVABLE, 32 * GIB, L"",
         DRIVE_VERDICT_NOT_USB, "type dos bus media"},
        {"SD card reader without a card", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_SD, MEDIA_KIND_REMOVABLE, 0, L"",
         DRIVE_VERDICT_NOT_USB, "type dos bus media"},
        {"removable media on SCSI", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_SCSI, MEDIA_KIND_REMOVABLE, 8 * GIB, L"",
         DRIVE_VERDICT_NOT_USB, "type dos bus media"},
        {"USB device whose media cannot be asked", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_USB, MEDIA_KIND_UNKNOWN,
         8 * GIB, L"", DRIVE_VERDICT_NOT_USB, "type dos bus media"},
        {"USB device of media type 13", DRIVE_KIND_FIXED, VOLUME, BUS_KIND_USB, 13, 8 * GIB, L"",
         DRIVE_VERDICT_NOT_USB, "type dos bus media"},
        {"USB DVD drive reporting a removable drive", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_USB,
         MEDIA_KIND_DVD_ROM, 4 * GIB, L"", DRIVE_VERDICT_NOT_USB, "type dos bus media"},

        {"USB stick without media", DRIVE_KIND_REMOVABLE, VOLUME, BUS_KIND_USB, MEDIA_KIND_REMOVABLE, 0, L"",
         DRIVE_VERDICT_NO_VOLUME, ALL},
        {"unformatted USB hard disk", DRIVE_KIND_FIXED, VOLUME, BUS_KIND_USB, MEDIA_KIND_FIXED, 0, L"",
         DRIVE_VERDICT_NO_VOLUME, ALL},
    };
    for (const DriveCase& c : cases) {
        CDriveOfFacts drive(c);
        CRecordingVolumes volumes(&drive);
        EXPECT_EQ(c.verdict, ExamineDrive(volumes, CDriveOfFacts::E, c.pszSource)) << c.pszDrive;
        EXPECT_EQ(c.pszAsked, volumes.AskedOf(L'E')) << c.pszDrive;
        EXPECT_EQ(c.verdict, DecideDrive(AllFactsOf(c)).verdict) << c.pszDrive;
    }
}

}  // namespace
