#pragma once
// What discovery and the engines ask the system about drive letters, their
// devices and their volumes. The Windows implementation makes the exact
// device calls; the simulated bay answers from its description.
//
// Every question names its drive by index (0 for A:, 25 for Z:): the bit
// of GetLogicalDrives, the number the scan walks and the slot table keeps.
// The system's calls each take a form of their own (a root "E:\" for the
// drive type and the volume's size and name, "E:" for the DOS device,
// "\\.\E:" for the storage queries), so no one string would suit them
// all: each implementation builds from the index exactly the form each call
// takes, and no caller can hand over the wrong one. The engines hold roots
// and folders; they turn a path into its drive's index with
// DriveIndexOfPath, so which volume a folder lies on is decided in the core,
// once, and not again by every implementation. An index outside 0..25 names
// no drive and gets each question's failure answer, so NO_DRIVE_INDEX, what
// a path naming no drive (a share, a relative path) gives, can be passed on
// as it is.

#include <cstdint>
#include <string>

// GetDriveTypeW results that discovery distinguishes.
constexpr uint32_t DRIVE_KIND_UNKNOWN = 0;
constexpr uint32_t DRIVE_KIND_NO_ROOT_DIR = 1;
constexpr uint32_t DRIVE_KIND_REMOVABLE = 2;
constexpr uint32_t DRIVE_KIND_FIXED = 3;
constexpr uint32_t DRIVE_KIND_REMOTE = 4;
constexpr uint32_t DRIVE_KIND_CDROM = 5;
constexpr uint32_t DRIVE_KIND_RAMDISK = 6;

// STORAGE_BUS_TYPE values.
constexpr uint32_t BUS_KIND_UNKNOWN = 0;
constexpr uint32_t BUS_KIND_SCSI = 1;
constexpr uint32_t BUS_KIND_ATA = 3;
constexpr uint32_t BUS_KIND_USB = 7;
constexpr uint32_t BUS_KIND_SATA = 11;
constexpr uint32_t BUS_KIND_SD = 12;
constexpr uint32_t BUS_KIND_NVME = 17;

// MEDIA_TYPE / STORAGE_MEDIA_TYPE values.
constexpr uint32_t MEDIA_KIND_UNKNOWN = 0;
constexpr uint32_t MEDIA_KIND_REMOVABLE = 11;
constexpr uint32_t MEDIA_KIND_FIXED = 12;
constexpr uint32_t MEDIA_KIND_CD_ROM = 51;
constexpr uint32_t MEDIA_KIND_CD_R = 52;
constexpr uint32_t MEDIA_KIND_CD_RW = 53;
constexpr uint32_t MEDIA_KIND_DVD_ROM = 54;
constexpr uint32_t MEDIA_KIND_DVD_R = 55;
constexpr uint32_t MEDIA_KIND_DVD_RW = 56;

class IVolumeQueries {
public:
    virtual ~IVolumeQueries() = default;

    // Bit i set: drive letter 'A' + i exists.
    virtual uint32_t GetLogicalDrives() = 0;
    // GetDriveTypeW of the drive's root; DRIVE_KIND_NO_ROOT_DIR for no drive.
    virtual uint32_t GetDriveKind(int nDriveIndex) = 0;
    // The DOS device path behind the drive ("\Device\HarddiskVolume5");
    // false when the name cannot be resolved.
    virtual bool QueryDosDevicePath(int nDriveIndex, std::wstring& strDosPath) = 0;
    // STORAGE_BUS_TYPE of the drive's device; 0 on any failure.
    virtual uint32_t QueryBusType(int nDriveIndex) = 0;
    // Media type of the drive's device; 0 on any failure.
    virtual uint32_t QueryMediaType(int nDriveIndex) = 0;
    // Total size of the drive's volume (its file system's capacity); 0 when
    // there is no readable volume.
    virtual uint64_t GetVolumeTotalBytes(int nDriveIndex) = 0;
    // Free bytes of the whole volume, whatever the caller's quota; 0 when
    // they cannot be asked.
    virtual uint64_t GetVolumeFreeBytes(int nDriveIndex) = 0;
    // The volume's file-system name ("FAT32", "NTFS"); false when it cannot
    // be read.
    virtual bool GetFileSystemName(int nDriveIndex, std::wstring& strName) = 0;
};
