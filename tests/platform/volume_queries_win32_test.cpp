#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/win32/volume_queries_win32.h"

namespace {

// The index of a letter the prefix has no drive for; Wine gives C: and Z:
// at least.
int MissingDriveIndex()
{
    const DWORD dwDrives = ::GetLogicalDrives();
    for (int i = 25; i >= 3; --i) {
        if ((dwDrives & (1u << i)) == 0)
            return i;
    }
    return -1;
}

TEST(VolumeQueriesWin32, ADriveIndexAnswersForThatDrivesRootDeviceAndVolume)
{
    CWin32VolumeQueries volumes;
    const int nC = L'C' - L'A';
    EXPECT_EQ(DRIVE_KIND_FIXED, volumes.GetDriveKind(nC));
    std::wstring strDosPath;
    EXPECT_TRUE(volumes.QueryDosDevicePath(nC, strDosPath));
    EXPECT_FALSE(strDosPath.empty());

    const uint64_t nTotal = volumes.GetVolumeTotalBytes(nC);
    ASSERT_GT(nTotal, 0u);
    // Free space moves as other programs write, so it is only checked
    // against the volume's size.
    const uint64_t nFree = volumes.GetVolumeFreeBytes(nC);
    EXPECT_GT(nFree, 0u);
    EXPECT_LE(nFree, nTotal);
    std::wstring strName;
    EXPECT_TRUE(volumes.GetFileSystemName(nC, strName));
    EXPECT_EQ(strName, L"NTFS");   // Wine reports it for C:, as Windows does for its system drive
}

TEST(VolumeQueriesWin32, NoDriveAnswersNothing)
{
    CWin32VolumeQueries volumes;
    const int nMissing = MissingDriveIndex();
    ASSERT_NE(nMissing, -1);

    // -1 is what a path naming no drive turns into; 26 would be the letter
    // after Z.
    for (int nIndex : {nMissing, -1, 26}) {
        EXPECT_EQ(volumes.GetDriveKind(nIndex), DRIVE_KIND_NO_ROOT_DIR) << nIndex;
        std::wstring strText = L"untouched";
        EXPECT_FALSE(volumes.QueryDosDevicePath(nIndex, strText)) << nIndex;
        EXPECT_EQ(volumes.QueryBusType(nIndex), BUS_KIND_UNKNOWN) << nIndex;
        EXPECT_EQ(volumes.QueryMediaType(nIndex), MEDIA_KIND_UNKNOWN) << nIndex;
        EXPECT_EQ(volumes.GetVolumeTotalBytes(nIndex), 0u) << nIndex;
        EXPECT_EQ(volumes.GetVolumeFreeBytes(nIndex), 0u) << nIndex;
        EXPECT_FALSE(volumes.GetFileSystemName(nIndex, strText)) << nIndex;
        EXPECT_EQ(strText, L"untouched") << nIndex;
    }
}

}  // namespace
