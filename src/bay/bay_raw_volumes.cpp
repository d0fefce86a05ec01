#include "bay/bay_raw_volumes.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "bay/bay_sector.h"
#include "platform/system_error.h"

namespace {

// How much of its start a mounted file system keeps in the system's cache
// (boot sector and the first sectors of its tables).
constexpr uint64_t BAY_MOUNTED_CACHE_BYTES = 4096;

// The bytes of an image drive's volume in its image file. A drive that
// stores fewer bytes than it reports (wrap-at) keeps the byte of each offset
// at offset modulo what it stores; a transfer that runs past that end goes
// on at the image's start, so it is made in runs that stop there.
class CBayImage {
public:
    CBayImage(std::fstream file, uint64_t nWrapAt) : m_file(std::move(file)), m_nWrapAt(nWrapAt) {}

    bool FetchAt(uint64_t nPosition, char* pBytes, uint64_t nBytes)
    {
        m_file.clear();
        for (uint64_t nDone = 0; nDone < nBytes;) {
            const uint64_t nRun = RunFrom(nPosition + nDone, nBytes - nDone);
            if (!m_file.seekg(static_cast<std::streamoff>(ImageOffset(nPosition + nDone)))
                || !m_file.read(pBytes + nDone, static_cast<std::streamsize>(nRun)))
                return false;
            nDone += nRun;
        }
        return true;
    }

    // Flushed at once: another open, or the test, reads the image next.
    bool StoreAt(uint64_t nPosition, const char* pBytes, uint64_t nBytes)
    {
        m_file.clear();
        for (uint64_t nDone = 0; nDone < nBytes;) {
            const uint64_t nRun = RunFrom(nPosition + nDone, nBytes - nDone);
            if (!m_file.seekp(static_cast<std::streamoff>(ImageOffset(nPosition + nDone)))
                || !m_file.write(pBytes + nDone, static_cast<std::streamsize>(nRun)))
                return false;
            nDone += nRun;
        }
        return static_cast<bool>(m_file.flush());
    }

private:
    uint64_t ImageOffset(uint64_t nPosition) const { return m_nWrapAt != 0 ? nPosition % m_nWrapAt : nPosition; }
    uint64_t RunFrom(uint64_t nPosition, uint64_t nBytes) const
    {
        return m_nWrapAt != 0 ? std::min(nBytes, m_nWrapAt - nPosition % m_nWrapAt) : nBytes;
    }

    std::fstream m_file;
    const uint64_t m_nWrapAt;   // 0: the drive stores all it reports
};

class CBayRawVolume : public IRawVolume {
public:
    CBayRawVolume(CBayState& state, const BayDrive& drive, std::fstream file, uint64_t nLength, bool bWritable)
        : m_state(state), m_chLetter(drive.chLetter), m_nSectorBytes(drive.nSectorBytes),
          m_nPartitionOffset(drive.nPartitionOffset),
          m_image(std::move(file), drive.wrapAtBytes.value_or(0)), m_nLength(nLength), m_bWritable(bWritable)
    {
    }

    ~CBayRawVolume() override
    {
        // A file system still mounted never learned of the raw writes: when
        // the lock ends the system writes its cached view of the volume's
        // start back over them, as Windows does. Closing flushes nothing:
        // what was not flushed stays in the drive's cache.
        if (!m_mountedCache.empty())
            m_image.StoreAt(0, m_mountedCache.data(), m_mountedCache.size());
        if (m_bHoldsLock)
            m_state.ReleaseLock(m_chLetter);
    }

    CBayRawVolume(const CBayRawVolume&) = delete;
    CBayRawVolume& operator=(const CBayRawVolume&) = delete;

    bool Lock() override
    {
        if (!m_bHoldsLock)
            m_bHoldsLock = m_state.TakeLock(m_chLetter);
        return m_bHoldsLock && IsPresent();
    }

    // An image's file system counts as mounted until the volume is
    // dismounted; a handle on a drive still there dismounts.
    bool Dismount() override
    {
        m_bDismounted = IsPresent();
        return m_bDismounted;
    }

