// NTFS by its on-disk layout: the boot sector gives the clusters and where
// the MFT starts; MFT record 6 is $Bitmap, whose unnamed $DATA is a bit per
// cluster of the volume, from cluster 0. Record 6 lies in the MFT's first
// extent: the first records are contiguous on every NTFS volume ($MFTMirr
// mirrors them by position).

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/allocation_readers.h"

namespace {

constexpr uint32_t NTFS_BITMAP_RECORD = 6;
// Fixups are every 512 bytes whatever the sector size.
constexpr uint32_t NTFS_FIXUP_STRIDE = 512;
constexpr uint32_t NTFS_MAX_RECORD_BYTES = 65536;
// 2 MiB is the largest cluster Windows makes.
constexpr uint64_t NTFS_MAX_CLUSTER_BYTES = 2u << 20;
constexpr uint32_t NTFS_ATTR_LIST = 0x20;
constexpr uint32_t NTFS_ATTR_DATA = 0x80;
constexpr uint32_t NTFS_ATTR_END = 0xFFFFFFFF;
constexpr uint16_t NTFS_RECORD_IN_USE = 0x0001;
constexpr uint32_t NTFS_ATTR_HEADER_BYTES = 0x18;
constexpr uint32_t NTFS_NONRESIDENT_HEADER_BYTES = 0x40;

struct NtfsGeometry {
    uint64_t m_nSectorBytes = 0;
    uint64_t m_nClusterBytes = 0;
    uint64_t m_nTotalSectors = 0;
    uint64_t m_nClusterCount = 0;
    uint64_t m_nMftCluster = 0;
    uint32_t m_nRecordBytes = 0;
};

struct NtfsRun {
    uint64_t m_nCluster = 0;
    uint64_t m_nLength = 0;
};

bool ReadGeometry(const uint8_t* pBoot, int64_t nVolumeBytes, NtfsGeometry& geometry)
{
    if (pBoot[510] != 0x55 || pBoot[511] != 0xAA)
        return false;
    geometry.m_nSectorBytes = ReadLe16(pBoot + 11);
    const uint32_t nPerCluster = pBoot[13];
    if (!IsPowerOfTwo(geometry.m_nSectorBytes) || geometry.m_nSectorBytes < 256 || geometry.m_nSectorBytes > 4096
        || nPerCluster == 0)
        return false;
    // Above 0x80 the byte is a negative power of two: 2^(256 - value) sectors.
    if (nPerCluster > 0x80) {
        if (256 - nPerCluster > 31)
            return false;
        geometry.m_nClusterBytes = geometry.m_nSectorBytes << (256 - nPerCluster);
    } else {
        if (!IsPowerOfTwo(nPerCluster))
            return false;
        geometry.m_nClusterBytes = geometry.m_nSectorBytes * nPerCluster;
    }
    if (geometry.m_nClusterBytes > NTFS_MAX_CLUSTER_BYTES)
        return false;
    geometry.m_nTotalSectors = ReadLe64(pBoot + 0x28);
    geometry.m_nMftCluster = ReadLe64(pBoot + 0x30);
    const int8_t nPerRecord = static_cast<int8_t>(pBoot[0x40]);
    uint64_t nRecordBytes = 0;
    if (nPerRecord > 0)
        nRecordBytes = uint64_t(nPerRecord) * geometry.m_nClusterBytes;
    else if (nPerRecord < 0 && nPerRecord >= -31)
        nRecordBytes = uint64_t{1} << -nPerRecord;
    if (nRecordBytes < NTFS_FIXUP_STRIDE || nRecordBytes > NTFS_MAX_RECORD_BYTES || !IsPowerOfTwo(nRecordBytes))
        return false;
    geometry.m_nRecordBytes = static_cast<uint32_t>(nRecordBytes);
    const uint64_t nVolumeSectors = static_cast<uint64_t>(nVolumeBytes) / geometry.m_nSectorBytes;
    const uint64_t nSectorsPerCluster = geometry.m_nClusterBytes / geometry.m_nSectorBytes;
    geometry.m_nClusterCount = geometry.m_nTotalSectors / nSectorsPerCluster;
    return geometry.m_nTotalSectors != 0 && geometry.m_nTotalSectors <= nVolumeSectors
           && geometry.m_nClusterCount != 0 && geometry.m_nMftCluster < geometry.m_nClusterCount;
}

// Puts the record's fixups back; false when a stride's last two bytes are
// not the update sequence number (a torn write, or not a record).
bool ApplyFixups(std::vector<uint8_t>& record)
{
    if (std::memcmp(record.data(), "FILE", 4) != 0)
        return false;
    const uint32_t nArrayAt = ReadLe16(record.data() + 4);
    const uint32_t nArrayCount = ReadLe16(record.data() + 6);
    const uint32_t nStrides = static_cast<uint32_t>(record.size() / NTFS_FIXUP_STRIDE);
    if (nArrayCount != nStrides + 1 || nArrayAt + nArrayCount * 2 > NTFS_FIXUP_STRIDE - 2)
        return false;
    const uint8_t* pArray = record.data() + nArrayAt;
    for (uint32_t nStride = 0; nStride < nStrides; ++nStride) {
        uint8_t* pTail = record.data() + (nStride + 1) * NTFS_FIXUP_STRIDE - 2;
        if (pTail[0] != pArray[0] || pTail[1] != pArray[1])
            return false;
        pTail[0] = pArray[2 + nStride * 2];
        pTail[1] = pArray[3 + nStride * 2];
    }
    return true;
}

// The unnamed $DATA's runs; false when the record has none this can follow
// (an attribute list, a resident or missing $DATA, runs that leave the
// volume or are sparse).
bool FindBitmapRuns(const std::vector<uint8_t>& record, const NtfsGeometry& geometry, uint64_t& nDataBytes,
                    std::vector<NtfsRun>& runs)
{
    if ((ReadLe16(record.data() + 0x16) & NTFS_RECORD_IN_USE) == 0)
        return false;
    const uint32_t nUsed = std::min<uint32_t>(ReadLe32(record.data() + 0x18), static_cast<uint32_t>(record.size()));
    for (uint32_t nAt = ReadLe16(record.data() + 0x14); nAt + 8 <= nUsed;) {
        const uint8_t* pAttr = record.data() + nAt;
        const uint32_t nType = ReadLe32(pAttr);
        if (nType == NTFS_ATTR_END)
            return false;
        const uint32_t nLength = ReadLe32(pAttr + 4);
        if (nLength < NTFS_ATTR_HEADER_BYTES || nLength > nUsed - nAt || nType == NTFS_ATTR_LIST)
            return false;
        if (nType != NTFS_ATTR_DATA || pAttr[9] != 0) {
            nAt += nLength;
            continue;
        }
        // Resident, starting past VCN 0 (the rest in another record) or
        // compressed: none is how $Bitmap is kept.
        if (pAttr[8] == 0 || nLength < NTFS_NONRESIDENT_HEADER_BYTES || ReadLe64(pAttr + 0x10) != 0
            || ReadLe16(pAttr + 0x22) != 0)
            return false;
        nDataBytes = ReadLe64(pAttr + 0x30);
        int64_t nCluster = 0;
        for (uint32_t nRun = ReadLe16(pAttr + 0x20); nRun < nLength && pAttr[nRun] != 0;) {
            const uint32_t nLengthBytes = pAttr[nRun] & 0x0F;
            const uint32_t nOffsetBytes = pAttr[nRun] >> 4;
            // No offset is a sparse run: $Bitmap has none.
            if (nLengthBytes == 0 || nLengthBytes > 8 || nOffsetBytes == 0 || nOffsetBytes > 8
                || nRun + 1 + nLengthBytes + nOffsetBytes > nLength)
                return false;
            uint64_t nRunLength = 0;
            for (uint32_t i = 0; i < nLengthBytes; ++i)
                nRunLength |= uint64_t{pAttr[nRun + 1 + i]} << (8 * i);
            // The offset is signed and from the previous run's cluster.
            uint64_t nOffset = 0;
            for (uint32_t i = 0; i < nOffsetBytes; ++i)
                nOffset |= uint64_t{pAttr[nRun + 1 + nLengthBytes + i]} << (8 * i);
            if (nOffsetBytes < 8 && (nOffset >> (8 * nOffsetBytes - 1) & 1) != 0)
                nOffset |= ~uint64_t{0} << (8 * nOffsetBytes);
            nCluster += static_cast<int64_t>(nOffset);
            if (nCluster < 0 || static_cast<uint64_t>(nCluster) >= geometry.m_nClusterCount
                || nRunLength == 0 || nRunLength > geometry.m_nClusterCount - static_cast<uint64_t>(nCluster))
                return false;
            runs.push_back({static_cast<uint64_t>(nCluster), nRunLength});
            nRun += 1 + nLengthBytes + nOffsetBytes;
        }
        return !runs.empty();
    }
    return false;
}

} // namespace

