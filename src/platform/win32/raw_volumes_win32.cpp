#include "platform/win32/raw_volumes_win32.h"

#include <windows.h>
#include <winioctl.h>

#include "base/win32/handles_win32.h"
#include "platform/drive_paths.h"
#include "platform/win32/seam_error_win32.h"

static_assert(FSCTL_LOCK_VOLUME == 0x90018, "volume lock code");
static_assert(FSCTL_DISMOUNT_VOLUME == 0x90020, "volume dismount code");
static_assert(FSCTL_ALLOW_EXTENDED_DASD_IO == 0x90083, "extended volume access code");
static_assert(IOCTL_DISK_GET_LENGTH_INFO == 0x7405C, "volume length code");
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY == 0x70000, "drive geometry code");
static_assert(IOCTL_DISK_GET_PARTITION_INFO_EX == 0x70048, "partition information code");

namespace {

class CWin32RawVolume : public IRawVolume {
public:
    explicit CWin32RawVolume(CUniqueFileHandle volume) : m_volume(std::move(volume)) {}

    bool Lock() override
    {
        if (!Control(FSCTL_LOCK_VOLUME))
            return false;
        // Without it the system stops reads and writes at the end its file
        // system knows, short of the volume's own end: NTFS keeps its backup
        // boot sector past that. A refusal leaves the copy no worse than
        // without the control, so it does not fail the lock.
        // Not through Control: its refusal is no reason for anything.
        DWORD nReturned = 0;
        ::DeviceIoControl(m_volume.get(), FSCTL_ALLOW_EXTENDED_DASD_IO, nullptr, 0, nullptr, 0, &nReturned, nullptr);
        return true;
    }
    bool Dismount() override { return Control(FSCTL_DISMOUNT_VOLUME); }

    bool SeekTo(int64_t nOffset) override
    {
        LARGE_INTEGER position{};
        position.QuadPart = nOffset;
        return KeepLastError(::SetFilePointerEx(m_volume.get(), position, nullptr, FILE_BEGIN) != FALSE);
    }

    // The caller asks for whole sectors within the volume: Windows fails a
    // transfer that crosses a volume's end whole, where Wine, which opens an
    // image file here, gives a short one.
    bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) override
    {
        DWORD nDone = 0;
        const bool bOk = KeepLastError(::ReadFile(m_volume.get(), pBuffer, nBytes, &nDone, nullptr) != FALSE);
        nRead = nDone;
        return bOk;
    }

    bool Write(const void* pBuffer, uint32_t nBytes, uint32_t& nWritten) override
    {
        DWORD nDone = 0;
        const bool bOk = KeepLastError(::WriteFile(m_volume.get(), pBuffer, nBytes, &nDone, nullptr) != FALSE);
        nWritten = nDone;
        return bOk;
    }

    // On a volume handle FlushFileBuffers flushes every open file of the
    // volume and the volume's own writes, through the drive's cache.
    bool Flush() override { return KeepLastError(::FlushFileBuffers(m_volume.get()) != FALSE); }

    bool GetLength(int64_t& nBytes) override
    {
        GET_LENGTH_INFORMATION length{};
        DWORD nReturned = 0;
        if (!KeepLastError(::DeviceIoControl(m_volume.get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                             sizeof(length), &nReturned, nullptr)
                           != FALSE))
            return false;
        nBytes = length.Length.QuadPart;
        return true;
    }

    bool GetSectorSize(uint32_t& nBytes) override
    {
        DISK_GEOMETRY geometry{};
        DWORD nReturned = 0;
        if (!::DeviceIoControl(m_volume.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                               sizeof(geometry), &nReturned, nullptr)
            || geometry.BytesPerSector == 0)
            return false;
        nBytes = geometry.BytesPerSector;
        return true;
    }

    bool GetPartitionOffset(int64_t& nBytes) override
    {
        PARTITION_INFORMATION_EX partition{};
        DWORD nReturned = 0;
        if (!::DeviceIoControl(m_volume.get(), IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &partition,
                               sizeof(partition), &nReturned, nullptr))
            return false;
        nBytes = partition.StartingOffset.QuadPart;
        return true;
    }

private:
    bool Control(DWORD nCode)
    {
        DWORD nReturned = 0;
        return KeepLastError(::DeviceIoControl(m_volume.get(), nCode, nullptr, 0, nullptr, 0, &nReturned, nullptr)
                             != FALSE);
    }

    CUniqueFileHandle m_volume;
};

}  // namespace

std::unique_ptr<IRawVolume> CWin32RawVolumes::OpenVolume(const std::wstring& strDevice)
{
    const wchar_t chLetter = DriveLetterOfPath(strDevice);
    if (chLetter == L'\0') {
        SetSeamError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const std::wstring strPath = std::wstring(L"\\\\.\\") + chLetter + L":";
    // No unbuffered or write-through flag: whole 64 KiB chunks, in order.
    CUniqueFileHandle volume(::CreateFileW(strPath.c_str(), GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!KeepLastError(static_cast<bool>(volume)))
        return nullptr;
    return std::make_unique<CWin32RawVolume>(std::move(volume));
}
