// File Copy runs over the bay: the admission checks, the copy itself, its
// progress and its cancel, each slot ending with its own result.

#include "engine/file_copy.h"

#include <algorithm>
#include <cctype>

#include <gtest/gtest.h>

#include "engine/task_request.h"
#include "support/run_harness.h"

namespace {

using Statuses = std::vector<std::wstring>;

// A FAT32 stick backed by the folder of its lower-case letter.
std::string Stick(char chLetter, const std::string& strSize = "64M", const std::string& strKeys = "")
{
    const std::string strFolder(1, static_cast<char>(std::tolower(static_cast<unsigned char>(chLetter))));
    return std::string("[") + chLetter + ":]\nfolder = " + strFolder + "\nsize = " + strSize + "\nfs = FAT32\n"
        + strKeys;
}

TEST(FileCopyRunTest, SourcesWithNothingToCopyEndEverySlotWithE4AndWriteNothing)
{
    struct Case {
        const char* pszName;
        void (*prepare)(const std::filesystem::path& source);
    };
    const Case cases[] = {
        {"missing", [](const std::filesystem::path&) {}},
        {"empty", [](const std::filesystem::path& source) { std::filesystem::create_directories(source); }},
        {"empty folders only",
         [](const std::filesystem::path& source) { std::filesystem::create_directories(source / "a" / "b"); }},
        {"zero-byte files only",
         [](const std::filesystem::path& source) {
             WriteTestFile(source / "a.txt", "");
             WriteTestFile(source / "sub" / "b.txt", "");
         }},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        run.UseBay(Stick('E') + Stick('F'));
        c.prepare(run.Root() / "src");
        run.SetSource(run.Root() / "src");
        run.Run(TASK_FILE_COPY);
        EXPECT_EQ((Statuses{L"E4", L"E4"}), run.Statuses()) << c.pszName;
        EXPECT_TRUE(TreeListing(run.DriveFolder("e")).empty()) << c.pszName;
        EXPECT_TRUE(TreeListing(run.DriveFolder("f")).empty()) << c.pszName;
    }
}

TEST(FileCopyRunTest, FreeSpaceMustCoverTheSourceAndOneMebibyteMore)
{
    CRunHarness run;
    // 3,000 bytes of source: E: has exactly 3,000 + 1,048,576 free, F: one byte less.
    run.UseBay(Stick('E', "64M", "free = 1051576\n") + Stick('F', "64M", "free = 1051575\n"));
    WriteTestFile(run.Root() / "src" / "a.txt", std::string(1000, 'a'));
    WriteTestFile(run.Root() / "src" / "sub" / "b.txt", std::string(2000, 'b'));
    run.SetSource(run.Root() / "src");

    run.Run(TASK_FILE_COPY);

    EXPECT_EQ((Statuses{L"OK", L"E1"}), run.Statuses());
    EXPECT_EQ(TreeListing(run.Root() / "src"), TreeListing(run.DriveFolder("e")));
    EXPECT_TRUE(TreeListing(run.DriveFolder("f")).empty());
}

// A volume whose file system cannot be named at the moment of the check.
class CNoFileSystemNames : public CRecordingVolumes {
public:
    CNoFileSystemNames() : CRecordingVolumes(nullptr) {}
    bool GetFileSystemName(int, std::wstring&) override { return false; }
};

TEST(FileCopyRunTest, EachFileSystemsSingleFileLimitIsExactAndCaseSensitive)
{
    CRunHarness run;
    run.UseBay("[E:]\nfolder = e\nsize = 1G\nfs = NTFS\n[F:]\nfolder = f\nsize = 1G\nfs = FAT32\n"
               "[G:]\nfolder = g\nsize = 1G\nfs = FAT\n[H:]\nfolder = h\nsize = 1G\nfs = exFAT\n"
               "[I:]\nfolder = i\nsize = 1G\nfs = ntfs\n[J:]\nfolder = j\nsize = 1G\nfs = Fat32\n");
    struct Case {
        const wchar_t* pszRoot;
        int64_t nLimit;
        FsKind kind;
    };
    const Case cases[] = {
        {L"E:\\", 17592185978880LL, FS_KIND_NTFS},  {L"F:\\", 4294967295LL, FS_KIND_FAT32},
        {L"G:\\", 2147483647LL, FS_KIND_OTHER},     {L"H:\\", INT64_MAX, FS_KIND_EXFAT},
        {L"I:\\", 2147483647LL, FS_KIND_OTHER},     {L"J:\\", 2147483647LL, FS_KIND_OTHER},
    };
    FolderCopyJob job(run.Bay().Folders(), run.Bay().Volumes());
    for (const Case& c : cases) {
        FsKind kind = FS_KIND_UNKNOWN;
        EXPECT_EQ(c.nLimit, job.GetFileSizeLimit(c.pszRoot, &kind)) << c.pszRoot[0];
        EXPECT_EQ(c.kind, kind) << c.pszRoot[0];
    }
}

TEST(FileCopyRunTest, SingleFileLimitsOfEachFileSystemAtTheirBoundaries)
{
    // One top-level file of each size, declared so no gigabytes are written,
    // onto drives of every kind.
    const std::string strDrives = "[E:]\nfolder = e\nsize = 20T\nfs = FAT32\n"
                                  "[F:]\nfolder = f\nsize = 20T\nfs = NTFS\n"
                                  "[G:]\nfolder = g\nsize = 20T\nfs = FAT\n"
                                  "[H:]\nfolder = h\nsize = 20T\nfs = exFAT\n";
    struct Case {
        uint64_t nLargest;
        Statuses expected;   // E: FAT32, F: NTFS, G: FAT, H: exFAT
    };
    const Case cases[] = {
        {2147483647ull, {L"OK", L"OK", L"OK", L"OK"}},
        {2147483648ull, {L"OK", L"OK", L"E2", L"OK"}},
        // exFAT keeps a file's size in 64 bits: a 3 GB film goes onto it whole.
        {3000000000ull, {L"OK", L"OK", L"E2", L"OK"}},
        {4294967295ull, {L"OK", L"OK", L"E2", L"OK"}},
        {4294967296ull, {L"E3", L"OK", L"E2", L"OK"}},
        {17592185978881ull, {L"E3", L"E7", L"E2", L"OK"}},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        run.UseBay(strDrives);
        WriteTestFile(run.Root() / "src" / "image.iso", "");
        run.Bay().DeclareFileSize((run.Root() / "src" / "image.iso").wstring(), c.nLargest);
        run.SetSource(run.Root() / "src");
        run.Run(TASK_FILE_COPY);
        EXPECT_EQ(c.expected, run.Statuses()) << c.nLargest;
    }
}

TEST(FileCopyRunTest, AVolumeWhoseFileSystemCannotBeNamedIsNotWritten)
{
    // Even when every file lies in sub-folders, so no limit would be asked.
    CRunHarness run;
    CNoFileSystemNames volumes;
    run.UseBay(Stick('E'), &volumes);
    WriteTestFile(run.Root() / "src" / "sub" / "a.txt", "alpha");
    run.SetSource(run.Root() / "src");

    run.Run(TASK_FILE_COPY);

    EXPECT_EQ((Statuses{L"E7"}), run.Statuses());
    EXPECT_TRUE(TreeListing(run.DriveFolder("e")).empty());
}

TEST(FileCopyRunTest, AFileTooLargeInsideASubFolderFailsTheCopyAndKeepsWhatCameBefore)
{
    CRunHarness run;
    run.UseBay("[E:]\nfolder = e\nsize = 8G\nfs = FAT32\n");
    WriteTestFile(run.Root() / "src" / "a.txt", "alpha");
    WriteTestFile(run.Root() / "src" / "sub" / "huge.iso", "");
    run.Bay().DeclareFileSize((run.Root() / "src" / "sub" / "huge.iso").wstring(), 5000000000ull);
    run.SetSource(run.Root() / "src");

    run.Run(TASK_FILE_COPY);

    EXPECT_EQ((Statuses{L"E7"}), run.Statuses()) << "only top-level files are checked against the limit";
    EXPECT_EQ((std::vector<std::string>{"a.txt=alpha", "sub/"}), TreeListing(run.DriveFolder("e")));
}

TEST(FileCopyRunTest, CopyMergesIntoWhatTheDriveAlreadyHolds)
{
    CRunHarness run;
    run.UseBay(Stick('E'));
    WriteTestFile(run.DriveFolder("e") / "keep.txt", "mine");
    WriteTestFile(run.DriveFolder("e") / "doc.txt", "old text");
    WriteTestFile(run.DriveFolder("e") / "photos" / "old.jpg", "old");
    WriteTestFile(run.Root() / "src" / "doc.txt", "new");
    WriteTestFile(run.Root() / "src" / "photos" / "p1.jpg", "p1");
    run.SetSource(run.Root() / "src");

    run.Run(TASK_FILE_COPY);

    EXPECT_EQ((Statuses{L"OK"}), run.Statuses());
    EXPECT_EQ((std::vector<std::string>{"doc.txt=new", "keep.txt=mine", "photos/", "photos/old.jpg=old",
                                        "photos/p1.jpg=p1"}),
              TreeListing(run.DriveFolder("e")));
}

TEST(FileCopyRunTest, TheBarCoversTheWholeJobTruncatedAndNeverGoesBack)
{
    CRunHarness run;
    run.UseBay(Stick('E'));
    // 6 MiB in all, copied in the bay's 1 MiB blocks, a folder after two files.
    WriteTestFile(run.Root() / "src" / "a.bin", std::string(3 << 20, 'a'));
    WriteTestFile(run.Root() / "src" / "b.bin", std::string(1 << 20, 'b'));
    WriteTestFile(run.Root() / "src" / "sub" / "c.bin", std::string(2 << 20, 'c'));
    run.SetSource(run.Root() / "src");

    run.Run(TASK_FILE_COPY);

    EXPECT_EQ((Statuses{L"OK"}), run.Statuses());
    // 1/6 is 16.67 and shows as 16; each file starts where the last one ended.
    EXPECT_EQ((std::vector<int>{0, 16, 33, 50, 50, 66, 66, 83, 100, 100}), run.m_slots.bars[0].History());
}

TEST(FileCopyRunTest, CancelDuringALargeFileStopsItWhileChecksKeepTheirOwnCodes)
{
    CRunHarness run;
    run.UseBay(Stick('E') + Stick('F', "4M"));
    WriteTestFile(run.Root() / "src" / "big.bin", std::string(8 << 20, 'x'));
    run.SetSource(run.Root() / "src");
    // The operator confirms the cancel once a quarter of E: is written.
    run.m_slots.bars[0].m_onSet = [&run](int nPos) {
        if (nPos >= 25)
            run.Control().RequestCancel();
    };

    run.Run(TASK_FILE_COPY);

    EXPECT_EQ((Statuses{L"E5", L"E1"}), run.Statuses());
    EXPECT_LT(run.m_slots.bars[0].GetPos(), 100);
    EXPECT_FALSE(std::filesystem::exists(run.DriveFolder("e") / "big.bin")) << "no partial file is left";
}

// The operator confirms a cancel while the drive's free space is being
// asked: a drive that then fails a check shows the check's own code, as it
// would without the cancel, not E5.
TEST(FileCopyRunTest, ADriveThatFailsACheckInACancelledRunKeepsItsOwnCode)
{
    struct Case {
        const char* pszName;
        std::string strBay;
        uint64_t nDeclaredSize;   // of src/big.iso; 0: a small file
        const wchar_t* pszCode;
    };
    const Case cases[] = {
        {"nothing to copy", Stick('E'), UINT64_MAX, L"E4"},
        {"too little space", Stick('E', "1M"), 0, L"E1"},
        {"FAT16 and a 3 GB file", "[E:]\nfolder = e\nsize = 8G\nfs = FAT\n", 3000000000ull, L"E2"},
        {"FAT32 and a 5 GB file", Stick('E', "8G"), 5000000000ull, L"E3"},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        CRecordingVolumes volumes(nullptr);
        volumes.m_onFreeBytesAsked = [&run](int) { run.Control().RequestCancel(); };
        run.UseBay(c.strBay, &volumes);
        std::filesystem::create_directories(run.Root() / "src");
        if (c.nDeclaredSize != UINT64_MAX) {
            WriteTestFile(run.Root() / "src" / "big.iso", "small");
            if (c.nDeclaredSize != 0)
                run.Bay().DeclareFileSize((run.Root() / "src" / "big.iso").wstring(), c.nDeclaredSize);
        }
        run.SetSource(run.Root() / "src");

        run.Run(TASK_FILE_COPY);

        EXPECT_EQ((Statuses{c.pszCode}), run.Statuses()) << c.pszName;
        EXPECT_TRUE(TreeListing(run.DriveFolder("e")).empty()) << c.pszName;
    }
}

// Only a folder whose listing is denied to everyone (as a drive root's
// "System Volume Information") is left out, and the copy is whole without
// it. Any other failure to list a folder (a source that goes away, a device
// error) fails the drive, at whatever depth, before the copy measures it,
// while it walks it or while the check walks it again.
TEST(FileCopyRunTest, OnlyAFolderDeniedToEveryoneIsLeftOutAndAnyOtherListingFailureFailsTheDrive)
{
    enum When { BEFORE, COPYING, CHECKING };
    struct Case {
        const char* pszName;
        const char* pszFolder;   // under src
        bool bDenied;            // else its listing breaks off after nEntries
        size_t nEntries;
        When when;
        const wchar_t* pszCode;
        std::vector<std::string> copied;
    };
    const std::vector<std::string> kWhole = {"a.txt=a", "d1/", "d1/b.txt=b", "d1/d2/", "d1/d2/c.txt=c",
                                             "d1/d2/e.txt=e"};
    const std::vector<std::string> kWithoutD2 = {"a.txt=a", "d1/", "d1/b.txt=b", "d1/d2/"};
    const Case cases[] = {
        {"the source itself", "", false, 1, BEFORE, L"E7", {}},
        {"a folder two levels down", "d1/d2", false, 3, BEFORE, L"E7", {}},
        {"two levels down, not even started", "d1/d2", false, 0, BEFORE, L"E7", {}},
        {"two levels down, while copying", "d1/d2", false, 3, COPYING, L"E7", kWithoutD2},
        {"two levels down, while checking", "d1/d2", false, 3, CHECKING, L"E7", kWhole},
        {"two levels down, denied", "d1/d2", true, 0, BEFORE, L"OK", kWithoutD2},
        {"two levels down, denied while copying", "d1/d2", true, 0, COPYING, L"OK", kWithoutD2},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        run.UseBay(Stick('E'));
        WriteTestFile(run.Root() / "src" / "a.txt", "a");
        WriteTestFile(run.Root() / "src" / "d1" / "b.txt", "b");
        WriteTestFile(run.Root() / "src" / "d1" / "d2" / "c.txt", "c");
        WriteTestFile(run.Root() / "src" / "d1" / "d2" / "e.txt", "e");
        run.SetSource(run.Root() / "src");
        run.m_request.m_nVerify = c.when == CHECKING ? 1 : 0;
        const std::filesystem::path broken = run.Root() / "src" / c.pszFolder;
        const std::wstring strBroken = (*c.pszFolder != '\0' ? broken : broken.parent_path()).wstring();
        const auto fail = [&run, &c, strBroken] {
            if (c.bDenied)
                run.Bay().DenyListing(strBroken);
            else
                run.Bay().BreakListingAfter(strBroken, c.nEntries);
        };
        if (c.when == BEFORE) {
            fail();
        } else {
            // The bar first moves off 0 once the first file is copied, and
            // past 50 once the first file is checked.
            const int nAfter = c.when == COPYING ? 0 : 50;
            run.m_slots.bars[0].m_onSet = [fail, nAfter](int nPos) {
                if (nPos > nAfter)
                    fail();
            };
        }

        run.Run(TASK_FILE_COPY);

        EXPECT_EQ((Statuses{c.pszCode}), run.Statuses()) << c.pszName;
        EXPECT_EQ(c.copied, TreeListing(run.DriveFolder("e"))) << c.pszName;
    }
}

// A tree deeper than MAX_PATH's 260 characters is copied and checked whole.
TEST(FileCopyRunTest, ATreeDeeperThanMaxPathIsCopiedAndCheckedWhole)
{
    CRunHarness run;
    run.UseBay(Stick('E'));
    std::filesystem::path deep = run.Root() / "src";
    for (int i = 0; i < 4; ++i)
        deep /= std::string(80, static_cast<char>('a' + i));
    WriteTestFile(deep / "deep.txt", "deep");
    WriteTestFile(run.Root() / "src" / "top.txt", "top");
    run.SetSource(run.Root() / "src");
    run.m_request.m_nVerify = 1;
    ASSERT_GT(("E:\\" + std::filesystem::relative(deep / "deep.txt", run.Root() / "src").string()).size(), 260u);

    run.Run(TASK_FILE_COPY);

    EXPECT_EQ((Statuses{L"OK"}), run.Statuses());
    EXPECT_EQ(TreeListing(run.Root() / "src"), TreeListing(run.DriveFolder("e")));
}

// With Verify a drive shows OK only when every file reads back as its
// source: each drive here takes the whole copy, and then loses something of
// it once the writing is done, as a worn or counterfeit stick would.
TEST(FileCopyRunTest, WithVerifyADriveWhoseCopyDiffersInAnyWayShowsE8)
{
    using Spoil = void (*)(const std::filesystem::path& drive);
    const struct {
        const char* pszName;
        Spoil spoil;
    } drives[] = {
        {"kept", [](const std::filesystem::path&) {}},
        {"a byte changed", [](const std::filesystem::path& d) { WriteTestFile(d / "sub" / "c.bin", "cX"); }},
        {"missing", [](const std::filesystem::path& d) { std::filesystem::remove(d / "sub" / "c.bin"); }},
        {"shorter", [](const std::filesystem::path& d) { WriteTestFile(d / "b.bin", std::string(4095, 'b')); }},
        {"longer", [](const std::filesystem::path& d) { WriteTestFile(d / "a.txt", "alpha!"); }},
    };
    for (const bool bVerify : {true, false}) {
        CRunHarness run;
        run.UseBay(Stick('E') + Stick('F') + Stick('G') + Stick('H') + Stick('I'));
        WriteTestFile(run.Root() / "src" / "a.txt", "alpha");
        WriteTestFile(run.Root() / "src" / "b.bin", std::string(4096, 'b'));
        WriteTestFile(run.Root() / "src" / "sub" / "c.bin", "cc");
        run.SetSource(run.Root() / "src");
        for (int i = 0; i < 5; ++i) {
            const std::filesystem::path drive = run.DriveFolder(std::string(1, static_cast<char>('e' + i)));
            const Spoil spoil = drives[i].spoil;
            run.m_slots.bars[i].m_onSet = [drive, spoil, bVerify](int nPos) {
                if (nPos == (bVerify ? 50 : 100))
                    spoil(drive);
            };
        }
        run.m_request.m_nVerify = bVerify ? 1 : 0;

        run.Run(TASK_FILE_COPY);

        EXPECT_EQ(bVerify ? (Statuses{L"OK", L"E8", L"E8", L"E8", L"E8"}) : Statuses(5, L"OK"), run.Statuses())
            << (bVerify ? "with Verify" : "without Verify, every write accepted is OK");
        for (int i = 0; i < 5; ++i) {
            const std::vector<int> history = run.m_slots.bars[i].History();
            EXPECT_TRUE(std::is_sorted(history.begin(), history.end())) << "the bar went back: " << drives[i].pszName;
        }
    }
}

// A worn stick takes the whole tree and stores its third file wrong from
// its second MiB on: only a check once everything is written, and of every
// byte, finds it; the good stick's check reads back every byte it was given.
TEST(FileCopyRunTest, WithVerifyAWornStickIsCaughtAndAGoodOneReadBackWhole)
{
    for (const bool bVerify : {true, false}) {
        CRunHarness run;
        // a.bin and b.bin of 300,000 bytes, c.bin of 1.5 MiB from 600,000 on,
        // its first MiB ending at 1,648,576.
        run.UseBay(Stick('E') + Stick('F', "64M", "corrupt-after = 1700000\n"));
        for (const char* pszName : {"a.bin", "b.bin"})
            WriteTestFile(run.Root() / "src" / pszName, std::string(300000, pszName[0]));
        WriteTestFile(run.Root() / "src" / "c.bin", std::string(1572864, 'c'));
        run.SetSource(run.Root() / "src");
        run.m_request.m_nVerify = bVerify ? 1 : 0;

        run.Run(TASK_FILE_COPY);

        EXPECT_EQ(bVerify ? (Statuses{L"OK", L"E8"}) : (Statuses{L"OK", L"OK"}), run.Statuses()) << bVerify;
        EXPECT_EQ(bVerify ? 2172864u : 0u, run.Bay().BytesRead(L'E')) << "the good stick is read back whole";
        EXPECT_EQ(std::string(300000, 'c').substr(0, 100000), ReadTestFile(run.DriveFolder("f") / "c.bin").substr(0, 100000))
            << "the worn stick took the start of its third file right";
    }
}

TEST(FileCopyRunTest, TwentyTwoDrivesAtOnceAndOneFailedMidCopyAndOnePulledBeforeItsFlush)
{
    CRunHarness run;
    std::string strBay;
    for (char ch = 'E'; ch <= 'Z'; ++ch)
        strBay += Stick(ch, "64M", ch == 'M' ? "fail-after = 100K\n" : "");
    run.UseBay(strBay);
    // N: has taken the whole tree, and is pulled out before its flush.
    run.m_slots.bars['N' - 'E'].m_onSet = [&run](int nPos) {
        if (nPos == 100)
            run.Bay().PullOut(L'N');
    };
    for (int i = 0; i < 5; ++i)
        WriteTestFile(run.Root() / "src" / ("d" + std::to_string(i % 2)) / ("f" + std::to_string(i) + ".bin"),
                      std::string(60000 * (i + 1), static_cast<char>('a' + i)));
    run.SetSource(run.Root() / "src");

    run.Run(TASK_FILE_COPY);

    Statuses expected(22, L"OK");
    expected['M' - 'E'] = L"E7";
    expected['N' - 'E'] = L"E7";
    EXPECT_EQ(expected, run.Statuses());
    EXPECT_TRUE(TreeListing(run.DriveFolder("n")).empty()) << "all it was given was still in its cache";
    const std::vector<std::string> source = TreeListing(run.Root() / "src");
    for (char ch = 'E'; ch <= 'Z'; ++ch) {
        if (ch == 'M' || ch == 'N')
            continue;
        EXPECT_EQ(source, TreeListing(run.DriveFolder(std::string(1, static_cast<char>(std::tolower(ch)))))) << ch;
    }
}

}  // namespace
