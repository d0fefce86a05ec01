#pragma once
// The sector copy's raw volumes over the bay's image drives. Each open has
// its own position and its own stream on the image; what the drive shares
// between opens (its lock, the refusals it has left, the bytes read and
// written, whether it is still there) lives in the bay's state.
//
// The volume is the image file in whole sectors of the drive's sector size:
// it never grows, and a read or write that would cross its end, or that is
// not whole sectors at a whole-sector position from a buffer on a sector,
// moves nothing and fails, as Windows fails it. Writes stay in the drive's
// cache until the volume is flushed (see LoseRawWrites).
// Raw writes go at the drive's pace, stop at its fail-after and remove-after
// and are stored wrong past its corrupt-after; raw reads go at its read
// speed and stop at its read-fail-after. A drive with wrap-at keeps every
// offset at offset modulo wrap-at of its image, while its length stays the
// image's.

#include <map>
#include <memory>
#include <string>

#include "bay/bay_state.h"
#include "platform/raw_volumes.h"

class CBayRawVolumes : public IRawVolumes {
public:
    explicit CBayRawVolumes(CBayState& state) : m_state(state) {}

    // "E:" or "E:\"; nullptr for a letter without an image drive, a drive
    // pulled out, one that still refuses opens, or an image the host cannot open.
    std::unique_ptr<IRawVolume> OpenVolume(const std::wstring& strDevice) override;

private:
    CBayState& m_state;
};

// The drive was pulled out with these [offset, end) runs still in its
// cache: they now hold BAY_LOST_BYTE. False when the image cannot be written.
bool LoseRawWrites(const BayDrive& drive, const std::map<uint64_t, uint64_t>& runs);
