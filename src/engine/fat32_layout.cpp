#include "engine/fat32_layout.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <limits>

#include "platform/oem_text.h"

namespace {

// How a volume with a BIOS geometry of its own is described; a stick has
// none, and these are the values every partitioning tool uses for LBA.
constexpr uint16_t FAT32_SECTORS_PER_TRACK = 63;
constexpr uint16_t FAT32_HEAD_COUNT = 255;
constexpr uint8_t FAT32_DRIVE_NUMBER = 0x80;
constexpr uint8_t FAT32_EXTENDED_BOOT_SIGNATURE = 0x29;
constexpr uint8_t FAT_ATTR_VOLUME_ID = 0x08;
// A name's first byte of 0xE5 marks a free entry: a label that starts with
// that byte (a Kanji lead byte) is stored with 0x05 in its place.
constexpr uint8_t FAT_NAME_FREE = 0xE5;
constexpr uint8_t FAT_NAME_E5_STAND_IN = 0x05;

constexpr uint32_t FSINFO_LEAD_SIGNATURE = 0x41615252;
constexpr uint32_t FSINFO_STRUCT_SIGNATURE = 0x61417272;
constexpr uint32_t FSINFO_TRAIL_SIGNATURE = 0xAA550000;

constexpr uint32_t FAT32_ENTRY_MASK = 0x0FFFFFFF;
// Entry 1's two high bits say the volume was shut down cleanly and had no
// disk error; the rest, like the end of the root directory's chain, are the
// last-cluster mark.
constexpr uint32_t FAT32_END_OF_CHAIN = 0x0FFFFFFF;

void Put16(uint8_t* p, uint32_t nValue)
{
    p[0] = static_cast<uint8_t>(nValue);
    p[1] = static_cast<uint8_t>(nValue >> 8);
}

void Put32(uint8_t* p, uint32_t nValue)
{
    Put16(p, nValue);
    Put16(p + 2, nValue >> 16);
}

bool IsForbiddenInLabel(wchar_t ch)
{
    static const wchar_t kForbidden[] = L"*?.,;:/\\|+=<>[]\"";
    return ch < 0x20 || std::wcschr(kForbidden, ch) != nullptr;
}

}  // namespace

bool ComputeFat32Geometry(uint64_t nVolumeBytes, uint32_t nBytesPerSector, uint64_t nPartitionOffset,
                          Fat32Geometry& geometry)
{
    if (nBytesPerSector != 512 && nBytesPerSector != 1024 && nBytesPerSector != 2048 && nBytesPerSector != 4096)
        return false;
    const uint64_t nSectors = nVolumeBytes / nBytesPerSector;
    const uint64_t nHidden = nPartitionOffset / nBytesPerSector;
    constexpr uint64_t nMaxCount = std::numeric_limits<uint32_t>::max();
    // A 2 TiB volume of 512-byte sectors is one sector more than the boot
    // sector can count: the file system ends one sector short of it, as it
    // would end where a partition told it to. Anything longer is refused.
    if (nSectors > nMaxCount + 1 || nHidden > nMaxCount)
        return false;
    const uint64_t nTotal = std::min(nSectors, nMaxCount);
    const uint64_t nPerCluster = FAT32_CLUSTER_BYTES / nBytesPerSector;
    const uint64_t nEntriesPerSector = nBytesPerSector / 4;
    if (nTotal <= FAT32_RESERVED_SECTORS)
        return false;
    // The smallest FAT that holds an entry for every cluster left beside
    // both copies of itself, and the two reserved entries: with F sectors
    // per FAT, clusters = (total - reserved - 2F) / per-cluster, and
    // F * entries-per-sector must reach clusters + 2. Solved for F, this is
    // Microsoft's own estimate with the reserved entries counted.
    const uint64_t nFatSectors = (nTotal - FAT32_RESERVED_SECTORS + 2 * nPerCluster + nEntriesPerSector * nPerCluster
                                  + FAT32_FAT_COUNT - 1)
                                 / (nEntriesPerSector * nPerCluster + FAT32_FAT_COUNT);
    const uint64_t nSystemSectors = FAT32_RESERVED_SECTORS + FAT32_FAT_COUNT * nFatSectors;
    if (nTotal <= nSystemSectors + nPerCluster)
        return false;
    const uint64_t nClusters = (nTotal - nSystemSectors) / nPerCluster;
    if (nClusters < FAT32_MIN_CLUSTERS || nClusters > FAT32_MAX_CLUSTERS
        || nFatSectors * nEntriesPerSector < nClusters + 2)
        return false;
    geometry.m_nBytesPerSector = nBytesPerSector;
    geometry.m_nSectorsPerCluster = static_cast<uint32_t>(nPerCluster);
    geometry.m_nTotalSectors = static_cast<uint32_t>(nTotal);
    geometry.m_nFatSectors = static_cast<uint32_t>(nFatSectors);
    geometry.m_nClusterCount = static_cast<uint32_t>(nClusters);
    geometry.m_nHiddenSectors = static_cast<uint32_t>(nHidden);
    return true;
}

