#include "bay/simulated_bay.h"

#include <cstring>
#include <thread>

#include "bay_test_support.h"
#include "engine/aligned_buffer.h"
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

    const int nE = L'E' - L'A';
    EXPECT_EQ(DRIVE_KIND_FIXED, volumes.GetDriveKind(nE));
    std::wstring strDevice;
    EXPECT_TRUE(volumes.QueryDosDevicePath(nE, strDevice));
    EXPECT_EQ(L"\\Device\\HarddiskVolume3", strDevice);
    EXPECT_EQ(BUS_KIND_SATA, volumes.QueryBusType(nE));
    EXPECT_EQ(MEDIA_KIND_FIXED, volumes.QueryMediaType(nE));
    EXPECT_EQ(2147483648u, volumes.GetVolumeTotalBytes(nE));
    EXPECT_EQ(1073741824u, volumes.GetVolumeFreeBytes(nE));
    std::wstring strName;
    EXPECT_TRUE(volumes.GetFileSystemName(nE, strName));
    EXPECT_EQ(L"exFAT", strName);
    EXPECT_TRUE(volumes.GetFileSystemName(0, strName));
    EXPECT_EQ(L"FAT32", strName) << "A:, the default";

    // F: is not in the bay; -1 and 26 name no letter at all.
    for (int nIndex : {L'F' - L'A', -1, 26}) {
        EXPECT_EQ(DRIVE_KIND_NO_ROOT_DIR, volumes.GetDriveKind(nIndex)) << nIndex;
        EXPECT_FALSE(volumes.QueryDosDevicePath(nIndex, strDevice)) << nIndex;
        EXPECT_EQ(BUS_KIND_UNKNOWN, volumes.QueryBusType(nIndex)) << nIndex;
        EXPECT_EQ(MEDIA_KIND_UNKNOWN, volumes.QueryMediaType(nIndex)) << nIndex;
    }
    for (int nIndex : {L'Z' - L'A', L'F' - L'A', L'Y' - L'A', -1, 26}) {
        EXPECT_EQ(0u, volumes.GetVolumeFreeBytes(nIndex)) << nIndex;
        EXPECT_FALSE(volumes.GetFileSystemName(nIndex, strName)) << nIndex << ": no readable volume";
        EXPECT_EQ(nIndex == L'Y' - L'A' ? 1048576u : 0u, volumes.GetVolumeTotalBytes(nIndex)) << nIndex;
    }
}

TEST_F(SimulatedBayTest, PathsStayInsideTheDrivesFolder)
{
    MakeFolder("e/a");
    WriteFile("e/a/f.txt", "f");
    WriteFile("outside.txt", "o");
    // "E:\" plus 100 + 1 + 100 + 1 characters of folders: names of 54 and 55
    // characters make paths of 259 and 260, both taken as their extended
    // form takes them; a path at that form's own limit is not.
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
        {strDeepW + std::wstring(54, L'n'), true}, {strDeepW + std::wstring(55, L'n'), true},
        {Host("e/" + strDeep + "/" + std::string(54, 'n')), true},
        {strDeepW + std::wstring(32767 - strDeepW.size(), L'n'), false},
    };
    for (const ExistsCase& c : cases)
        EXPECT_EQ(c.bExists, folders.PathExists(c.strPath)) << std::string(c.strPath.begin(), c.strPath.end());

    std::vector<FolderEntry> entries;
    EXPECT_EQ(FOLDER_LIST_FAILED, folders.ListFolder(L"N:\\", entries)) << "a drive without a folder has no files";
    EXPECT_FALSE(folders.MakeFolder(L"N:\\x"));
    EXPECT_FALSE(folders.MakeFolder(L"E:\\..\\escaped"));
    EXPECT_FALSE(Exists("escaped"));
    EXPECT_TRUE(folders.MakeFolder(strDeepW + std::wstring(55, L'm')));
    EXPECT_FALSE(folders.MakeFolder(strDeepW + std::wstring(32767 - strDeepW.size(), L'm')));
}

// Each drive's copies are read back past the cache, as a check does; the
// last drive is worn from its third file on.
TEST_F(SimulatedBayTest, TwentyTwoDrivesTakeCopiesAndGiveThemBackAtOnceWhileTheUiAsks)
{
    constexpr int nDrives = 22;
    constexpr int nFiles = 4;
    std::string strBay;
    for (int i = 0; i < nDrives; ++i) {
        const char chLetter = static_cast<char>('E' + i);
        MakeFolder(std::string("d") + chLetter);
        strBay += std::string("[") + chLetter + ":]\nfolder = d" + chLetter + "\nsize = 64M\nspeed = 500M\n"
                  + "read-speed = 500M\n" + (i == nDrives - 1 ? "corrupt-after = 3M\n" : "");
    }
    const std::string strContent(1536 * 1024, 'c');
    WriteFile("source.bin", strContent);
    CSimulatedBay bay(Describe(strBay));

    std::vector<std::thread> workers;
    for (int i = 0; i < nDrives; ++i) {
        workers.emplace_back([&bay, &strContent, this, i] {
            const std::wstring strRoot = std::wstring(1, static_cast<wchar_t>(L'E' + i)) + L":\\";
            EXPECT_TRUE(bay.Folders().MakeFolder(strRoot + L"copies"));
            for (int n = 0; n < nFiles; ++n)
                EXPECT_TRUE(bay.Folders().CopyOneFile(Host("source.bin"), strRoot + L"copies\\" + std::to_wstring(n),
                                                      nullptr, nullptr, nullptr));
            CAlignedBuffer buffer;
            ASSERT_TRUE(buffer.Allocate(1048576));
            for (int n = 0; n < nFiles; ++n) {
                const std::unique_ptr<IFileReader> reader =
                    bay.Folders().OpenFileForReading(strRoot + L"copies\\" + std::to_wstring(n), true);
                ASSERT_NE(nullptr, reader);
                size_t nAt = 0;
                bool bSame = true;
                uint32_t nRead = 0;
                do {
                    ASSERT_TRUE(reader->Read(buffer.data(), 1048576, nRead));
                    bSame = bSame && nAt + nRead <= strContent.size()
                            && std::memcmp(buffer.data(), strContent.data() + nAt, nRead) == 0;
                    nAt += nRead;
                } while (nRead > 0);
                EXPECT_EQ(i == nDrives - 1 && n >= 2, !bSame || nAt != strContent.size()) << i << " " << n;
            }
        });
    }
    std::atomic<bool> bDone{false};
    std::thread ui([&] {
        uint64_t nLastFree = UINT64_MAX;
        while (!bDone) {
            EXPECT_EQ(0x3FFFFF0u, bay.Volumes().GetLogicalDrives());
            const uint64_t nFree = bay.Volumes().GetVolumeFreeBytes(L'Z' - L'A');
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
        EXPECT_EQ(67108864u - 4 * 1572864u, bay.Volumes().GetVolumeFreeBytes(chLetter - 'A'));
        EXPECT_EQ(4 * 1572864u, bay.BytesRead(static_cast<wchar_t>(chLetter)));
        EXPECT_EQ(i != nDrives - 1, strContent == ReadFile(std::string("d") + chLetter + "/copies/3")) << chLetter;
    }
}

}  // namespace
