// exFAT by Microsoft's exFAT file system documentation: the boot sector
// gives the FAT and the cluster heap, the root directory holds the
// Allocation Bitmap's entry (two with two FATs), and the bitmap has a bit
// per cluster of the heap. The bitmap and the root directory have no stream
// extension, so no NoFatChain flag: their clusters are chained in the FAT.

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/allocation_readers.h"

namespace {

constexpr uint32_t EXFAT_FIRST_CLUSTER = 2;
constexpr uint32_t EXFAT_END_OF_CHAIN = 0xFFFFFFFF;
constexpr uint32_t EXFAT_ENTRY_BYTES = 32;
constexpr uint8_t EXFAT_ENTRY_END = 0x00;
constexpr uint8_t EXFAT_ENTRY_BITMAP = 0x81;
// 32 MiB clusters at most: BytesPerSectorShift + SectorsPerClusterShift.
constexpr uint32_t EXFAT_MAX_CLUSTER_SHIFT = 25;
// A volume has at most two bitmaps; more in a root directory is damage.
constexpr size_t EXFAT_MAX_BITMAPS = 2;
// No directory is larger: a root directory chained in a loop ends here
// instead of after as many clusters as the heap has.
constexpr uint64_t EXFAT_MAX_DIRECTORY_BYTES = 256ull << 20;

struct ExfatGeometry {
    uint64_t m_nSectorBytes = 0;
    uint64_t m_nClusterBytes = 0;
    uint64_t m_nFatOffset = 0;         // bytes
    uint64_t m_nHeapOffset = 0;        // bytes
    uint64_t m_nClusterCount = 0;
    uint32_t m_nRootCluster = 0;

    int64_t ClusterOffset(uint32_t nCluster) const
    {
        return static_cast<int64_t>(m_nHeapOffset + (nCluster - EXFAT_FIRST_CLUSTER) * m_nClusterBytes);
    }
    bool IsCluster(uint32_t nCluster) const
    {
        return nCluster >= EXFAT_FIRST_CLUSTER && nCluster - EXFAT_FIRST_CLUSTER < m_nClusterCount;
    }
};

struct ExfatBitmap {
    uint32_t m_nFirstCluster = 0;
    uint64_t m_nLength = 0;
};

bool LooksLikeExfat(const uint8_t* pBoot)
{
    return std::memcmp(pBoot + 3, "EXFAT   ", 8) == 0;
}

// False when the boot sector does not add up.
bool ReadGeometry(const uint8_t* pBoot, int64_t nVolumeBytes, ExfatGeometry& geometry)
{
    if (pBoot[510] != 0x55 || pBoot[511] != 0xAA)
        return false;
    if (std::any_of(pBoot + 11, pBoot + 64, [](uint8_t n) { return n != 0; }))
        return false;
    const uint32_t nSectorShift = pBoot[108];
    const uint32_t nClusterShift = pBoot[109];
    const uint32_t nFats = pBoot[110];
    if (nSectorShift < 9 || nSectorShift > 12 || nSectorShift + nClusterShift > EXFAT_MAX_CLUSTER_SHIFT
        || (nFats != 1 && nFats != 2))
        return false;
    geometry.m_nSectorBytes = uint64_t{1} << nSectorShift;
    geometry.m_nClusterBytes = uint64_t{1} << (nSectorShift + nClusterShift);
    const uint64_t nVolumeSectors = ReadLe64(pBoot + 72);
    const uint64_t nFatSectors = ReadLe32(pBoot + 80);
    const uint64_t nFatLength = ReadLe32(pBoot + 84);
    const uint64_t nHeapSector = ReadLe32(pBoot + 88);
    geometry.m_nClusterCount = ReadLe32(pBoot + 92);
    geometry.m_nRootCluster = ReadLe32(pBoot + 96);
    geometry.m_nFatOffset = nFatSectors << nSectorShift;
    geometry.m_nHeapOffset = nHeapSector << nSectorShift;
    const uint64_t nVolume = static_cast<uint64_t>(nVolumeBytes) >> nSectorShift;
    return nVolumeSectors != 0 && nVolumeSectors <= nVolume && nFatSectors != 0 && nFatLength != 0
           && geometry.m_nClusterCount != 0
           && nHeapSector >= nFatSectors + nFatLength * nFats
           && ((geometry.m_nClusterCount + EXFAT_FIRST_CLUSTER) * 4 + geometry.m_nSectorBytes - 1) >> nSectorShift
                  <= nFatLength
           && nHeapSector + (geometry.m_nClusterCount << nClusterShift) <= nVolumeSectors
           && geometry.IsCluster(geometry.m_nRootCluster);
}

// Walks a cluster chain through the first FAT, a cluster at a time.
class CChainWalk {
public:
    CChainWalk(const CVolumeSource& source, const ExfatGeometry& geometry, uint32_t nFirst, uint64_t nMaxClusters)
        : m_source(source), m_geometry(geometry), m_nCluster(nFirst), m_nMaxClusters(nMaxClusters)
    {
    }

