#pragma once
// What a transfer that bypasses the system's cache must look like on a bay
// drive, as Windows asks it of a volume handle and of a file opened past the
// cache: a buffer that starts on a sector, whole sectors, at a whole-sector
// position. Each drive has its own sector size (512 bytes, or 4096 on a
// 4K-native disk).

#include <cstdint>

constexpr uint32_t BAY_DEFAULT_SECTOR_BYTES = 512;

inline bool IsSectorAligned(const void* pBuffer, uint32_t nSectorBytes)
{
    return reinterpret_cast<uintptr_t>(pBuffer) % nSectorBytes == 0;
}

inline bool IsWholeSectors(uint64_t nBytes, uint32_t nSectorBytes)
{
    return nBytes % nSectorBytes == 0;
}
