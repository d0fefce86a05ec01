#include "platform/win32/volume_queries_win32.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "base/win32/handles_win32.h"
#include "platform/win32/seam_error_win32.h"
#include "platform/drive_paths.h"

namespace {

// The layouts the device answers are read at these byte offsets.
constexpr DWORD DEVICE_DESCRIPTOR_BUFFER_SIZE = 551;
constexpr size_t DEVICE_DESCRIPTOR_SIZE_OFFSET = 4;
constexpr size_t DEVICE_DESCRIPTOR_BUS_TYPE_OFFSET = 28;
constexpr DWORD MEDIA_TYPES_BUFFER_SIZE = 2048;
constexpr size_t MEDIA_TYPES_DISK_MEDIA_TYPE_OFFSET = 16;
constexpr size_t DISK_GEOMETRY_MEDIA_TYPE_OFFSET = 8;
constexpr DWORD QUERY_DOS_DEVICE_CHARS = 260;
// GetVolumeInformationW's own bound for a file-system name (MAX_PATH + 1).
constexpr DWORD FILE_SYSTEM_NAME_CHARS = 260;

static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x2D1400, "storage property query code");
static_assert(IOCTL_STORAGE_GET_MEDIA_TYPES_EX == 0x2D0C04, "media types query code");
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY == 0x70000, "drive geometry query code");
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12, "property query size");
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, Size) == DEVICE_DESCRIPTOR_SIZE_OFFSET, "descriptor Size");
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == DEVICE_DESCRIPTOR_BUS_TYPE_OFFSET, "descriptor BusType");
static_assert(offsetof(GET_MEDIA_TYPES, MediaInfo) + offsetof(DEVICE_MEDIA_INFO, DeviceSpecific.DiskInfo.MediaType)
                  == MEDIA_TYPES_DISK_MEDIA_TYPE_OFFSET, "media info MediaType");
static_assert(sizeof(DISK_GEOMETRY) == 24 && offsetof(DISK_GEOMETRY, MediaType) == DISK_GEOMETRY_MEDIA_TYPE_OFFSET,
              "geometry MediaType");

uint32_t ReadUInt32(const std::vector<BYTE>& buffer, size_t nOffset)
{
    uint32_t nValue = 0;
    std::memcpy(&nValue, buffer.data() + nOffset, sizeof(nValue));
    return nValue;
}

CUniqueFileHandle OpenDevice(int nDriveIndex)
{
    if (!IsDriveIndex(nDriveIndex))
        return CUniqueFileHandle();
    const std::wstring strDevice = L"\\\\.\\" + MakeDriveDevice(nDriveIndex);
    return CUniqueFileHandle(CreateFileW(strDevice.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
}

}  // namespace

uint32_t CWin32VolumeQueries::GetLogicalDrives()
{
    return ::GetLogicalDrives();
}

uint32_t CWin32VolumeQueries::GetDriveKind(int nDriveIndex)
{
    if (!IsDriveIndex(nDriveIndex))
        return DRIVE_KIND_NO_ROOT_DIR;
    // A root directory: the two character form would name the drive's
    // current directory instead.
    return ::GetDriveTypeW(MakeDriveRoot(nDriveIndex).c_str());
}

bool CWin32VolumeQueries::QueryDosDevicePath(int nDriveIndex, std::wstring& strDosPath)
{
    if (!IsDriveIndex(nDriveIndex)) {
        SetSeamError(ERROR_INVALID_DRIVE);
        return false;
    }
    std::vector<wchar_t> buffer(QUERY_DOS_DEVICE_CHARS, L'\0');
    if (!KeepLastError(::QueryDosDeviceW(MakeDriveDevice(nDriveIndex).c_str(), buffer.data(), QUERY_DOS_DEVICE_CHARS)
                       != 0))
        return false;
    strDosPath = buffer.data();   // the first of the returned names
    return true;
}

uint32_t CWin32VolumeQueries::QueryBusType(int nDriveIndex)
{
    CUniqueFileHandle device = OpenDevice(nDriveIndex);
    if (!device)
        return 0;
    std::vector<BYTE> buffer(DEVICE_DESCRIPTOR_BUFFER_SIZE, 0);
    const DWORD nSize = DEVICE_DESCRIPTOR_BUFFER_SIZE;
    std::memcpy(buffer.data() + DEVICE_DESCRIPTOR_SIZE_OFFSET, &nSize, sizeof(nSize));
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    DWORD nReturned = 0;
    if (!DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer.data(),
                         DEVICE_DESCRIPTOR_BUFFER_SIZE, &nReturned, nullptr))
        return 0;
    return ReadUInt32(buffer, DEVICE_DESCRIPTOR_BUS_TYPE_OFFSET);
}