bool MakeFat32Label(const std::wstring& strLabel, IOemText& oemText, Fat32Label& label)
{
    // Checked on the text, not on its OEM bytes: in a double-byte code page
    // a character's second byte may well be a backslash.
    if (std::any_of(strLabel.begin(), strLabel.end(), IsForbiddenInLabel))
        return false;
    std::string strOem;
    if (!oemText.ToOemUpperCase(strLabel, strOem))
        return false;
    while (!strOem.empty() && strOem.back() == ' ')
        strOem.pop_back();
    if (strOem.size() > FAT32_LABEL_BYTES)
        return false;
    label.m_bytes.fill(' ');
    std::copy(strOem.begin(), strOem.end(), label.m_bytes.begin());
    label.m_bEmpty = strOem.empty();
    return true;
}

FatTimestamp MakeFatTimestamp(int64_t nUnixSeconds)
{
    // FAT dates begin in 1980 and end in 2107; a clock outside them gets
    // the nearest end rather than a date that wraps.
    constexpr int64_t nFirst = 315532800;     // 1980-01-01
    constexpr int64_t nLast = 4354819199;     // 2107-12-31 23:59:59
    const int64_t nSeconds = std::clamp(nUnixSeconds, nFirst, nLast);
    const int64_t nDays = nSeconds / 86400;
    const int64_t nOfDay = nSeconds % 86400;
    // Days since 1970 to a civil date, in eras of 400 years from March 2000.
    const int64_t nShifted = nDays - 11017;
    const int64_t nEra = (nShifted >= 0 ? nShifted : nShifted - 146096) / 146097;
    const int64_t nOfEra = nShifted - nEra * 146097;
    const int64_t nYearOfEra = (nOfEra - nOfEra / 1460 + nOfEra / 36524 - nOfEra / 146096) / 365;
    const int64_t nDayOfYear = nOfEra - (365 * nYearOfEra + nYearOfEra / 4 - nYearOfEra / 100);
    const int64_t nMonthIndex = (5 * nDayOfYear + 2) / 153;   // 0 is March
    const int64_t nDay = nDayOfYear - (153 * nMonthIndex + 2) / 5 + 1;
    const int64_t nMonth = nMonthIndex < 10 ? nMonthIndex + 3 : nMonthIndex - 9;
    const int64_t nYear = 2000 + nYearOfEra + nEra * 400 + (nMonth <= 2 ? 1 : 0);
    FatTimestamp stamp;
    stamp.m_nDate = static_cast<uint16_t>(((nYear - 1980) << 9) | (nMonth << 5) | nDay);
    stamp.m_nTime = static_cast<uint16_t>(((nOfDay / 3600) << 11) | ((nOfDay / 60 % 60) << 5) | (nOfDay % 60 / 2));
    return stamp;
}

uint32_t MakeVolumeSerial(uint64_t nTicks, int nDriveIndex)
{
    // The fast-moving low bits of the time stay in the low half, the slow
    // ones are folded over the high half; the drive's index moves it by
    // an odd multiple, so no two drives of one instant collide.
    const uint32_t nFolded = static_cast<uint32_t>(nTicks) ^ static_cast<uint32_t>(nTicks >> 32);
    return nFolded + static_cast<uint32_t>(nDriveIndex) * 0x9E3779B1u;
}