    // Windows takes any position on a sector, past the end too (a transfer
    // from there fails then); a volume handle, unbuffered, refuses one off
    // a sector, and any handle one before the start.
    bool SeekTo(int64_t nOffset) override
    {
        if (nOffset < 0) {
            SetSeamError(SYSERR_NEGATIVE_SEEK);
            return false;
        }
        if (!IsWholeSectors(static_cast<uint64_t>(nOffset), m_nSectorBytes)) {
            SetSeamError(SYSERR_INVALID_PARAMETER);
            return false;
        }
        m_nPosition = static_cast<uint64_t>(nOffset);
        return true;
    }

    bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) override
    {
        nRead = 0;
        if (!IsWholeTransfer(pBuffer, nBytes)) {
            SetSeamError(SYSERR_INVALID_PARAMETER);
            return false;
        }
        auto doneAt = std::chrono::steady_clock::now();
        if (!m_state.TakeRead(m_chLetter, nBytes, doneAt))
            return false;
        // The count went up before the bytes were fetched, so two opens
        // reading at once cannot both slip under read-fail-after.
        if (!m_image.FetchAt(m_nPosition, static_cast<char*>(pBuffer), nBytes)) {
            m_state.GiveBackRead(m_chLetter, nBytes);
            SetSeamError(SYSERR_READ_FAULT);
            return false;
        }
        // The drive is still reading; no lock is held while waiting for it.
        std::this_thread::sleep_until(doneAt);
        m_nPosition += nBytes;
        nRead = nBytes;
        return true;
    }

    bool Write(const void* pBuffer, uint32_t nBytes, uint32_t& nWritten) override
    {
        nWritten = 0;
        if (!IsWholeTransfer(pBuffer, nBytes)) {
            SetSeamError(SYSERR_INVALID_PARAMETER);
            return false;
        }
        // A read-only image is a medium the system cannot write.
        if (!m_bWritable) {
            SetSeamError(SYSERR_WRITE_PROTECT);
            return false;
        }
        BayWriteTaken taken;
        if (!m_state.TakeWrite(m_chLetter, nBytes, BayWriteKind::Raw, taken))
            return false;
        if (!m_bDismounted && !m_bWrote)
            RememberMountedStart();
        const char* pStored = static_cast<const char*>(pBuffer);
        if (taken.nStoredRight < nBytes) {
            m_storedWrong.assign(pStored, pStored + nBytes);
            StoreWrong(m_storedWrong.data() + taken.nStoredRight, nBytes - taken.nStoredRight);
            pStored = m_storedWrong.data();
        }
        if (!m_image.StoreAt(m_nPosition, pStored, nBytes)) {
            SetSeamError(SYSERR_WRITE_FAULT);
            return false;
        }
        m_state.NoteRawWrite(m_chLetter, m_nPosition, nBytes);
        // The drive is still writing; no lock is held while waiting for it.
        std::this_thread::sleep_until(taken.doneAt);
        m_nPosition += nBytes;
        nWritten = nBytes;
        m_bWrote = true;
        return true;
    }

    bool Flush() override { return m_state.Flush(m_chLetter); }

    bool GetLength(int64_t& nBytes) override
    {
        if (!IsPresent())
            return false;
        nBytes = static_cast<int64_t>(m_nLength);
        return true;
    }

    bool GetSectorSize(uint32_t& nBytes) override
    {
        if (!IsPresent())
            return false;
        nBytes = m_nSectorBytes;
        return true;
    }

    bool GetPartitionOffset(int64_t& nBytes) override
    {
        if (!IsPresent())
            return false;
        nBytes = static_cast<int64_t>(m_nPartitionOffset);
        return true;
    }

private:
    // A handle on a drive that was pulled out fails every call as Windows
    // fails it: the device no longer exists.
    bool IsPresent() const
    {
        if (m_state.PresentDrive(m_chLetter) != nullptr)
            return true;
        SetSeamError(SYSERR_DEV_NOT_EXIST);
        return false;
    }

