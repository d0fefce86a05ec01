#pragma once
// The system's own reason for a seam call that failed: a Win32 error
// number, kept per thread as Win32 keeps its last error. Every failing call
// of a seam sets it before it returns (the Windows side from GetLastError
// at once, before any other call can overwrite it; the bay from its
// faults), so the engine that meets the failure can take it along with the
// step that failed. 0 means the seam knew of no reason.

#include <cstdint>

// Win32 error numbers (winerror.h) that the program and the bay name.
constexpr uint32_t SYSERR_NONE = 0;
constexpr uint32_t SYSERR_FILE_NOT_FOUND = 2;
constexpr uint32_t SYSERR_PATH_NOT_FOUND = 3;
constexpr uint32_t SYSERR_ACCESS_DENIED = 5;
constexpr uint32_t SYSERR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t SYSERR_WRITE_PROTECT = 19;
constexpr uint32_t SYSERR_NOT_READY = 21;
constexpr uint32_t SYSERR_CRC = 23;
constexpr uint32_t SYSERR_WRITE_FAULT = 29;
constexpr uint32_t SYSERR_READ_FAULT = 30;
constexpr uint32_t SYSERR_GEN_FAILURE = 31;
constexpr uint32_t SYSERR_SHARING_VIOLATION = 32;
constexpr uint32_t SYSERR_LOCK_VIOLATION = 33;
constexpr uint32_t SYSERR_DEV_NOT_EXIST = 55;
constexpr uint32_t SYSERR_INVALID_PARAMETER = 87;
constexpr uint32_t SYSERR_DISK_FULL = 112;
constexpr uint32_t SYSERR_INVALID_NAME = 123;
constexpr uint32_t SYSERR_MOD_NOT_FOUND = 126;
constexpr uint32_t SYSERR_PROC_NOT_FOUND = 127;
constexpr uint32_t SYSERR_NEGATIVE_SEEK = 131;
constexpr uint32_t SYSERR_BUSY = 170;
constexpr uint32_t SYSERR_ALREADY_EXISTS = 183;
constexpr uint32_t SYSERR_FILE_TOO_LARGE = 223;
constexpr uint32_t SYSERR_OPERATION_ABORTED = 995;
constexpr uint32_t SYSERR_NO_SUCH_DEVICE = 433;
constexpr uint32_t SYSERR_FILE_SYSTEM_LIMITATION = 665;
constexpr uint32_t SYSERR_MEDIA_CHANGED = 1110;
constexpr uint32_t SYSERR_IO_DEVICE = 1117;
constexpr uint32_t SYSERR_DEVICE_NOT_CONNECTED = 1167;
constexpr uint32_t SYSERR_REQUEST_ABORTED = 1235;
constexpr uint32_t SYSERR_DEVICE_REMOVED = 1617;

// The last failing seam call's reason on this thread, which is then
// forgotten: a later failure that knows no reason must not show an older one.
uint32_t TakeSeamError();
void SetSeamError(uint32_t nError);

// True for the reasons that say the drive's device is gone (pulled out, no
// media): waiting for it helps nothing, unlike a volume some program holds.
bool IsDeviceGoneError(uint32_t nError);
