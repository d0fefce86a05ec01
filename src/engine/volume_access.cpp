#include "engine/volume_access.h"

#include <cstring>
#include <limits>

#include "platform/drive_paths.h"
#include "platform/raw_volumes.h"
#include "platform/sleeper.h"
#include "platform/volume_queries.h"

int64_t MeasureVolume(IVolumeQueries& volumes, IRawVolumes& rawVolumes, const std::wstring& strPathOnVolume,
                      SlotFailure* pFailure)
{
    const int nDriveIndex = DriveIndexOfPath(strPathOnVolume);
    if (nDriveIndex == NO_DRIVE_INDEX)
        return 0;
    std::unique_ptr<IRawVolume> volume = rawVolumes.OpenVolume(MakeDriveDevice(nDriveIndex));
    int64_t nLength = 0;
    if (volume && volume->GetLength(nLength) && nLength > 0)
        return nLength;
    // The raw side's reason: the capacity's question below gives none.
    NoteFailure(pFailure, FAIL_STEP_MEASURING);
    const uint64_t nCapacity = volumes.GetVolumeTotalBytes(nDriveIndex);
    TakeSeamError();
    return nCapacity > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
               ? std::numeric_limits<int64_t>::max()
               : static_cast<int64_t>(nCapacity);
}

int OpenLockedVolume(IVolumeQueries& volumes, IRawVolumes& rawVolumes, ISleeper& sleeper, const RunTiming& timing,
                     const std::wstring& strDevice, std::unique_ptr<IRawVolume>& volume, SlotFailure* pFailure)
{
    const int nDriveIndex = DriveIndexOfPath(strDevice);
    for (int nAttempt = 0; nAttempt < timing.m_nVolumeAttempts; ++nAttempt) {
        SlotFailure refusal;
        std::wstring strDosPath;
        if (!volumes.QueryDosDevicePath(nDriveIndex, strDosPath)) {
            NoteFailure(&refusal, FAIL_STEP_OPENING);
        } else {
            volume = rawVolumes.OpenVolume(strDevice);
            if (!volume)
                NoteFailure(&refusal, FAIL_STEP_OPENING);
            else if (!volume->Lock())
                NoteFailure(&refusal, FAIL_STEP_LOCKING);
            else if (!volume->Dismount())
                NoteFailure(&refusal, FAIL_STEP_DISMOUNTING);
            else
                return 1;
        }
        volume.reset();
        if (pFailure != nullptr)
            *pFailure = refusal;
        // A busy volume may be free after the pause; a gone device never is.
        if (IsDeviceGoneError(refusal.nError))
            return 0;
        sleeper.SleepFor(timing.m_volumeRetryPause);
    }
    return 0;
}

bool CVolumeBytes::ReadAt(int64_t nOffset, uint32_t nBytes, uint8_t* pOut)
{
    if (nOffset < 0 || m_nSectorBytes == 0)
        return false;
    const int64_t nSector = m_nSectorBytes;
    const int64_t nFirst = nOffset - nOffset % nSector;
    const int64_t nEnd = (nOffset + nBytes + nSector - 1) / nSector * nSector;
    const size_t nSpan = static_cast<size_t>(nEnd - nFirst);
    if (m_sectors.size() < nSpan && !m_sectors.Allocate(nSpan))
        return false;
    uint32_t nRead = 0;
    if (!m_volume.SeekTo(nFirst) || !m_volume.Read(m_sectors.data(), static_cast<uint32_t>(nSpan), nRead)
        || nRead != nSpan)
        return false;
    std::memcpy(pOut, m_sectors.data() + (nOffset - nFirst), nBytes);
    return true;
}
