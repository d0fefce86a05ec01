#pragma once
// A drive's volume for raw access, as the sector copy and our own FAT32
// formatter use it: measured, and held for writing (opened, locked and
// dismounted, with the timing's attempts and pauses between them). A volume
// that some program still holds a file on refuses for a while after a stick
// is plugged in, or while the system flushes it, so one refusal is no failure.
// A drive whose device is gone (the stick pulled out) fails at once: no
// pause brings it back, and the operator should see its code at once.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/aligned_buffer.h"
#include "engine/slot_failure.h"
#include "platform/run_timing.h"

class IRawVolume;
class IRawVolumes;
class ISleeper;
class IVolumeQueries;

// The volume's length, or its file system's capacity where the length
// cannot be asked; 0 when neither can, with why in *pFailure when given.
int64_t MeasureVolume(IVolumeQueries& volumes, IRawVolumes& rawVolumes, const std::wstring& strPathOnVolume,
                      SlotFailure* pFailure = nullptr);

// 1 with the volume held; 0, and volume empty, once every attempt failed
// or the device is gone, with the step and reason of the last refusal in
// *pFailure when given.
int OpenLockedVolume(IVolumeQueries& volumes, IRawVolumes& rawVolumes, ISleeper& sleeper, const RunTiming& timing,
                     const std::wstring& strDevice, std::unique_ptr<IRawVolume>& volume,
                     SlotFailure* pFailure = nullptr);

// Any bytes of a raw volume, read as a volume takes transfers: the whole
// sectors around them, into a buffer on a sector. A file system's fields
// and tables lie at byte offsets of their own.
class CVolumeBytes {
public:
    CVolumeBytes(IRawVolume& volume, uint32_t nSectorBytes) : m_volume(volume), m_nSectorBytes(nSectorBytes) {}
    // False when the volume does not give them; the volume's position is
    // wherever the read left it.
    bool ReadAt(int64_t nOffset, uint32_t nBytes, uint8_t* pOut);

private:
    IRawVolume& m_volume;
    const uint32_t m_nSectorBytes;
    CAlignedBuffer m_sectors;
};
