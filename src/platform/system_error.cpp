#include "platform/system_error.h"

namespace {

thread_local uint32_t t_nSeamError = SYSERR_NONE;

}  // namespace

uint32_t TakeSeamError()
{
    const uint32_t nError = t_nSeamError;
    t_nSeamError = SYSERR_NONE;
    return nError;
}

void SetSeamError(uint32_t nError)
{
    t_nSeamError = nError;
}

bool IsDeviceGoneError(uint32_t nError)
{
    switch (nError) {
    // A device path that names nothing any more: CreateFileW on "\\.\E:"
    // of a letter whose stick was pulled.
    case SYSERR_FILE_NOT_FOUND:
    case SYSERR_PATH_NOT_FOUND:
    case SYSERR_NOT_READY:
    case SYSERR_DEV_NOT_EXIST:
    case SYSERR_NO_SUCH_DEVICE:
    case SYSERR_DEVICE_NOT_CONNECTED:
    case SYSERR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}
