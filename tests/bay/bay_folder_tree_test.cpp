#include "bay/bay_folder_tree.h"

#include "bay_test_support.h"
#include "platform/volume_queries.h"

namespace {

using BayFolderTreeTest = CBayFolderTest;

std::vector<std::wstring> Listing(IFolderTree& folders, const std::wstring& strFolder)
{
    std::vector<FolderEntry> entries;
    std::vector<std::wstring> listed;
    switch (folders.ListFolder(strFolder, entries)) {
    case FOLDER_LISTED: break;
    case FOLDER_ACCESS_DENIED: return {L"(denied)"};
    case FOLDER_NOT_FOUND: return {L"(not found)"};
    case FOLDER_LIST_FAILED: return {L"(failed)"};
    }
    for (const FolderEntry& entry : entries)
        listed.push_back(entry.strName + (entry.bFolder ? L"/" : L" " + std::to_wstring(entry.nSize)));
    return listed;
}

bool Copy(CSimulatedBay& bay, const std::wstring& strFrom, const std::wstring& strTo)
{
    return bay.Folders().CopyOneFile(strFrom, strTo, nullptr, nullptr, nullptr);
}

TEST_F(BayFolderTreeTest, ListsAndMakesFoldersAsTheSystemDoes)
{
    MakeFolder("e/sub");
    WriteFile("e/b.txt", "abc");
    WriteFile("e/big.iso", "x");
    WriteFile("e/sub/c", "");
    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 1M\ndeclare = big.iso 5000000000\n"));
    IFolderTree& folders = bay.Folders();

    EXPECT_EQ((std::vector<std::wstring>{L"b.txt 3", L"big.iso 5000000000", L"sub/"}), Listing(folders, L"E:\\"));
    EXPECT_EQ((std::vector<std::wstring>{L"./", L"../", L"c 0"}), Listing(folders, L"E:\\\\sub"));
    EXPECT_EQ((std::vector<std::wstring>{L"./", L"../", L"c 0"}), Listing(folders, Host("e/sub")));
    for (const wchar_t* pszNotAFolder : {L"E:\\b.txt", L"E:\\missing"})
        EXPECT_EQ(std::vector<std::wstring>{L"(not found)"}, Listing(folders, pszNotAFolder)) << pszNotAFolder;
    EXPECT_EQ(std::vector<std::wstring>{L"(failed)"}, Listing(folders, L"E:\\..\\e")) << "a path the system refuses";

    bay.DeclareFileSize(L"E:\\sub\\.\\c", 7);
    EXPECT_EQ((std::vector<std::wstring>{L"./", L"../", L"c 7"}), Listing(folders, L"E:\\sub"));

    const std::pair<const wchar_t*, bool> makes[] = {
        {L"E:\\new", true}, {L"E:\\new", false}, {L"E:\\b.txt", false}, {L"E:\\missing\\x", false}, {L"E:\\", false},
    };
    for (const auto& [pszPath, bMade] : makes)
        EXPECT_EQ(bMade, folders.MakeFolder(pszPath)) << pszPath;
    EXPECT_TRUE(std::filesystem::is_directory(m_root / "e" / "new"));

    // Counted as the system lists them, dots included: three entries come
    // whole, the fourth is where a break after three would begin.
    bay.BreakListingAfter(L"E:\\sub", 3);
    EXPECT_EQ((std::vector<std::wstring>{L"./", L"../", L"c 7"}), Listing(folders, L"E:\\sub"));
    bay.BreakListingAfter(Host("e/sub"), 2);
    EXPECT_EQ(std::vector<std::wstring>{L"(failed)"}, Listing(folders, L"E:\\sub"));
    EXPECT_EQ(std::vector<std::wstring>{L"(failed)"}, Listing(folders, Host("e/sub")));
    bay.BreakListingAfter(L"E:\\sub", 0);
    EXPECT_EQ(std::vector<std::wstring>{L"(failed)"}, Listing(folders, L"E:\\sub")) << "cannot even start";
    bay.DenyListing(L"E:\\new");
    EXPECT_EQ(std::vector<std::wstring>{L"(denied)"}, Listing(folders, L"E:\\new"));
}

TEST_F(BayFolderTreeTest, AFullDriveFailsTheCopyAndAReplacedFileGivesItsBytesBack)
{
    MakeFolder("e");
    WriteFile("one-and-a-half", std::string(1572864, 'h'));
    WriteFile("small", "0123456789");
    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 3000000\nfs = NTFS\n"));
    IVolumeQueries& volumes = bay.Volumes();

    ASSERT_TRUE(Copy(bay, Host("one-and-a-half"), L"E:\\first"));
    EXPECT_EQ(1427136u, volumes.GetVolumeFreeBytes(L'E' - L'A'));
    // The first MiB fits, the rest does not.
    EXPECT_FALSE(Copy(bay, Host("one-and-a-half"), L"E:\\second"));
    EXPECT_FALSE(Exists("e/second")) << "no partial file";
    EXPECT_EQ(1427136u, volumes.GetVolumeFreeBytes(L'E' - L'A'));

    ASSERT_TRUE(Copy(bay, Host("one-and-a-half"), L"E:\\first")) << "the old file's bytes make room";
    EXPECT_EQ(1427136u, volumes.GetVolumeFreeBytes(L'E' - L'A'));
    ASSERT_TRUE(Copy(bay, Host("small"), L"E:\\first"));
    EXPECT_EQ(2999990u, volumes.GetVolumeFreeBytes(L'E' - L'A'));
    EXPECT_EQ("0123456789", ReadFile("e/first"));

    ASSERT_TRUE(Copy(bay, L"E:\\first", Host("host-copy"))) << "the host has no free bytes to run out of";
    EXPECT_EQ("0123456789", ReadFile("host-copy"));
    EXPECT_EQ(2999990u, volumes.GetVolumeFreeBytes(L'E' - L'A'));
}

TEST_F(BayFolderTreeTest, EachFileSystemTakesFilesUpToItsLimit)
{
    struct LimitCase {
        const char* pszFileSystem;
        uint64_t nBytes;
        bool bTaken;
    } const cases[] = {
        {"FAT32", 4294967295u, true}, {"fat32", 4294967296u, false}, {"FAT", 2147483647u, true},
        {"FAT", 2147483648u, false}, {"FAT16", 2147483648u, false}, {"FAT12", 2147483648u, false},
        {"exFAT", 4294967296u, true}, {"NTFS", 6000000000u, true},
    };
    for (const LimitCase& c : cases) {
        MakeFolder("e");
        WriteFile("big", "12345");
        WriteFile("e/big", "old");
        CSimulatedBay bay(Describe(std::string("[E:]\nfolder = e\nsize = 8G\nfs = ") + c.pszFileSystem + "\n"));
        bay.DeclareFileSize(Host("big"), c.nBytes);

        EXPECT_EQ(c.bTaken, Copy(bay, Host("big"), L"E:\\big")) << c.pszFileSystem << " " << c.nBytes;
        const uint64_t nFree = bay.Volumes().GetVolumeFreeBytes(L'E' - L'A');
        if (c.bTaken) {
            EXPECT_EQ(8589934592u - c.nBytes, nFree);
            EXPECT_EQ("12345", ReadFile("e/big"));
            EXPECT_EQ(std::vector<std::wstring>{L"big " + std::to_wstring(c.nBytes)}, Listing(bay.Folders(), L"E:"));
        } else {
            EXPECT_EQ(8589934592u, nFree);
            EXPECT_EQ("old", ReadFile("e/big")) << "refused before anything was written";
        }
        std::filesystem::remove_all(m_root / "e");
    }
}

// Stops at a given call, by its answer or by the cancel flag, and asks the
// bay from inside the routine, which would hang if the bay held its lock.
struct ProgressWatch {
    explicit ProgressWatch(CSimulatedBay& bay_, size_t nStopAt = SIZE_MAX, size_t nCancelAt = SIZE_MAX)
        : bay(bay_), nStopAtCall(nStopAt), nCancelAtCall(nCancelAt) {}