    uint32_t Cluster() const { return m_nCluster; }
    // False, with the verdict in eResult, when the chain leaves the heap or
    // is longer than its file can be (a loop) or the FAT cannot be read;
    // true at its end too, where Cluster() is 0.
    bool Next(UsedSpaceResult& eResult)
    {
        uint8_t entry[4] = {};
        const AllocRead eRead =
            m_source.Read(static_cast<int64_t>(m_geometry.m_nFatOffset + uint64_t{m_nCluster} * 4), 4, entry);
        if (eRead != ALLOC_READ_OK) {
            eResult = AllocVerdict(eRead);
            return false;
        }
        const uint32_t nNext = ReadLe32(entry);
        if (nNext == EXFAT_END_OF_CHAIN) {
            m_nCluster = 0;
            return true;
        }
        if (!m_geometry.IsCluster(nNext) || ++m_nSteps >= m_nMaxClusters) {
            eResult = USED_SPACE_WHOLE;
            return false;
        }
        m_nCluster = nNext;
        return true;
    }

private:
    const CVolumeSource& m_source;
    const ExfatGeometry& m_geometry;
    uint32_t m_nCluster;
    uint64_t m_nMaxClusters;
    uint64_t m_nSteps = 0;
};

// The bitmaps' entries from the root directory; false with the verdict when
// the directory cannot be walked.
bool FindBitmaps(const CVolumeSource& source, const ExfatGeometry& geometry, std::vector<ExfatBitmap>& bitmaps,
                 UsedSpaceResult& eResult)
{
    CChainWalk walk(source, geometry, geometry.m_nRootCluster,
                    std::max<uint64_t>(EXFAT_MAX_DIRECTORY_BYTES / geometry.m_nClusterBytes, 1));
    std::vector<uint8_t> piece;
    while (walk.Cluster() != 0) {
        const int64_t nCluster = geometry.ClusterOffset(walk.Cluster());
        for (uint64_t nDone = 0; nDone < geometry.m_nClusterBytes; nDone += piece.size()) {
            const uint32_t nBytes = static_cast<uint32_t>(std::min<uint64_t>(ALLOC_PIECE_BYTES, geometry.m_nClusterBytes));
            const AllocRead eRead = source.Read(nCluster + static_cast<int64_t>(nDone), nBytes, piece);
            if (eRead != ALLOC_READ_OK) {
                eResult = AllocVerdict(eRead);
                return false;
            }
            for (size_t nAt = 0; nAt + EXFAT_ENTRY_BYTES <= piece.size(); nAt += EXFAT_ENTRY_BYTES) {
                const uint8_t* pEntry = piece.data() + nAt;
                if (pEntry[0] == EXFAT_ENTRY_END)
                    return true;
                if (pEntry[0] != EXFAT_ENTRY_BITMAP)
                    continue;
                if (bitmaps.size() == EXFAT_MAX_BITMAPS) {
                    eResult = USED_SPACE_WHOLE;
                    return false;
                }
                bitmaps.push_back({ReadLe32(pEntry + 20), ReadLe64(pEntry + 24)});
            }
        }
        if (!walk.Next(eResult))
            return false;
    }
    return true;
}

// Marks the clusters one bitmap has in use; false with the verdict when it
// does not add up or cannot be read.
bool MarkBitmap(const CVolumeSource& source, const ExfatGeometry& geometry, const ExfatBitmap& bitmap,
                CChunkMap& map, UsedSpaceResult& eResult)
{
    const uint64_t nNeeded = (geometry.m_nClusterCount + 7) / 8;
    if (bitmap.m_nLength < nNeeded || !geometry.IsCluster(bitmap.m_nFirstCluster)) {
        eResult = USED_SPACE_WHOLE;
        return false;
    }
    CClusterMarker marker(map, static_cast<int64_t>(geometry.m_nHeapOffset), EXFAT_FIRST_CLUSTER,
                          static_cast<int64_t>(geometry.m_nClusterBytes));
    CChainWalk walk(source, geometry, bitmap.m_nFirstCluster, geometry.m_nClusterCount);
    std::vector<uint8_t> piece;
    uint64_t nByte = 0;   // of the bitmap
    while (nByte < nNeeded) {
        if (walk.Cluster() == 0) {
            // The chain ends before the bitmap does.
            eResult = USED_SPACE_WHOLE;
            return false;
        }
        const int64_t nCluster = geometry.ClusterOffset(walk.Cluster());
        for (uint64_t nDone = 0; nDone < geometry.m_nClusterBytes && nByte < nNeeded; nDone += piece.size()) {
            const uint64_t nLeft = std::min(geometry.m_nClusterBytes - nDone, nNeeded - nByte);
            const uint32_t nBytes = static_cast<uint32_t>(std::min<uint64_t>(ALLOC_PIECE_BYTES, nLeft));
            const AllocRead eRead = source.Read(nCluster + static_cast<int64_t>(nDone), nBytes, piece);
            if (eRead != ALLOC_READ_OK) {
                eResult = AllocVerdict(eRead);
                return false;
            }
            MarkBitmapBits(piece.data(), nBytes, nByte, geometry.m_nClusterCount, EXFAT_FIRST_CLUSTER, marker);
            nByte += nBytes;
        }
        if (nByte < nNeeded && !walk.Next(eResult))
            return false;
    }
    return true;
}

} // namespace

bool MapExfatAllocation(const CVolumeSource& source, const uint8_t* pBoot, CChunkMap& map, UsedSpaceKind& eKind,
                        UsedSpaceResult& eResult)
{
    if (!LooksLikeExfat(pBoot))
        return false;
    eKind = USED_SPACE_EXFAT;
    eResult = USED_SPACE_WHOLE;
    ExfatGeometry geometry;
    if (!ReadGeometry(pBoot, source.VolumeBytes(), geometry))
        return true;
    std::vector<ExfatBitmap> bitmaps;
    if (!FindBitmaps(source, geometry, bitmaps, eResult))
        return true;
    if (bitmaps.empty())
        return true;
    map.MarkBytes(0, static_cast<int64_t>(geometry.m_nHeapOffset));
    // With two FATs the active one may be either: the union of both bitmaps
    // keeps every cluster one of them holds.
    for (const ExfatBitmap& bitmap : bitmaps) {
        if (!MarkBitmap(source, geometry, bitmap, map, eResult))
            return true;
    }
    eResult = USED_SPACE_MAPPED;
    return true;
}
