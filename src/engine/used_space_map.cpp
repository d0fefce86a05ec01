#include "engine/used_space_map.h"

#include <algorithm>
#include <array>
#include <limits>

#include "engine/allocation_readers.h"

CChunkMap::CChunkMap(int64_t nVolumeBytes, int64_t nChunkBytes)
{
    if (nVolumeBytes <= 0 || nChunkBytes <= 0)
        return;
    m_nVolumeBytes = nVolumeBytes;
    m_nChunkBytes = nChunkBytes;
    m_nChunkCount = (nVolumeBytes - 1) / nChunkBytes + 1;
    m_marked.assign(static_cast<size_t>(m_nChunkCount), false);
}

void CChunkMap::MarkBytes(int64_t nOffset, int64_t nBytes)
{
    if (nBytes <= 0 || m_nChunkCount == 0)
        return;
    const int64_t nStart = std::max<int64_t>(nOffset, 0);
    // nOffset + nBytes may not fit: a structure's fields can be anything.
    const int64_t nEnd = nOffset > m_nVolumeBytes - nBytes ? m_nVolumeBytes : nOffset + nBytes;
    if (nEnd <= nStart)
        return;
    for (int64_t nChunk = nStart / m_nChunkBytes; nChunk <= (nEnd - 1) / m_nChunkBytes; ++nChunk) {
        if (!m_marked[static_cast<size_t>(nChunk)]) {
            m_marked[static_cast<size_t>(nChunk)] = true;
            ++m_nMarkedChunks;
        }
    }
}

void CChunkMap::MarkAll()
{
    std::fill(m_marked.begin(), m_marked.end(), true);
    m_nMarkedChunks = m_nChunkCount;
}

bool CChunkMap::IsMarked(int64_t nChunk) const
{
    return nChunk >= 0 && nChunk < m_nChunkCount && m_marked[static_cast<size_t>(nChunk)];
}

int64_t CChunkMap::NextMarked(int64_t nChunk) const
{
    for (int64_t n = std::max<int64_t>(nChunk, 0); n < m_nChunkCount; ++n) {
        if (m_marked[static_cast<size_t>(n)])
            return n;
    }
    return m_nChunkCount;
}

int64_t CChunkMap::ChunkLength(int64_t nChunk) const
{
    if (nChunk < 0 || nChunk >= m_nChunkCount)
        return 0;
    return std::min(m_nChunkBytes, m_nVolumeBytes - nChunk * m_nChunkBytes);
}

int64_t CChunkMap::MarkedBytes() const
{
    if (m_nChunkCount == 0)
        return 0;
    const int64_t nLast = m_nChunkCount - 1;
    return m_nMarkedChunks * m_nChunkBytes - (IsMarked(nLast) ? m_nChunkBytes - ChunkLength(nLast) : 0);
}

AllocRead CVolumeSource::Read(int64_t nOffset, uint32_t nBytes, uint8_t* pOut) const
{
    if (nOffset < 0 || nOffset > m_nVolumeBytes || int64_t{nBytes} > m_nVolumeBytes - nOffset)
        return ALLOC_READ_OUTSIDE;
    return m_read(nOffset, nBytes, pOut) ? ALLOC_READ_OK : ALLOC_READ_FAILED;
}

AllocRead CVolumeSource::Read(int64_t nOffset, uint32_t nBytes, std::vector<uint8_t>& out) const
{
    out.resize(nBytes);
    return Read(nOffset, nBytes, out.data());
}

void CClusterMarker::Mark(int64_t nCluster)
{
    if (m_nRunStart >= 0 && nCluster == m_nRunStart + m_nRunLength) {
        ++m_nRunLength;
        return;
    }
    Flush();
    m_nRunStart = nCluster;
    m_nRunLength = 1;
}

void CClusterMarker::Flush()
{
    if (m_nRunStart < 0)
        return;
    m_map.MarkBytes(m_nFirstByte + (m_nRunStart - m_nFirstCluster) * m_nClusterBytes, m_nRunLength * m_nClusterBytes);
    m_nRunStart = -1;
    m_nRunLength = 0;
}

UsedSpaceResult MapUsedChunks(const VolumeByteReader& read, int64_t nVolumeBytes, int64_t nChunkBytes,
                              CChunkMap& map, UsedSpaceKind* pKind)
{
    UsedSpaceKind eKind = USED_SPACE_UNKNOWN;
    UsedSpaceResult eResult = USED_SPACE_WHOLE;
    map = CChunkMap(nVolumeBytes, nChunkBytes);
    if (map.ChunkCount() > 0) {
        const CVolumeSource source(read, nVolumeBytes);
        std::array<uint8_t, ALLOC_BOOT_BYTES> boot{};
        const AllocRead eBoot = source.Read(0, ALLOC_BOOT_BYTES, boot.data());
        if (eBoot != ALLOC_READ_OK) {
            eResult = AllocVerdict(eBoot);
        } else if (!MapNtfsAllocation(source, boot.data(), map, eKind, eResult)
                   && !MapExfatAllocation(source, boot.data(), map, eKind, eResult)
                   && !MapFatAllocation(source, boot.data(), map, eKind, eResult)) {
            eResult = USED_SPACE_WHOLE;
        }
    }
    if (eResult == USED_SPACE_MAPPED) {
        // NTFS keeps its backup boot sector in the volume's last sector,
        // past its clusters; whatever else ends a volume costs one chunk.
        map.MarkBytes(nVolumeBytes - 1, 1);
    } else {
        // Whoever uses the map anyway copies everything: nothing is lost.
        map.MarkAll();
    }
    if (pKind != nullptr)
        *pKind = eKind;
    return eResult;
}
