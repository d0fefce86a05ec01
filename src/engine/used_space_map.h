#pragma once
// Which chunks of a volume its file system uses, read from the file
// system's own structures: FAT12, FAT16 and FAT32 from the FAT, exFAT from
// its allocation bitmap, NTFS from its $Bitmap file. A copy of the used
// chunks alone is the same volume, file for file, where the target's free
// space keeps whatever it held.
//
// A file system this does not know, or structures that do not add up, give
// no map: the caller copies the whole volume. Nothing here guesses.

#include <cstdint>
#include <functional>
#include <vector>

// Reads nBytes at byte nOffset of the volume into pOut; any offset and
// length inside the volume (the caller's reader makes whole-sector
// transfers of them). False when the volume does not give them, or when the
// reader is to stop (a cancel).
using VolumeByteReader = std::function<bool(int64_t nOffset, uint32_t nBytes, uint8_t* pOut)>;

// One flag per chunk of the volume, from its first byte; the last chunk may
// be shorter than the others.
class CChunkMap {
public:
    CChunkMap() = default;
    CChunkMap(int64_t nVolumeBytes, int64_t nChunkBytes);

    // Every chunk holding any byte of [nOffset, nOffset + nBytes), clipped
    // to the volume.
    void MarkBytes(int64_t nOffset, int64_t nBytes);
    void MarkAll();

    bool IsMarked(int64_t nChunk) const;
    // The first marked chunk at or after nChunk; ChunkCount() when none is.
    int64_t NextMarked(int64_t nChunk) const;
    int64_t ChunkCount() const { return m_nChunkCount; }
    int64_t MarkedChunks() const { return m_nMarkedChunks; }
    // What the marked chunks hold, the last one at its real length.
    int64_t MarkedBytes() const;
    int64_t ChunkOffset(int64_t nChunk) const { return nChunk * m_nChunkBytes; }
    int64_t ChunkLength(int64_t nChunk) const;
    int64_t VolumeBytes() const { return m_nVolumeBytes; }
    int64_t ChunkBytes() const { return m_nChunkBytes; }

private:
    int64_t m_nVolumeBytes = 0;
    int64_t m_nChunkBytes = 0;
    int64_t m_nChunkCount = 0;
    int64_t m_nMarkedChunks = 0;
    std::vector<bool> m_marked;
};

enum UsedSpaceKind : int32_t {
    USED_SPACE_UNKNOWN = 0,   // no file system this reads
    USED_SPACE_FAT12,
    USED_SPACE_FAT16,
    USED_SPACE_FAT32,
    USED_SPACE_EXFAT,
    USED_SPACE_NTFS,
};

enum UsedSpaceResult : int32_t {
    // The map holds everything before the data area, every chunk that holds
    // an allocated cluster, and the volume's last chunk.
    USED_SPACE_MAPPED = 0,
    // Not a file system this reads, or one whose structures do not add up:
    // copy the whole volume.
    USED_SPACE_WHOLE,
    // The reader failed (or was stopped): the volume could not be read.
    USED_SPACE_UNREADABLE,
};

// The map of the volume of nVolumeBytes (whole sectors) in chunks of
// nChunkBytes. *pKind (when given) says which file system was found.
UsedSpaceResult MapUsedChunks(const VolumeByteReader& read, int64_t nVolumeBytes, int64_t nChunkBytes,
                              CChunkMap& map, UsedSpaceKind* pKind = nullptr);
