#include "bay/bay_raw_volumes.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// How much of its start a mounted file system keeps in the system's cache
// (boot sector and the first sectors of its tables).
constexpr uint64_t BAY_MOUNTED_CACHE_BYTES = 4096;

// A volume handle bypasses the system's cache, so a drive with 4096-byte
// sectors takes transfers only from buffers that start on a sector.
constexpr uintptr_t BAY_SECTOR_BYTES = 4096;

bool IsSectorAligned(const void* pBuffer)
{
    return reinterpret_cast<uintptr_t>(pBuffer) % BAY_SECTOR_BYTES == 0;
}

class CBayRawVolume : public IRawVolume {
public:
    CBayRawVolume(CBayState& state, wchar_t chLetter, std::fstream file, uint64_t nLength, bool bWritable)
        : m_state(state), m_chLetter(chLetter), m_file(std::move(file)), m_nLength(nLength), m_bWritable(bWritable)
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
        if (!m_mountedCache.empty()) {
            m_file.clear();
            m_file.seekp(0);
            m_file.write(m_mountedCache.data(), static_cast<std::streamsize>(m_mountedCache.size()));
            m_file.flush();
        }
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
        if (!m_state.TakeRead(m_chLetter, nWanted))
            return false;
        if (nWanted == 0)
            return true;
        // The count went up before the bytes were fetched, so two opens
        // reading at once cannot both slip under read-fail-after.
        m_file.clear();
        if (!m_file.seekg(static_cast<std::streamoff>(m_nPosition))
            || !m_file.read(static_cast<char*>(pBuffer), static_cast<std::streamsize>(nWanted))) {
            m_state.GiveBackRead(m_chLetter, nWanted);
            return false;
        }
        m_nPosition += nWanted;
        nRead = static_cast<uint32_t>(nWanted);
        return true;
    }

    bool Write(const void* pBuffer, uint32_t nBytes, uint32_t& nWritten) override
    {
        nWritten = 0;
        if (!IsSectorAligned(pBuffer) || !m_bWritable || m_nPosition > m_nLength || nBytes > m_nLength - m_nPosition)
            return false;
        auto doneAt = std::chrono::steady_clock::now();
        if (!m_state.TakeWrite(m_chLetter, nBytes, BayWriteKind::Raw, doneAt))
            return false;
        if (!m_bDismounted && !m_bWrote)
            RememberMountedStart();
        if (nBytes > 0) {
            // Flushed at once: another open, or the test, reads the image next.
            m_file.clear();
            if (!m_file.seekp(static_cast<std::streamoff>(m_nPosition))
                || !m_file.write(static_cast<const char*>(pBuffer), static_cast<std::streamsize>(nBytes))
                || !m_file.flush())
                return false;
        }
        // The drive is still writing; no lock is held while waiting for it.
        std::this_thread::sleep_until(doneAt);
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
        m_file.clear();
        if (!m_file.seekg(0) || !m_file.read(m_mountedCache.data(), static_cast<std::streamsize>(m_mountedCache.size())))
            m_mountedCache.clear();
    }

    CBayState& m_state;
    const wchar_t m_chLetter;
    std::fstream m_file;
    const uint64_t m_nLength;   // the image's size at the open; a volume does not grow
    const bool m_bWritable;
    uint64_t m_nPosition = 0;
    bool m_bHoldsLock = false;
    bool m_bWrote = false;
    bool m_bDismounted = false;
    // The start of the volume as its mounted file system has it cached.
    std::string m_mountedCache;
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
    return std::make_unique<CBayRawVolume>(m_state, pDrive->chLetter, std::move(file), nLength, bWritable);
}