bool MapNtfsAllocation(const CVolumeSource& source, const uint8_t* pBoot, CChunkMap& map, UsedSpaceKind& eKind,
                       UsedSpaceResult& eResult)
{
    if (std::memcmp(pBoot + 3, "NTFS    ", 8) != 0)
        return false;
    eKind = USED_SPACE_NTFS;
    eResult = USED_SPACE_WHOLE;
    NtfsGeometry geometry;
    if (!ReadGeometry(pBoot, source.VolumeBytes(), geometry))
        return true;
    std::vector<uint8_t> record;
    const int64_t nRecordAt = static_cast<int64_t>(geometry.m_nMftCluster * geometry.m_nClusterBytes
                                                   + uint64_t{NTFS_BITMAP_RECORD} * geometry.m_nRecordBytes);
    const AllocRead eRecord = source.Read(nRecordAt, geometry.m_nRecordBytes, record);
    if (eRecord != ALLOC_READ_OK) {
        eResult = AllocVerdict(eRecord);
        return true;
    }
    uint64_t nDataBytes = 0;
    std::vector<NtfsRun> runs;
    if (!ApplyFixups(record) || !FindBitmapRuns(record, geometry, nDataBytes, runs))
        return true;
    const uint64_t nNeeded = (geometry.m_nClusterCount + 7) / 8;
    uint64_t nRunBytes = 0;
    for (const NtfsRun& run : runs)
        nRunBytes += run.m_nLength * geometry.m_nClusterBytes;
    if (nDataBytes < nNeeded || nRunBytes < nNeeded)
        return true;

    map.MarkBytes(0, static_cast<int64_t>(geometry.m_nClusterBytes));
    // The backup boot sector follows the last sector NTFS counts: the
    // volume's last sector, unless the volume is larger than its NTFS.
    map.MarkBytes(static_cast<int64_t>(geometry.m_nTotalSectors * geometry.m_nSectorBytes),
                  static_cast<int64_t>(geometry.m_nSectorBytes));
    CClusterMarker marker(map, 0, 0, static_cast<int64_t>(geometry.m_nClusterBytes));
    std::vector<uint8_t> piece;
    uint64_t nByte = 0;   // of the bitmap
    for (const NtfsRun& run : runs) {
        const int64_t nRunAt = static_cast<int64_t>(run.m_nCluster * geometry.m_nClusterBytes);
        const uint64_t nRunBytesHere = run.m_nLength * geometry.m_nClusterBytes;
        for (uint64_t nDone = 0; nDone < nRunBytesHere && nByte < nNeeded; nDone += piece.size()) {
            const uint64_t nLeft = std::min(nRunBytesHere - nDone, nNeeded - nByte);
            const uint32_t nBytes = static_cast<uint32_t>(std::min<uint64_t>(ALLOC_PIECE_BYTES, nLeft));
            const AllocRead eRead = source.Read(nRunAt + static_cast<int64_t>(nDone), nBytes, piece);
            if (eRead != ALLOC_READ_OK) {
                eResult = AllocVerdict(eRead);
                return true;
            }
            MarkBitmapBits(piece.data(), nBytes, nByte, geometry.m_nClusterCount, 0, marker);
            nByte += nBytes;
        }
    }
    marker.Flush();
    eResult = USED_SPACE_MAPPED;
    return true;
}
