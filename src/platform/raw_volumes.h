#pragma once
// Whole volumes read and written raw, from their first byte, for the
// sector copy. A volume is locked and dismounted while the copy holds it;
// closing it (destroying the object) ends the lock, and the system mounts
// the volume again on its next use.

#include <cstdint>
#include <memory>
#include <string>

class IRawVolume {
public:
    // Closes the volume, which ends its lock.
    virtual ~IRawVolume() = default;

    virtual bool Lock() = 0;
    virtual bool Dismount() = 0;
    virtual bool SeekToStart() = 0;
    // Synchronous; a read at the volume's end gives fewer bytes than asked.
    virtual bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) = 0;
    virtual bool Write(const void* pBuffer, uint32_t nBytes, uint32_t& nWritten) = 0;
    // The volume's length in bytes, all of it: the file system's capacity
    // leaves out its reserved sectors and tables.
    virtual bool GetLength(int64_t& nBytes) = 0;
};

class IRawVolumes {
public:
    virtual ~IRawVolumes() = default;
    // The device is letter and colon ("E:"); nullptr when it cannot be opened.
    virtual std::unique_ptr<IRawVolume> OpenVolume(const std::wstring& strDevice) = 0;
};