    // Whole sectors at a whole-sector position from a buffer on a sector,
    // and nothing past the volume's end: Windows fails any other transfer
    // whole, short of the end as much as across it.
    bool IsWholeTransfer(const void* pBuffer, uint32_t nBytes) const
    {
        return IsSectorAligned(pBuffer, m_nSectorBytes) && IsWholeSectors(nBytes, m_nSectorBytes)
               && IsWholeSectors(m_nPosition, m_nSectorBytes) && m_nPosition <= m_nLength
               && nBytes <= m_nLength - m_nPosition;
    }

    void RememberMountedStart()
    {
        m_mountedCache.assign(static_cast<size_t>(std::min(BAY_MOUNTED_CACHE_BYTES, m_nLength)), '\0');
        if (!m_image.FetchAt(0, m_mountedCache.data(), m_mountedCache.size()))
            m_mountedCache.clear();
    }

    CBayState& m_state;
    const wchar_t m_chLetter;
    const uint32_t m_nSectorBytes;
    const uint64_t m_nPartitionOffset;
    CBayImage m_image;
    const uint64_t m_nLength;   // at the open, in whole sectors; a volume does not grow
    const bool m_bWritable;
    uint64_t m_nPosition = 0;
    bool m_bHoldsLock = false;
    bool m_bWrote = false;
    bool m_bDismounted = false;
    // The start of the volume as its mounted file system has it cached.
    std::string m_mountedCache;
    std::vector<char> m_storedWrong;
};

}  // namespace

std::unique_ptr<IRawVolume> CBayRawVolumes::OpenVolume(const std::wstring& strDevice)
{
    const BayDrive* pDrive = m_state.PresentDriveOfDevice(strDevice);
    if (pDrive == nullptr) {
        SetSeamError(SYSERR_FILE_NOT_FOUND);
        return nullptr;
    }
    // A folder drive has no image to stand for its raw volume.
    if (pDrive->backing != BayBacking::Image) {
        SetSeamError(SYSERR_GEN_FAILURE);
        return nullptr;
    }
    if (!m_state.AdmitOpen(pDrive->chLetter))
        return nullptr;
    // Only the size is asked: a sparse image of a terabyte is never read whole.
    std::error_code ec;
    const uint64_t nFileBytes = std::filesystem::file_size(pDrive->backingPath, ec);
    if (ec) {
        SetSeamError(SYSERR_GEN_FAILURE);
        return nullptr;
    }
    // A read-only image still opens; its writes fail before the drive counts them.
    std::fstream file(pDrive->backingPath, std::ios::binary | std::ios::in | std::ios::out);
    const bool bWritable = file.is_open();
    if (!bWritable)
        file.open(pDrive->backingPath, std::ios::binary | std::ios::in);
    if (!file.is_open()) {
        SetSeamError(SYSERR_ACCESS_DENIED);
        return nullptr;
    }
    const uint64_t nLength = nFileBytes - nFileBytes % pDrive->nSectorBytes;
    return std::make_unique<CBayRawVolume>(m_state, *pDrive, std::move(file), nLength, bWritable);
}

bool LoseRawWrites(const BayDrive& drive, const std::map<uint64_t, uint64_t>& runs)
{
    if (runs.empty())
        return true;
    std::fstream file(drive.backingPath, std::ios::binary | std::ios::in | std::ios::out);
    if (!file.is_open())
        return false;
    CBayImage image(std::move(file), drive.wrapAtBytes.value_or(0));
    const std::vector<char> lost(1024 * 1024, BAY_LOST_BYTE);
    for (const auto& [nStart, nEnd] : runs) {
        for (uint64_t nAt = nStart; nAt < nEnd;) {
            const uint64_t nRun = std::min<uint64_t>(lost.size(), nEnd - nAt);
            if (!image.StoreAt(nAt, lost.data(), nRun))
                return false;
            nAt += nRun;
        }
    }
    return true;
}
