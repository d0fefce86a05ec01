#include "bay/bay_messages.h"

#include "platform/system_error.h"

namespace {

struct BayMessageRow {
    uint32_t nError;
    const wchar_t* pszText;
};

// Windows' own English texts (FormatMessageW, FORMAT_MESSAGE_FROM_SYSTEM).
const BayMessageRow kMessages[] = {
    {SYSERR_FILE_NOT_FOUND, L"The system cannot find the file specified."},
    {SYSERR_PATH_NOT_FOUND, L"The system cannot find the path specified."},
    {SYSERR_ACCESS_DENIED, L"Access is denied."},
    {SYSERR_NOT_ENOUGH_MEMORY, L"Not enough memory resources are available to process this command."},
    {SYSERR_WRITE_PROTECT, L"The media is write protected."},
    {SYSERR_NOT_READY, L"The device is not ready."},
    {SYSERR_CRC, L"Data error (cyclic redundancy check)."},
    {SYSERR_WRITE_FAULT, L"The system cannot write to the specified device."},
    {SYSERR_READ_FAULT, L"The system cannot read from the specified device."},
    {SYSERR_GEN_FAILURE, L"A device attached to the system is not functioning."},
    {SYSERR_SHARING_VIOLATION, L"The process cannot access the file because it is being used by another process."},
    {SYSERR_DEV_NOT_EXIST, L"The specified network resource or device is no longer available."},
    {SYSERR_INVALID_PARAMETER, L"The parameter is incorrect."},
    {SYSERR_DISK_FULL, L"There is not enough space on the disk."},
    {SYSERR_INVALID_NAME, L"The filename, directory name, or volume label syntax is incorrect."},
    {SYSERR_MOD_NOT_FOUND, L"The specified module could not be found."},
    {SYSERR_PROC_NOT_FOUND, L"The specified procedure could not be found."},
    {SYSERR_NEGATIVE_SEEK, L"An attempt was made to move the file pointer before the beginning of the file."},
    {SYSERR_ALREADY_EXISTS, L"Cannot create a file when that file already exists."},
    {SYSERR_FILE_TOO_LARGE, L"The file size exceeds the limit allowed and cannot be saved."},
    {SYSERR_FILE_SYSTEM_LIMITATION, L"The requested operation could not be completed due to a file system limitation"},
    {SYSERR_IO_DEVICE, L"The request could not be performed because of an I/O device error."},
    {SYSERR_REQUEST_ABORTED, L"The request was aborted."},
};

}  // namespace

bool CBayMessages::DescribeError(uint32_t nError, std::wstring& strText)
{
    for (const BayMessageRow& row : kMessages) {
        if (row.nError == nError) {
            strText = row.pszText;
            return true;
        }
    }
    return false;
}
