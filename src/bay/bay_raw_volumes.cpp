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

namespace {

// How much of its start a mounted file system keeps in the system's cache
// (boot sector and the first sectors of its tables).
constexpr uint64_t BAY_MOUNTED_CACHE_BYTES = 4096;

class CBayRawVolume : public IRawVolume {
public:
    CBayRawVolume(CBayState& state, const BayDrive& drive, std::fstream file, uint64_t nLength, bool bWritable)
        : m_state(state), m_chLetter(drive.chLetter), m_nWrapAt(drive.wrapAtBytes.value_or(0)),
          m_file(std::move(file)), m_nLength(nLength), m_bWritable(bWritable)
    {
    }

    ~CBayRawVolume() override
    {
        // Closing flushes: the drive has what was written before the volume
        // is let go, so a copy's end is not counted before the drive's.
        if (m_bWrote)
            std::this_thread::sleep_until(m_state.WritesDoneAt(m_chLetter));
        // A file system still mounted never learned of the raw writes: when
        // the lock ends the system writes its cached view of the volume's
        // start back over them, as Windows does.
        if (!m_mountedCache.empty())
            StoreAt(0, m_mountedCache.data(), m_mountedCache.size());
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

    bool SeekToStart() override
    {
        m_nPosition = 0;
        return true;
    }

    bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) override
    {
        nRead = 0;
        if (!IsSectorAligned(pBuffer))
            return false;
        const uint64_t nWanted = m_nPosition >= m_nLength ? 0 : std::min<uint64_t>(nBytes, m_nLength - m_nPosition);
        auto doneAt = std::chrono::steady_clock::now();
        if (!m_state.TakeRead(m_chLetter, nWanted, doneAt))
            return false;
        if (nWanted == 0)
            return true;
        // The count went up before the bytes were fetched, so two opens
        // reading at once cannot both slip under read-fail-after.
        if (!FetchAt(m_nPosition, static_cast<char*>(pBuffer), nWanted)) {
            m_state.GiveBackRead(m_chLetter, nWanted);
            return false;
        }
        // The drive is still reading; no lock is held while waiting for it.
        std::this_thread::sleep_until(doneAt);
        m_nPosition += nWanted;
        nRead = static_cast<uint32_t>(nWanted);
        return true;
    }

    bool Write(const void* pBuffer, uint32_t nBytes, uint32_t& nWritten) override
    {
        nWritten = 0;
        if (!IsSectorAligned(pBuffer) || !m_bWritable || m_nPosition > m_nLength || nBytes > m_nLength - m_nPosition)
            return false;
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
        if (!StoreAt(m_nPosition, pStored, nBytes))
            return false;
        // The drive is still writing; no lock is held while waiting for it.
        std::this_thread::sleep_until(taken.doneAt);
        m_nPosition += nBytes;
        nWritten = nBytes;
        m_bWrote = true;
        return true;
    }

    bool GetLength(int64_t& nBytes) override
    {
        if (!IsPresent())
            return false;
        nBytes = static_cast<int64_t>(m_nLength);
        return true;
    }

private:
    bool IsPresent() const { return m_state.PresentDrive(m_chLetter) != nullptr; }

    void RememberMountedStart()
    {
        m_mountedCache.assign(static_cast<size_t>(std::min(BAY_MOUNTED_CACHE_BYTES, m_nLength)), '\0');
        if (!FetchAt(0, m_mountedCache.data(), m_mountedCache.size()))
            m_mountedCache.clear();
    }

    // A drive that stores fewer bytes than it reports keeps the byte of each
    // offset at offset modulo what it stores. A transfer that runs past that
    // end goes on at the image's start, so it is made in runs that stop there.
    uint64_t ImageOffset(uint64_t nPosition) const { return m_nWrapAt != 0 ? nPosition % m_nWrapAt : nPosition; }
    uint64_t RunFrom(uint64_t nPosition, uint64_t nBytes) const
    {
        return m_nWrapAt != 0 ? std::min(nBytes, m_nWrapAt - nPosition % m_nWrapAt) : nBytes;
    }

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

    CBayState& m_state;
    const wchar_t m_chLetter;
    const uint64_t m_nWrapAt;   // 0: the drive stores all it reports
    std::fstream m_file;
    const uint64_t m_nLength;   // the image's size at the open; a volume does not grow
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
    if (pDrive == nullptr || pDrive->backing != BayBacking::Image || !m_state.AdmitOpen(pDrive->chLetter))
        return nullptr;
    // Only the size is asked: a sparse image of a terabyte is never read whole.
    std::error_code ec;
    const uint64_t nLength = std::filesystem::file_size(pDrive->backingPath, ec);
    if (ec)
        return nullptr;
    // A read-only image still opens; its writes fail before the drive counts them.
    std::fstream file(pDrive->backingPath, std::ios::binary | std::ios::in | std::ios::out);
    const bool bWritable = file.is_open();
    if (!bWritable)
        file.open(pDrive->backingPath, std::ios::binary | std::ios::in);
    if (!file.is_open())
        return nullptr;
    return std::make_unique<CBayRawVolume>(m_state, *pDrive, std::move(file), nLength, bWritable);
}