    CSimulatedBay& bay;
    size_t nStopAtCall;
    size_t nCancelAtCall;
    std::vector<int64_t> transferred;
    std::vector<uint64_t> freeBytes;
    std::atomic<int32_t> cancel{0};

    static int Routine(int64_t nTransferred, void* pContext)
    {
        auto& watch = *static_cast<ProgressWatch*>(pContext);
        watch.transferred.push_back(nTransferred);
        watch.freeBytes.push_back(watch.bay.Volumes().GetVolumeFreeBytes(L'E' - L'A'));
        if (watch.transferred.size() == watch.nCancelAtCall)
            watch.cancel = 1;
        return watch.transferred.size() == watch.nStopAtCall ? COPY_PROGRESS_STOP : COPY_PROGRESS_CONTINUE;
    }
    bool Copy(const std::wstring& strFrom, const std::wstring& strTo)
    {
        return bay.Folders().CopyOneFile(strFrom, strTo, Routine, this, &cancel);
    }
};

TEST_F(BayFolderTreeTest, ProgressComesPerBlockAndEitherStopEndsTheCopyWithoutATrace)
{
    MakeFolder("e");
    WriteFile("src", std::string(2621440, 's'));
    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 10M\n"));
    ProgressWatch whole{bay};
    ASSERT_TRUE(whole.Copy(Host("src"), L"E:\\dst"));
    EXPECT_EQ((std::vector<int64_t>{0, 1048576, 2097152, 2621440}), whole.transferred);
    EXPECT_EQ((std::vector<uint64_t>{10485760, 9437184, 8388608, 7864320}), whole.freeBytes);

    // {stop at, cancel at, calls made}
    const size_t cases[][3] = {{1, SIZE_MAX, 1}, {3, SIZE_MAX, 3}, {4, SIZE_MAX, 4}, {SIZE_MAX, 1, 1}, {SIZE_MAX, 2, 2}};
    for (const auto& c : cases) {
        ProgressWatch watch{bay, c[0], c[1]};
        EXPECT_FALSE(watch.Copy(Host("src"), L"E:\\stopped"));
        EXPECT_EQ(c[2], watch.transferred.size()) << c[0] << "/" << c[1];
        EXPECT_FALSE(Exists("e/stopped"));
        EXPECT_EQ(7864320u, bay.Volumes().GetVolumeFreeBytes(L'E' - L'A'));
    }
}

TEST_F(BayFolderTreeTest, APulledStickFailsTheWriteThatCrossesTheMarkAndAllAfter)
{
    MakeFolder("e");
    WriteFile("mib", std::string(1048576, 'm'));
    WriteFile("tiny", "t");
    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 16M\nfail-after = 2M\n"));

    EXPECT_TRUE(Copy(bay, Host("mib"), L"E:\\a"));
    EXPECT_TRUE(Copy(bay, Host("mib"), L"E:\\b")) << "exactly at the mark crosses nothing";
    EXPECT_TRUE(bay.Folders().MakeFolder(L"E:\\before"));
    EXPECT_FALSE(Copy(bay, Host("tiny"), L"E:\\c"));
    EXPECT_FALSE(Exists("e/c"));
    EXPECT_FALSE(Copy(bay, Host("tiny"), L"E:\\a")) << "nor can a file be replaced";
    EXPECT_FALSE(bay.Folders().MakeFolder(L"E:\\after"));
    EXPECT_TRUE(Copy(bay, L"E:\\a", Host("rescued"))) << "it still reads";

    EXPECT_EQ(16777216u - 2097152u, bay.Volumes().GetVolumeFreeBytes(L'E' - L'A'));
    EXPECT_EQ(1u << 4, bay.Volumes().GetLogicalDrives());
}

std::string Pattern(size_t nBytes, unsigned nSeed)
{
    std::string str(nBytes, '\0');
    for (size_t i = 0; i < nBytes; ++i)
        str[i] = static_cast<char>((i * 31 + nSeed) % 251);
    return str;
}

// The bytes as written, each from nRight on inverted.
std::string WrongFrom(std::string str, size_t nRight)
{
    for (size_t i = nRight; i < str.size(); ++i)
        str[i] = static_cast<char>(~static_cast<unsigned char>(str[i]));
    return str;
}

TEST_F(BayFolderTreeTest, AWornStickTakesEveryCopyAndStoresEachByteFromItsMarkOnWrong)
{
    // A file of a block and a half, then a small one: the mark falls in each
    // of the places where a copy's blocks could lose count of it.
    const std::string strBig = Pattern(1572864, 1);
    const std::string strSmall = Pattern(10, 2);
    WriteFile("big", strBig);
    WriteFile("small", strSmall);
    struct WornCase {
        const char* pszKey;
        size_t nBigRight;
        size_t nSmallRight;
    } const cases[] = {
        {"", 1572864, 10},
        {"corrupt-after = 0", 0, 0},
        {"corrupt-after = 1", 1, 0},
        {"corrupt-after = 1048576", 1048576, 0},   // at a block's end
        {"corrupt-after = 1048676", 1048676, 0},   // inside the second block
        {"corrupt-after = 1572864", 1572864, 0},   // at the first file's end
        {"corrupt-after = 1572869", 1572864, 5},
    };
    for (const WornCase& c : cases) {
        SCOPED_TRACE(c.pszKey);
        std::filesystem::remove_all(m_root / "e");
        MakeFolder("e");
        CSimulatedBay bay(Describe(std::string("[E:]\nfolder = e\nsize = 16M\n") + c.pszKey + "\n"));

        EXPECT_TRUE(Copy(bay, Host("big"), L"E:\\big"));
        EXPECT_TRUE(Copy(bay, Host("small"), L"E:\\small"));
        EXPECT_TRUE(ReadFile("e/big") == WrongFrom(strBig, c.nBigRight));
        EXPECT_TRUE(ReadFile("e/small") == WrongFrom(strSmall, c.nSmallRight));
        // Nothing else tells the worn stick from a good one.
        EXPECT_EQ((std::vector<std::wstring>{L"big 1572864", L"small 10"}), Listing(bay.Folders(), L"E:"));
        EXPECT_EQ(16777216u - 1572874u, bay.Volumes().GetVolumeFreeBytes(L'E' - L'A'));
    }
}

TEST_F(BayFolderTreeTest, RefusedCopiesLeaveEverythingAsItWas)
{
    MakeFolder("e/dir");
    WriteFile("e/f", "keep");
    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 1M\n[N:]\nsize = 1M\n"));
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"E:\\f", L"E:\\\\f"},       // onto itself: opening the target would empty the source
        {L"E:\\f", Host("e/f")},      // the same file by another name
        {L"E:\\missing", L"E:\\g"},   {L"E:\\dir", L"E:\\g"},       {L"E:\\f", L"E:\\dir"},
        {L"E:\\f", L"E:\\no\\g"},     {L"E:\\f", L"E:\\"},          {L"E:\\f", L"N:\\g"},
        {L"E:\\f", L"E:\\..\\g"},
    };
    for (const auto& [strFrom, strTo] : cases) {
        EXPECT_FALSE(Copy(bay, strFrom, strTo)) << std::string(strTo.begin(), strTo.end());
        EXPECT_EQ("keep", ReadFile("e/f"));
        EXPECT_EQ(1048576u, bay.Volumes().GetVolumeFreeBytes(L'E' - L'A'));
    }
    EXPECT_FALSE(Exists("g"));
}

}  // namespace
