#pragma once
// What a transfer that bypasses the system's cache must look like on the
// bay's drives, which have 4096-byte sectors: a volume handle and a file
// opened past the cache take buffers that start on a sector, as Windows does.

#include <cstdint>

constexpr uint32_t BAY_SECTOR_BYTES = 4096;

inline bool IsSectorAligned(const void* pBuffer)
{
    return reinterpret_cast<uintptr_t>(pBuffer) % BAY_SECTOR_BYTES == 0;
}
