#pragma once
// Where a new FAT32 volume's structures go and what their sectors hold, by
// Microsoft's "FAT: General Overview of On-Disk Format":
// 32 reserved sectors with the boot sector at 0, FSInfo at 1 and their
// backups at 6 and 7; two FATs; the root directory in cluster 2, the first
// of the data area. Pure arithmetic and bytes: fat32_format writes them.

#include <array>
#include <cstdint>
#include <string>

class IOemText;

constexpr uint32_t FAT32_RESERVED_SECTORS = 32;
constexpr uint32_t FAT32_FAT_COUNT = 2;
constexpr uint32_t FAT32_FSINFO_SECTOR = 1;
constexpr uint32_t FAT32_BACKUP_BOOT_SECTOR = 6;
constexpr uint32_t FAT32_ROOT_CLUSTER = 2;
constexpr uint8_t FAT32_MEDIA_FIXED = 0xF8;
// 32 KiB is what Microsoft's table of FAT32 cluster sizes gives for
// every volume above 32 GB, and it keeps the count of clusters of a 2 TiB
// volume (64 Mi) well inside FAT32's range: the FATs of a 64 GiB stick take
// 16 MiB, which is all a quick format writes.
constexpr uint32_t FAT32_CLUSTER_BYTES = 32768;
// Fewer clusters and every FAT driver takes the volume for FAT16; more and
// cluster numbers reach the values reserved for bad and last clusters.
constexpr uint32_t FAT32_MIN_CLUSTERS = 65525;
constexpr uint32_t FAT32_MAX_CLUSTERS = 0x0FFFFFF5 - 2;
constexpr size_t FAT32_LABEL_BYTES = 11;
constexpr size_t FAT32_DIR_ENTRY_BYTES = 32;

struct Fat32Geometry {
    uint32_t m_nBytesPerSector = 0;
    uint32_t m_nSectorsPerCluster = 0;
    uint32_t m_nTotalSectors = 0;
    uint32_t m_nFatSectors = 0;
    uint32_t m_nClusterCount = 0;
    uint32_t m_nHiddenSectors = 0;

    uint64_t ReservedBytes() const { return uint64_t{FAT32_RESERVED_SECTORS} * m_nBytesPerSector; }
    uint64_t FatBytes() const { return uint64_t{m_nFatSectors} * m_nBytesPerSector; }
    uint32_t ClusterBytes() const { return m_nSectorsPerCluster * m_nBytesPerSector; }
    // Everything a quick format writes: reserved sectors, both FATs and the
    // root directory's cluster, one run from the volume's first byte.
    uint64_t FormatBytes() const { return ReservedBytes() + FAT32_FAT_COUNT * FatBytes() + ClusterBytes(); }
};

// False when the volume cannot hold FAT32 with our cluster size: its
// sectors do not fit the boot sector's 32-bit count, the sector size is not
// one FAT knows (512 to 4096), the partition starts past what the hidden
// sectors can count, or the clusters are too few or too many.
bool ComputeFat32Geometry(uint64_t nVolumeBytes, uint32_t nBytesPerSector, uint64_t nPartitionOffset,
                          Fat32Geometry& geometry);

// The label as the volume stores it: upper case, OEM code page, padded
// with spaces; bEmpty when it holds no character but spaces. False for a
// character FAT forbids in a label, one the OEM code page lacks, or an OEM
// form longer than 11 bytes.
struct Fat32Label {
    std::array<char, FAT32_LABEL_BYTES> m_bytes{};
    bool m_bEmpty = true;
};
bool MakeFat32Label(const std::wstring& strLabel, IOemText& oemText, Fat32Label& label);

// A FAT directory entry's date and time (local time as FAT keeps it is not
// to be had thread-safely on both toolchains: the core stamps UTC).
struct FatTimestamp {
    uint16_t m_nDate = 0;
    uint16_t m_nTime = 0;
};
FatTimestamp MakeFatTimestamp(int64_t nUnixSeconds);

// From the time of the format, in 100 ns units, and the drive: 22 sticks
// formatted in the same instant still get serials of their own, which
// devices that remember a stick by its serial need.
uint32_t MakeVolumeSerial(uint64_t nTicks, int nDriveIndex);

// Each fills a zeroed buffer of one sector (m_nBytesPerSector bytes).
void BuildFat32BootSector(const Fat32Geometry& geometry, uint32_t nSerial, const Fat32Label& label,
                          uint8_t* pSector);
void BuildFat32FsInfo(const Fat32Geometry& geometry, uint8_t* pSector);
// The FAT's first sector: entries 0 and 1 reserved, entry 2 the root
// directory's one-cluster chain.
void BuildFat32FirstFatSector(uint8_t* pSector);
// The root directory's cluster (ClusterBytes(), zeroed): the label's entry,
// none for an empty label.
void BuildFat32RootCluster(const Fat32Label& label, FatTimestamp stamp, uint8_t* pCluster);
