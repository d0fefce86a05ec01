#include "bay/simulated_bay.h"

#include <thread>

#include "bay_test_support.h"
#include "platform/folder_tree.h"
#include "platform/volume_queries.h"

namespace {

using SimulatedBayTest = CBayFolderTest;

TEST_F(SimulatedBayTest, AnswersLikeTheSystemForPresentAndAbsentDrives)
{
    MakeFolder("e");
    CSimulatedBay bay(Describe("[A:]\nsize = 1M\n[E:]\nfolder = e\ntype = fixed\nbus = sata\nmedia = fixed\nsize = 2G\n"
                               "free = 1G\nfs = exFAT\ndevice = \\Device\\HarddiskVolume3\n[Y:]\nsize = 1M\nfs =\n[Z:]\n"));
    IVolumeQueries& volumes = bay.Volumes();
    EXPECT_EQ((1u << 0) | (1u << 4) | (1u << 24) | (1u << 25), volumes.GetLogicalDrives());

    EXPECT_EQ(DRIVE_KIND_FIXED, volumes.GetDriveKind(L"E:"));
    EXPECT_EQ(DRIVE_KIND_FIXED, volumes.GetDriveKind(L"e:\\"));
    EXPECT_EQ(DRIVE_KIND_NO_ROOT_DIR, volumes.GetDriveKind(L"F:"));
    EXPECT_EQ(DRIVE_KIND_NO_ROOT_DIR, volumes.GetDriveKind(L"E:\\dir"));

    std::wstring strDevice;
    EXPECT_TRUE(volumes.QueryDosDevicePath(L"E:", strDevice));
    EXPECT_EQ(L"\\Device\\HarddiskVolume3", strDevice);
    EXPECT_FALSE(volumes.QueryDosDevicePath(L"F:", strDevice));

    EXPECT_EQ(BUS_KIND_SATA, volumes.QueryBusType(4));
    EXPECT_EQ(MEDIA_KIND_FIXED, volumes.QueryMediaType(4));
    for (int nIndex : {-1, 5, 26}) {
        EXPECT_EQ(BUS_KIND_UNKNOWN, volumes.QueryBusType(nIndex)) << nIndex;
        EXPECT_EQ(MEDIA_KIND_UNKNOWN, volumes.QueryMediaType(nIndex)) << nIndex;
    }

    // Any path on the volume names it.
    for (const wchar_t* pszPath : {L"E:", L"e:\\", L"E:\\dir\\sub"}) {
        EXPECT_EQ(2147483648u, volumes.GetVolumeTotalBytes(pszPath)) << pszPath;
        EXPECT_EQ(1073741824u, volumes.GetVolumeFreeBytes(pszPath)) << pszPath;
        std::wstring strName;
        EXPECT_TRUE(volumes.GetFileSystemName(pszPath, strName)) << pszPath;
        EXPECT_EQ(L"exFAT", strName);
    }
    std::wstring strName;
    EXPECT_TRUE(volumes.GetFileSystemName(L"A:\\", strName));
    EXPECT_EQ(L"FAT32", strName) << "the default";
    for (const wchar_t* pszPath : {L"Z:", L"F:", L"Y:", L"E:\\..\\x"}) {
        EXPECT_EQ(0u, volumes.GetVolumeFreeBytes(pszPath)) << pszPath;
        EXPECT_FALSE(volumes.GetFileSystemName(pszPath, strName)) << pszPath << ": no readable volume";
        EXPECT_EQ(pszPath[0] == L'Y' ? 1048576u : 0u, volumes.GetVolumeTotalBytes(pszPath)) << pszPath;
    }
}

TEST_F(SimulatedBayTest, PathsStayInsideTheDrivesFolder)
{
    MakeFolder("e/a");
    WriteFile("e/a/f.txt", "f");
    WriteFile("outside.txt", "o");
    // "E:\" plus 100 + 1 + 100 + 1 characters of folders: names of 54 and 55
    // characters make paths of 259 and 260.
    const std::string strDeep = std::string(100, 'd') + "/" + std::string(100, 'd');
    MakeFolder("e/" + strDeep);
    WriteFile("e/" + strDeep + "/" + std::string(54, 'n'), "259");
    WriteFile("e/" + strDeep + "/" + std::string(55, 'n'), "260");
    const std::wstring strDeepW = L"E:\\" + std::wstring(100, L'd') + L"\\" + std::wstring(100, L'd') + L"\\";

    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 1M\n[N:]\nsize = 1M\n[O:]\nsize = 0\n"));
    IFolderTree& folders = bay.Folders();
    struct ExistsCase {
        std::wstring strPath;
        bool bExists;
    };
    const ExistsCase cases[] = {
        {L"E:", true}, {L"e:\\", true}, {L"E:\\\\a\\f.txt", true}, {L"E:/a/./f.txt", true},
        {L"E:\\a\\..\\a\\f.txt", false}, {L"E:\\..\\outside.txt", false}, {Host("outside.txt"), true},
        {L"N:", true}, {L"N:\\", true}, {L"N:\\x", false}, {L"O:\\", false},
        {strDeepW + std::wstring(54, L'n'), true}, {strDeepW + std::wstring(55, L'n'), false},
        {Host("e/" + strDeep + "/" + std::string(54, 'n')), false},
    };
    for (const ExistsCase& c : cases)
        EXPECT_EQ(c.bExists, folders.PathExists(c.strPath)) << std::string(c.strPath.begin(), c.strPath.end());

    std::vector<FolderEntry> entries;
    EXPECT_EQ(FOLDER_NOT_LISTED, folders.ListFolder(L"N:\\", entries)) << "a drive without a folder has no files";
    EXPECT_FALSE(folders.MakeFolder(L"N:\\x"));
    EXPECT_FALSE(folders.MakeFolder(L"E:\\..\\escaped"));
    EXPECT_FALSE(Exists("escaped"));
    EXPECT_FALSE(folders.MakeFolder(strDeepW + std::wstring(55, L'm')));
    EXPECT_TRUE(folders.MakeFolder(strDeepW + std::wstring(54, L'm')));
}

TEST_F(SimulatedBayTest, TwentyTwoDrivesTakeCopiesAtOnceWhileTheUiAsks)
{
    constexpr int nDrives = 22;
    constexpr int nFiles = 4;
    std::string strBay;
    for (int i = 0; i < nDrives; ++i) {
        const char chLetter = static_cast<char>('E' + i);
        MakeFolder(std::string("d") + chLetter);
        strBay += std::string("[") + chLetter + ":]\nfolder = d" + chLetter + "\nsize = 64M\nspeed = 500M\n";
    }
    const std::string strContent(1536 * 1024, 'c');
    WriteFile("source.bin", strContent);
    CSimulatedBay bay(Describe(strBay));

    std::vector<std::thread> workers;
    for (int i = 0; i < nDrives; ++i) {
        workers.emplace_back([&bay, this, i] {
            const std::wstring strRoot = std::wstring(1, static_cast<wchar_t>(L'E' + i)) + L":\\";
            EXPECT_TRUE(bay.Folders().MakeFolder(strRoot + L"copies"));
            for (int n = 0; n < nFiles; ++n)
                EXPECT_TRUE(bay.Folders().CopyOneFile(Host("source.bin"), strRoot + L"copies\\" + std::to_wstring(n),
                                                      nullptr, nullptr, nullptr));
        });
    }
    std::atomic<bool> bDone{false};
    std::thread ui([&] {
        uint64_t nLastFree = UINT64_MAX;
        while (!bDone) {
            EXPECT_EQ(0x3FFFFF0u, bay.Volumes().GetLogicalDrives());
            const uint64_t nFree = bay.Volumes().GetVolumeFreeBytes(L"Z:\\");
            EXPECT_LE(nFree, nLastFree) << "nothing is given back while files only arrive";
            nLastFree = nFree;
            std::this_thread::yield();
        }
    });
    for (std::thread& worker : workers)
        worker.join();
    bDone = true;
    ui.join();

    for (int i = 0; i < nDrives; ++i) {
        const char chLetter = static_cast<char>('E' + i);
        EXPECT_EQ(67108864u - 4 * 1572864u, bay.Volumes().GetVolumeFreeBytes(std::wstring(1, chLetter) + L":"));
        EXPECT_EQ(strContent, ReadFile(std::string("d") + chLetter + "/copies/3")) << chLetter;
    }
}

}  // namespace
