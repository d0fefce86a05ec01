// FAT12, FAT16 and FAT32 by Microsoft's "FAT: General Overview of On-Disk
// Format" and its FAT32 File System documentation: the BPB gives where the
// data area starts and how many clusters it has, the count of clusters the
// FAT type, and the first FAT which clusters are in use.

#include <algorithm>
#include <vector>

#include "engine/allocation_readers.h"

namespace {

constexpr uint32_t FAT12_MAX_CLUSTERS = 4084;
constexpr uint32_t FAT16_MAX_CLUSTERS = 65524;
constexpr uint32_t FAT_FIRST_CLUSTER = 2;
constexpr uint32_t FAT12_BAD_CLUSTER = 0xFF7;
constexpr uint32_t FAT16_BAD_CLUSTER = 0xFFF7;
constexpr uint32_t FAT32_BAD_CLUSTER = 0x0FFFFFF7;
constexpr uint32_t FAT32_ENTRY_MASK = 0x0FFFFFFF;
constexpr uint32_t FAT_DIR_ENTRY_BYTES = 32;

struct FatBpb {
    uint32_t m_nBytesPerSector = 0;
    uint32_t m_nSectorsPerCluster = 0;
    uint32_t m_nReservedSectors = 0;
    uint32_t m_nFatCount = 0;
    uint32_t m_nRootEntries = 0;
    uint64_t m_nTotalSectors = 0;
    uint64_t m_nFatSectors = 0;
};

bool LooksLikeFat(const uint8_t* pBoot, FatBpb& bpb)
{
    if ((pBoot[0] != 0xEB && pBoot[0] != 0xE9) || pBoot[510] != 0x55 || pBoot[511] != 0xAA)
        return false;
    bpb.m_nBytesPerSector = ReadLe16(pBoot + 11);
    bpb.m_nSectorsPerCluster = pBoot[13];
    bpb.m_nReservedSectors = ReadLe16(pBoot + 14);
    bpb.m_nFatCount = pBoot[16];
    bpb.m_nRootEntries = ReadLe16(pBoot + 17);
    const uint16_t nTotal16 = ReadLe16(pBoot + 19);
    bpb.m_nTotalSectors = nTotal16 != 0 ? nTotal16 : ReadLe32(pBoot + 32);
    const uint16_t nFat16 = ReadLe16(pBoot + 22);
    bpb.m_nFatSectors = nFat16 != 0 ? nFat16 : ReadLe32(pBoot + 36);
    const uint32_t nSector = bpb.m_nBytesPerSector;
    return (nSector == 512 || nSector == 1024 || nSector == 2048 || nSector == 4096)
           && IsPowerOfTwo(bpb.m_nSectorsPerCluster) && bpb.m_nSectorsPerCluster <= 128
           && bpb.m_nReservedSectors != 0 && bpb.m_nFatCount >= 1;
}

uint32_t FatEntry(UsedSpaceKind eKind, const uint8_t* pFat, uint64_t nCluster)
{
    if (eKind == USED_SPACE_FAT12) {
        // Two entries share three bytes: the even one the low 12 bits.
        const uint16_t nPair = ReadLe16(pFat + nCluster + nCluster / 2);
        return (nCluster & 1) != 0 ? nPair >> 4 : nPair & 0xFFF;
    }
    if (eKind == USED_SPACE_FAT16)
        return ReadLe16(pFat + nCluster * 2);
    return ReadLe32(pFat + nCluster * 4) & FAT32_ENTRY_MASK;
}

} // namespace

