#pragma once
// What kind of storage sits behind a drive letter, as far as deciding whether
// it may be written goes: a pure function of the bus and media types its
// device reports.

#include <cstdint>

enum StorageClass : int {
    STORAGE_CLASS_UNQUERIED = -1,   // bus query failed or reported bus type 0
    STORAGE_CLASS_OTHER = 0,
    STORAGE_CLASS_USB_REMOVABLE = 1,
    STORAGE_CLASS_OPTICAL = 2,
    STORAGE_CLASS_FIXED_OTHER_BUS = 4,
    STORAGE_CLASS_USB_FIXED = 16,
};

StorageClass GetStorageClass(uint32_t nBusType, uint32_t nMediaType);

inline bool IsWritableStorageClass(StorageClass storageClass)
{
    return storageClass == STORAGE_CLASS_USB_REMOVABLE || storageClass == STORAGE_CLASS_USB_FIXED;
}
