#include "engine/storage_class.h"

#include <gtest/gtest.h>

#include "platform/volume_queries.h"

namespace {

struct ClassCase {
    uint32_t nBus;
    uint32_t nMedia;
    StorageClass expected;
};

TEST(StorageClassTest, TableOfBusAndMedia)
{
    const ClassCase cases[] = {
        {BUS_KIND_USB, MEDIA_KIND_REMOVABLE, STORAGE_CLASS_USB_REMOVABLE},
        {BUS_KIND_USB, MEDIA_KIND_FIXED, STORAGE_CLASS_USB_FIXED},
        {BUS_KIND_SATA, MEDIA_KIND_FIXED, STORAGE_CLASS_FIXED_OTHER_BUS},
        {BUS_KIND_NVME, MEDIA_KIND_FIXED, STORAGE_CLASS_FIXED_OTHER_BUS},
        {BUS_KIND_SD, MEDIA_KIND_REMOVABLE, STORAGE_CLASS_OTHER},
        {BUS_KIND_SCSI, MEDIA_KIND_REMOVABLE, STORAGE_CLASS_OTHER},
        {BUS_KIND_USB, MEDIA_KIND_UNKNOWN, STORAGE_CLASS_OTHER},
        {BUS_KIND_USB, 13, STORAGE_CLASS_OTHER},
        {BUS_KIND_USB, 50, STORAGE_CLASS_OTHER},
        {BUS_KIND_USB, 57, STORAGE_CLASS_OTHER},
        {BUS_KIND_UNKNOWN, MEDIA_KIND_REMOVABLE, STORAGE_CLASS_UNQUERIED},
        {BUS_KIND_UNKNOWN, MEDIA_KIND_FIXED, STORAGE_CLASS_UNQUERIED},
    };
    for (const ClassCase& c : cases)
        EXPECT_EQ(c.expected, ClassifyStorage(c.nBus, c.nMedia)) << "bus " << c.nBus << " media " << c.nMedia;
    // Every optical media type, whatever the bus.
    for (uint32_t nMedia = MEDIA_KIND_CD_ROM; nMedia <= MEDIA_KIND_DVD_RW; ++nMedia) {
        EXPECT_EQ(STORAGE_CLASS_OPTICAL, ClassifyStorage(BUS_KIND_USB, nMedia));
        EXPECT_EQ(STORAGE_CLASS_OPTICAL, ClassifyStorage(BUS_KIND_ATA, nMedia));
    }
}

TEST(StorageClassTest, OnlyUsbRemovableAndUsbFixedMayBeWritten)
{
    for (StorageClass c : {STORAGE_CLASS_UNQUERIED, STORAGE_CLASS_OTHER, STORAGE_CLASS_OPTICAL,
                           STORAGE_CLASS_FIXED_OTHER_BUS})
        EXPECT_FALSE(IsWritableStorageClass(c)) << c;
    EXPECT_TRUE(IsWritableStorageClass(STORAGE_CLASS_USB_REMOVABLE));
    EXPECT_TRUE(IsWritableStorageClass(STORAGE_CLASS_USB_FIXED));
}

}  // namespace
