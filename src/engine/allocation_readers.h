#pragma once
// What the readers of each file system's allocation share: a volume source
// that tells a structure pointing past the volume (which does not add up)
// from a read that fails (which is not the file system's fault), little-endian
// fields, and the marking of cluster runs. Internal to used_space_map.

#include <cstdint>
#include <vector>

#include "engine/used_space_map.h"

// Big structures (a 2 TiB FAT32's FAT is 256 MiB) are read in pieces of this.
constexpr uint32_t ALLOC_PIECE_BYTES = 1u << 20;
constexpr uint32_t ALLOC_BOOT_BYTES = 512;

enum AllocRead : int32_t {
    ALLOC_READ_OK = 0,
    ALLOC_READ_OUTSIDE,   // the structure points past the volume
    ALLOC_READ_FAILED,    // the reader said no
};

class CVolumeSource {
public:
    CVolumeSource(const VolumeByteReader& read, int64_t nVolumeBytes) : m_read(read), m_nVolumeBytes(nVolumeBytes) {}

    AllocRead Read(int64_t nOffset, uint32_t nBytes, uint8_t* pOut) const;
    AllocRead Read(int64_t nOffset, uint32_t nBytes, std::vector<uint8_t>& out) const;
    int64_t VolumeBytes() const { return m_nVolumeBytes; }

private:
    const VolumeByteReader& m_read;
    int64_t m_nVolumeBytes;
};

// The verdict of a reader before it is a UsedSpaceResult: a failed read
// wins over everything, a structure that does not add up gives the whole.
inline UsedSpaceResult AllocVerdict(AllocRead eRead)
{
    return eRead == ALLOC_READ_FAILED ? USED_SPACE_UNREADABLE : USED_SPACE_WHOLE;
}

inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) { return uint32_t{ReadLe16(p)} | (uint32_t{ReadLe16(p + 2)} << 16); }
inline uint64_t ReadLe64(const uint8_t* p) { return uint64_t{ReadLe32(p)} | (uint64_t{ReadLe32(p + 4)} << 32); }

inline bool IsPowerOfTwo(uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

// Marks allocated clusters as they are met in order, one MarkBytes per run
// of neighbours: a 2 TiB volume has tens of millions of clusters.
class CClusterMarker {
public:
    // Cluster n's first byte is nFirstByte + (n - nFirstCluster) * nClusterBytes.
    CClusterMarker(CChunkMap& map, int64_t nFirstByte, int64_t nFirstCluster, int64_t nClusterBytes)
        : m_map(map), m_nFirstByte(nFirstByte), m_nFirstCluster(nFirstCluster), m_nClusterBytes(nClusterBytes)
    {
    }
    ~CClusterMarker() { Flush(); }
    CClusterMarker(const CClusterMarker&) = delete;
    CClusterMarker& operator=(const CClusterMarker&) = delete;

    void Mark(int64_t nCluster);
    void Flush();

private:
    CChunkMap& m_map;
    int64_t m_nFirstByte;
    int64_t m_nFirstCluster;
    int64_t m_nClusterBytes;
    int64_t m_nRunStart = -1;
    int64_t m_nRunLength = 0;
};

// Bytes of an allocation bitmap from its byte nFirstByte on: bit i marks
// cluster nFirstCluster + i in use; bits past the cluster count pad the
// last byte.
inline void MarkBitmapBits(const uint8_t* pBits, uint32_t nBytes, uint64_t nFirstByte, uint64_t nClusterCount,
                           int64_t nFirstCluster, CClusterMarker& marker)
{
    for (uint32_t nAt = 0; nAt < nBytes; ++nAt) {
        if (pBits[nAt] == 0)
            continue;
        for (uint32_t nBit = 0; nBit < 8; ++nBit) {
            const uint64_t nIndex = (nFirstByte + nAt) * 8 + nBit;
            if ((pBits[nAt] >> nBit & 1) != 0 && nIndex < nClusterCount)
                marker.Mark(static_cast<int64_t>(nIndex) + nFirstCluster);
        }
    }
}

// Each returns false when the boot sector is not its file system's, and
// otherwise the verdict in eResult with the map filled when it is mapped.
bool MapFatAllocation(const CVolumeSource& source, const uint8_t* pBoot, CChunkMap& map, UsedSpaceKind& eKind,
                      UsedSpaceResult& eResult);
bool MapExfatAllocation(const CVolumeSource& source, const uint8_t* pBoot, CChunkMap& map, UsedSpaceKind& eKind,
                        UsedSpaceResult& eResult);
bool MapNtfsAllocation(const CVolumeSource& source, const uint8_t* pBoot, CChunkMap& map, UsedSpaceKind& eKind,
                       UsedSpaceResult& eResult);
