#include "engine/storage_class.h"

#include "platform/volume_queries.h"

StorageClass GetStorageClass(uint32_t nBusType, uint32_t nMediaType)
{
    if (nBusType == BUS_KIND_UNKNOWN)
        return STORAGE_CLASS_UNQUERIED;
    switch (nMediaType) {
    case MEDIA_KIND_REMOVABLE:
        return nBusType == BUS_KIND_USB ? STORAGE_CLASS_USB_REMOVABLE : STORAGE_CLASS_OTHER;
    case MEDIA_KIND_FIXED:
        return nBusType == BUS_KIND_USB ? STORAGE_CLASS_USB_FIXED : STORAGE_CLASS_FIXED_OTHER_BUS;
    case MEDIA_KIND_CD_ROM:
    case MEDIA_KIND_CD_R:
    case MEDIA_KIND_CD_RW:
    case MEDIA_KIND_DVD_ROM:
    case MEDIA_KIND_DVD_R:
    case MEDIA_KIND_DVD_RW:
        return STORAGE_CLASS_OPTICAL;
    default:
        return STORAGE_CLASS_OTHER;
    }
}
