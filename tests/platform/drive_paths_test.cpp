#include "platform/drive_paths.h"

#include <gtest/gtest.h>

namespace {

// The engines hold roots and folders and ask the volume queries by index:
// any path on a drive must come to that drive, and a path that names none
// must come to no drive, never to the one the current directory lies on.
TEST(DrivePathsTest, APathOnAVolumeComesToItsDrivesIndex)
{
    const struct {
        const wchar_t* pszPath;
        int nDriveIndex;
    } cases[] = {
        {L"E:", 4},
        {L"e:", 4},
        {L"E:\\", 4},
        {L"c:\\no such folder\\deeper", 2},
        {L"A:\\", 0},
        {L"z:\\dir", 25},
        {L"", NO_DRIVE_INDEX},
        {L"E", NO_DRIVE_INDEX},
        {L".", NO_DRIVE_INDEX},
        {L"dir\\file", NO_DRIVE_INDEX},
        {L"\\\\server\\share\\", NO_DRIVE_INDEX},
        {L"1:\\", NO_DRIVE_INDEX},
        {L":E", NO_DRIVE_INDEX},
    };
    for (const auto& c : cases) {
        const std::wstring strPath = c.pszPath;
        EXPECT_EQ(c.nDriveIndex, DriveIndexOfPath(strPath)) << std::string(strPath.begin(), strPath.end());
    }
    EXPECT_FALSE(IsDriveIndex(NO_DRIVE_INDEX));
    EXPECT_TRUE(IsDriveIndex(0));
    EXPECT_TRUE(IsDriveIndex(25));
    EXPECT_FALSE(IsDriveIndex(26));
}

}  // namespace
