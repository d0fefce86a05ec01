#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/win32/volume_queries_win32.h"

namespace {

// A letter the prefix has no drive for; Wine gives C: and Z: at least.
std::wstring MissingDevice()
{
    const DWORD dwDrives = ::GetLogicalDrives();
    for (int i = 25; i >= 3; --i) {
        if ((dwDrives & (1u << i)) == 0)
            return std::wstring{static_cast<wchar_t>(L'A' + i), L':'};
    }
    return {};
}

TEST(VolumeQueriesWin32, AnyPathOnAVolumeAnswersForItsRoot)
{
    CWin32VolumeQueries volumes;
    const uint64_t nTotal = volumes.GetVolumeTotalBytes(L"C:\\");
    ASSERT_GT(nTotal, 0u);
    EXPECT_EQ(volumes.GetVolumeTotalBytes(L"C:"), nTotal);
    EXPECT_EQ(volumes.GetVolumeTotalBytes(L"C:\\windows"), nTotal);
    // The system itself refuses a folder that does not exist; the volume
    // under it is there all the same.
    EXPECT_EQ(volumes.GetVolumeTotalBytes(L"c:\\no such folder\\deeper"), nTotal);

    // Free space moves as other programs write, so each answer is only
    // checked against the volume's size.
    for (const wchar_t* pszPath : {L"C:", L"C:\\", L"C:\\windows", L"c:\\no such folder\\deeper"}) {
        const uint64_t nFree = volumes.GetVolumeFreeBytes(pszPath);
        EXPECT_GT(nFree, 0u) << pszPath;
        EXPECT_LE(nFree, nTotal);
    }

    // The system answers the file-system name only for a root.
    for (const wchar_t* pszPath : {L"C:", L"C:\\", L"C:\\windows", L"c:\\no such folder\\deeper"}) {
        std::wstring strName;
        EXPECT_TRUE(volumes.GetFileSystemName(pszPath, strName));
        EXPECT_EQ(strName, L"NTFS");   // Wine reports it for C:, as Windows does for its system drive
    }
}

TEST(VolumeQueriesWin32, NoVolumeAnswersNothing)
{
    CWin32VolumeQueries volumes;
    const std::wstring strMissing = MissingDevice();
    ASSERT_FALSE(strMissing.empty());

    // "." would otherwise be read as the current folder, on a drive that does
    // exist; "" and a share name no drive letter.
    for (const std::wstring& strPath :
         {strMissing, strMissing + L"\\", strMissing + L"\\dir", std::wstring(L"."), std::wstring(L""),
          std::wstring(L"\\\\server\\share\\")}) {
        EXPECT_EQ(volumes.GetVolumeTotalBytes(strPath), 0u);
        EXPECT_EQ(volumes.GetVolumeFreeBytes(strPath), 0u);
        std::wstring strName = L"untouched";
        EXPECT_FALSE(volumes.GetFileSystemName(strPath, strName));
        EXPECT_EQ(strName, L"untouched");
    }
}

}  // namespace