void BuildFat32BootSector(const Fat32Geometry& geometry, uint32_t nSerial, const Fat32Label& label,
                          uint8_t* pSector)
{
    // A jump over the BPB to code that hands the boot on to the BIOS's
    // next device (int 18h) and halts there: the stick holds no system.
    static const uint8_t kJump[] = {0xEB, 0x58, 0x90};
    static const uint8_t kBootCode[] = {0xCD, 0x18, 0xEB, 0xFE};
    std::memcpy(pSector, kJump, sizeof(kJump));
    std::memcpy(pSector + 3, "MSWIN4.1", 8);
    Put16(pSector + 11, geometry.m_nBytesPerSector);
    pSector[13] = static_cast<uint8_t>(geometry.m_nSectorsPerCluster);
    Put16(pSector + 14, FAT32_RESERVED_SECTORS);
    pSector[16] = static_cast<uint8_t>(FAT32_FAT_COUNT);
    // Root entry count, 16-bit sector count and 16-bit FAT size stay 0 on FAT32.
    pSector[21] = FAT32_MEDIA_FIXED;
    Put16(pSector + 24, FAT32_SECTORS_PER_TRACK);
    Put16(pSector + 26, FAT32_HEAD_COUNT);
    Put32(pSector + 28, geometry.m_nHiddenSectors);
    Put32(pSector + 32, geometry.m_nTotalSectors);
    Put32(pSector + 36, geometry.m_nFatSectors);
    // Extended flags 0: the FATs are mirrored. Version 0.0.
    Put32(pSector + 44, FAT32_ROOT_CLUSTER);
    Put16(pSector + 48, FAT32_FSINFO_SECTOR);
    Put16(pSector + 50, FAT32_BACKUP_BOOT_SECTOR);
    pSector[64] = FAT32_DRIVE_NUMBER;
    pSector[66] = FAT32_EXTENDED_BOOT_SIGNATURE;
    Put32(pSector + 67, nSerial);
    if (label.m_bEmpty)
        std::memcpy(pSector + 71, "NO NAME    ", FAT32_LABEL_BYTES);
    else
        std::memcpy(pSector + 71, label.m_bytes.data(), FAT32_LABEL_BYTES);
    std::memcpy(pSector + 82, "FAT32   ", 8);
    std::memcpy(pSector + 90, kBootCode, sizeof(kBootCode));
    pSector[510] = 0x55;
    pSector[511] = 0xAA;
    // On larger sectors the sector's own last two bytes carry it too,
    // where some readers look for it.
    if (geometry.m_nBytesPerSector > 512) {
        pSector[geometry.m_nBytesPerSector - 2] = 0x55;
        pSector[geometry.m_nBytesPerSector - 1] = 0xAA;
    }
}

void BuildFat32FsInfo(const Fat32Geometry& geometry, uint8_t* pSector)
{
    Put32(pSector, FSINFO_LEAD_SIGNATURE);
    Put32(pSector + 484, FSINFO_STRUCT_SIGNATURE);
    // Every cluster is free but the root directory's. The hint names the
    // last cluster allocated, the root directory's: drivers that start
    // their search at the hint and those that start after it both find
    // cluster 3 first.
    Put32(pSector + 488, geometry.m_nClusterCount - 1);
    Put32(pSector + 492, FAT32_ROOT_CLUSTER);
    Put32(pSector + 508, FSINFO_TRAIL_SIGNATURE);
}

void BuildFat32FirstFatSector(uint8_t* pSector)
{
    Put32(pSector, (FAT32_ENTRY_MASK & 0xFFFFFF00) | FAT32_MEDIA_FIXED);
    Put32(pSector + 4, FAT32_END_OF_CHAIN);
    Put32(pSector + 8, FAT32_END_OF_CHAIN);
}

void BuildFat32RootCluster(const Fat32Label& label, FatTimestamp stamp, uint8_t* pCluster)
{
    if (label.m_bEmpty)
        return;
    std::memcpy(pCluster, label.m_bytes.data(), FAT32_LABEL_BYTES);
    if (pCluster[0] == FAT_NAME_FREE)
        pCluster[0] = FAT_NAME_E5_STAND_IN;
    pCluster[11] = FAT_ATTR_VOLUME_ID;
    Put16(pCluster + 22, stamp.m_nTime);
    Put16(pCluster + 24, stamp.m_nDate);
}