uint32_t CWin32VolumeQueries::QueryMediaType(int nDriveIndex)
{
    CUniqueFileHandle device = OpenDevice(nDriveIndex);
    if (!device)
        return 0;
    std::vector<BYTE> buffer(MEDIA_TYPES_BUFFER_SIZE, 0);
    DWORD nReturned = 0;
    if (DeviceIoControl(device.get(), IOCTL_STORAGE_GET_MEDIA_TYPES_EX, buffer.data(), MEDIA_TYPES_BUFFER_SIZE,
                        buffer.data(), MEDIA_TYPES_BUFFER_SIZE, &nReturned, nullptr) == TRUE)
        return ReadUInt32(buffer, MEDIA_TYPES_DISK_MEDIA_TYPE_OFFSET);
    std::vector<BYTE> geometry(sizeof(DISK_GEOMETRY), 0);
    if (DeviceIoControl(device.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geometry.data(),
                        static_cast<DWORD>(geometry.size()), &nReturned, nullptr) == TRUE)
        return ReadUInt32(geometry, DISK_GEOMETRY_MEDIA_TYPE_OFFSET);
    return 0;
}

uint64_t CWin32VolumeQueries::GetVolumeTotalBytes(int nDriveIndex)
{
    if (!IsDriveIndex(nDriveIndex))
        return 0;
    // Preset to 0 and the call's result ignored: a drive without media or
    // with an unreadable file system leaves it at 0, which rejects the drive.
    ULARGE_INTEGER total{};
    ::GetDiskFreeSpaceExW(MakeDriveRoot(nDriveIndex).c_str(), nullptr, &total, nullptr);
    return total.QuadPart;
}

uint64_t CWin32VolumeQueries::GetVolumeFreeBytes(int nDriveIndex)
{
    if (!IsDriveIndex(nDriveIndex))
        return 0;
    // The fourth argument, the whole volume's free space: the second is only
    // what a disk quota leaves this user.
    ULARGE_INTEGER totalFree{};
    if (!KeepLastError(::GetDiskFreeSpaceExW(MakeDriveRoot(nDriveIndex).c_str(), nullptr, nullptr, &totalFree)
                       != FALSE))
        return 0;
    return totalFree.QuadPart;
}

bool CWin32VolumeQueries::GetFileSystemName(int nDriveIndex, std::wstring& strName)
{
    if (!IsDriveIndex(nDriveIndex)) {
        SetSeamError(ERROR_INVALID_DRIVE);
        return false;
    }
    std::vector<wchar_t> buffer(FILE_SYSTEM_NAME_CHARS, L'\0');
    if (!KeepLastError(::GetVolumeInformationW(MakeDriveRoot(nDriveIndex).c_str(), nullptr, 0, nullptr, nullptr,
                                               nullptr, buffer.data(), FILE_SYSTEM_NAME_CHARS)
                       != FALSE))
        return false;
    // Read up to the terminator, never past the buffer, whatever was written.
    strName.assign(buffer.begin(), std::find(buffer.begin(), buffer.end(), L'\0'));
    return true;
}
