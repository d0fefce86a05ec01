#pragma once
// Whole volumes read and written raw, from their first byte, for the
// sector copy and for our own FAT32 formatter. A volume is locked and
// dismounted while it is held; closing it (destroying the object) ends the
// lock, and the system mounts the volume again on its next use.

#include <cstdint>
#include <memory>
#include <string>

class IRawVolume {
public:
    // Closes the volume, which ends its lock.
    virtual ~IRawVolume() = default;

    virtual bool Lock() = 0;
    virtual bool Dismount() = 0;
    // Where the next transfer starts, in bytes from the volume's first; a
    // transfer from there must still be whole sectors within the volume.
    virtual bool SeekTo(int64_t nOffset) = 0;
    // Synchronous, and as a volume takes them: whole sectors at a
    // whole-sector position, from a buffer on a sector (RAW_BUFFER_ALIGNMENT
    // covers every sector size). A transfer that would cross the volume's
    // end fails whole and moves nothing: there are no short reads at the
    // end, so the caller asks for exactly what is left.
    virtual bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) = 0;
    virtual bool Write(const void* pBuffer, uint32_t nBytes, uint32_t& nWritten) = 0;
    // What was written may sit in the system's or the drive's own cache
    // until the volume is flushed; a stick pulled before that loses it.
    // False when the drive could not be made to take it.
    virtual bool Flush() = 0;
    // The volume's length in bytes, all of it: the file system's capacity
    // leaves out its reserved sectors and tables.
    virtual bool GetLength(int64_t& nBytes) = 0;
    // Bytes per sector of the device under the volume; false when the
    // device does not say.
    virtual bool GetSectorSize(uint32_t& nBytes) = 0;
    // Where the volume's partition starts on its disk, in bytes; false when
    // the device does not say (a volume without a partition table).
    virtual bool GetPartitionOffset(int64_t& nBytes) = 0;
};

class IRawVolumes {
public:
    virtual ~IRawVolumes() = default;
    // The device is letter and colon ("E:"); nullptr when it cannot be opened.
    virtual std::unique_ptr<IRawVolume> OpenVolume(const std::wstring& strDevice) = 0;
};
