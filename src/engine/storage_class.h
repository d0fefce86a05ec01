#pragma once
// What kind of storage sits behind a drive letter, as far as deciding whether
// it may be written goes. A pure function of bus and media type so the whole
// table can be checked without devices.

#include <cstdint>

class IVolumeQueries;

enum StorageClass : int {
    STORAGE_CLASS_UNQUERIED = -1,   // bus query failed or reported bus type 0
    STORAGE_CLASS_OTHER = 0,
    STORAGE_CLASS_USB_REMOVABLE = 1,
    STORAGE_CLASS_OPTICAL = 2,
    STORAGE_CLASS_FIXED_OTHER_BUS = 4,
    STORAGE_CLASS_USB_FIXED = 16,
};

StorageClass ClassifyStorage(uint32_t nBusType, uint32_t nMediaType);

// Queries the bus first; the media is asked for only when the bus is known.
StorageClass GetStorageClass(IVolumeQueries& volumes, int nDriveIndex);

inline bool IsWritableStorageClass(StorageClass storageClass)
{
    return storageClass == STORAGE_CLASS_USB_REMOVABLE || storageClass == STORAGE_CLASS_USB_FIXED;
}