bool MapFatAllocation(const CVolumeSource& source, const uint8_t* pBoot, CChunkMap& map, UsedSpaceKind& eKind,
                      UsedSpaceResult& eResult)
{
    FatBpb bpb;
    if (!LooksLikeFat(pBoot, bpb))
        return false;
    eResult = USED_SPACE_WHOLE;
    const uint64_t nSector = bpb.m_nBytesPerSector;
    const uint64_t nRootSectors = (uint64_t{bpb.m_nRootEntries} * FAT_DIR_ENTRY_BYTES + nSector - 1) / nSector;
    const uint64_t nFirstDataSector = bpb.m_nReservedSectors + bpb.m_nFatCount * bpb.m_nFatSectors + nRootSectors;
    if (bpb.m_nFatSectors == 0 || bpb.m_nTotalSectors <= nFirstDataSector
        || bpb.m_nTotalSectors * nSector > static_cast<uint64_t>(source.VolumeBytes()))
        return true;
    const uint64_t nClusters = (bpb.m_nTotalSectors - nFirstDataSector) / bpb.m_nSectorsPerCluster;
    if (nClusters == 0)
        return true;
    eKind = nClusters <= FAT12_MAX_CLUSTERS ? USED_SPACE_FAT12
            : nClusters <= FAT16_MAX_CLUSTERS ? USED_SPACE_FAT16 : USED_SPACE_FAT32;
    // FAT12 and FAT16 keep their root directory before the data area, FAT32
    // in a cluster chain.
    if ((eKind == USED_SPACE_FAT32) != (bpb.m_nRootEntries == 0) || nClusters > FAT32_ENTRY_MASK - 16)
        return true;
    const uint64_t nEntries = nClusters + FAT_FIRST_CLUSTER;
    const uint64_t nFatBytesUsed = eKind == USED_SPACE_FAT12 ? (nEntries * 3 + 1) / 2
                                   : eKind == USED_SPACE_FAT16 ? nEntries * 2 : nEntries * 4;
    if (nFatBytesUsed > bpb.m_nFatSectors * nSector)
        return true;

    map.MarkBytes(0, static_cast<int64_t>(nFirstDataSector * nSector));
    const uint64_t nClusterBytes = uint64_t{bpb.m_nSectorsPerCluster} * nSector;
    CClusterMarker marker(map, static_cast<int64_t>(nFirstDataSector * nSector), FAT_FIRST_CLUSTER,
                          static_cast<int64_t>(nClusterBytes));
    const uint32_t nBad = eKind == USED_SPACE_FAT12   ? FAT12_BAD_CLUSTER
                          : eKind == USED_SPACE_FAT16 ? FAT16_BAD_CLUSTER : FAT32_BAD_CLUSTER;
    const int64_t nFatStart = static_cast<int64_t>(uint64_t{bpb.m_nReservedSectors} * nSector);
    // Pieces hold whole entries: a FAT12 FAT (at most 6 KiB) is read whole,
    // the others in pieces of a multiple of their entry size.
    const uint64_t nEntriesPerPiece = eKind == USED_SPACE_FAT12 ? nEntries
                                      : eKind == USED_SPACE_FAT16 ? ALLOC_PIECE_BYTES / 2 : ALLOC_PIECE_BYTES / 4;
    const uint64_t nEntryBytes = eKind == USED_SPACE_FAT16 ? 2 : 4;
    std::vector<uint8_t> piece;
    for (uint64_t nFirst = 0; nFirst < nEntries; nFirst += nEntriesPerPiece) {
        const uint64_t nCount = std::min(nEntriesPerPiece, nEntries - nFirst);
        const uint64_t nBytes = eKind == USED_SPACE_FAT12 ? nFatBytesUsed : nCount * nEntryBytes;
        // One byte more for FAT12 when the last entry ends in the middle of
        // one: ReadLe16 reads two.
        const uint64_t nRead = eKind == USED_SPACE_FAT12 ? std::min(nBytes + 1, bpb.m_nFatSectors * nSector) : nBytes;
        const AllocRead eRead =
            source.Read(nFatStart + static_cast<int64_t>(nFirst * nEntryBytes), static_cast<uint32_t>(nRead), piece);
        if (eRead != ALLOC_READ_OK) {
            eResult = AllocVerdict(eRead);
            return true;
        }
        piece.resize(nRead + 1, 0);
        for (uint64_t nIndex = 0; nIndex < nCount; ++nIndex) {
            const uint64_t nCluster = nFirst + nIndex;
            if (nCluster < FAT_FIRST_CLUSTER)
                continue;
            const uint32_t nEntry = FatEntry(eKind, piece.data(), nIndex);
            // A bad cluster holds nothing, and reading it from the master
            // would fail the copy.
            if (nEntry != 0 && nEntry != nBad)
                marker.Mark(static_cast<int64_t>(nCluster));
        }
    }
    marker.Flush();
    eResult = USED_SPACE_MAPPED;
    return true;
}
