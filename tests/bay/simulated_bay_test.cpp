#include "bay/simulated_bay.h"

#include <gtest/gtest.h>

namespace {

CSimulatedBay MakeBay(const std::string& strText)
{
    BayDescription description;
    std::string strError;
    EXPECT_TRUE(ParseBayDescription(strText, "/bay", description, strError)) << strError;
    return CSimulatedBay(description);
}

TEST(SimulatedBayTest, AnswersLikeTheSystemForPresentAndAbsentDrives)
{
    CSimulatedBay bay = MakeBay("[A:]\nsize = 1M\n[E:]\ntype = fixed\nbus = sata\nmedia = fixed\nsize = 2G\n"
                                "device = \\Device\\HarddiskVolume3\n[Z:]\n");
    EXPECT_EQ((1u << 0) | (1u << 4) | (1u << 25), bay.GetLogicalDrives());

    EXPECT_EQ(DRIVE_KIND_FIXED, bay.GetDriveKind(L"E:"));
    EXPECT_EQ(DRIVE_KIND_FIXED, bay.GetDriveKind(L"e:\\"));
    EXPECT_EQ(DRIVE_KIND_NO_ROOT_DIR, bay.GetDriveKind(L"F:"));
    EXPECT_EQ(DRIVE_KIND_NO_ROOT_DIR, bay.GetDriveKind(L"E:\\dir"));

    std::wstring strDevice;
    EXPECT_TRUE(bay.QueryDosDevicePath(L"E:", strDevice));
    EXPECT_EQ(L"\\Device\\HarddiskVolume3", strDevice);
    EXPECT_FALSE(bay.QueryDosDevicePath(L"F:", strDevice));

    EXPECT_EQ(BUS_KIND_SATA, bay.QueryBusType(4));
    EXPECT_EQ(MEDIA_KIND_FIXED, bay.QueryMediaType(4));
    for (int nIndex : {-1, 5, 26}) {
        EXPECT_EQ(BUS_KIND_UNKNOWN, bay.QueryBusType(nIndex)) << nIndex;
        EXPECT_EQ(MEDIA_KIND_UNKNOWN, bay.QueryMediaType(nIndex)) << nIndex;
    }

    EXPECT_EQ(2ull << 30, bay.GetVolumeTotalBytes(L"E:\\"));
    EXPECT_EQ(0u, bay.GetVolumeTotalBytes(L"Z:"));
    EXPECT_EQ(0u, bay.GetVolumeTotalBytes(L"F:"));
}

}  // namespace
