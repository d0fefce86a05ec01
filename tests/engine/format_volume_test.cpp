// The format engine over the bay's formatter stand-in, which drives the same
// callback protocol as the system's FormatEx.

#include "engine/format_volume.h"

#include <condition_variable>
#include <fstream>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "bay/simulated_bay.h"
#include "engine/run_control.h"
#include "engine/task_request.h"
#include "platform/volume_queries.h"
#include "support/file_system_tools.h"
#include "support/run_harness.h"

namespace {

using Statuses = std::vector<std::wstring>;

// The number the output gives after the text, or -1.
int64_t NumberAfter(const std::string& strOutput, const std::string& strText)
{
    const std::smatch::size_type nAt = strOutput.find(strText);
    if (nAt == std::string::npos)
        return -1;
    return std::strtoll(strOutput.c_str() + nAt + strText.size(), nullptr, 10);
}

// The number that ends just before the text on its line, or -1.
int64_t NumberBefore(const std::string& strOutput, const std::string& strText)
{
    const size_t nAt = strOutput.find(strText);
    if (nAt == std::string::npos)
        return -1;
    const size_t nStart = strOutput.find_last_not_of("0123456789", nAt - 1);
    return std::strtoll(strOutput.c_str() + (nStart == std::string::npos ? 0 : nStart + 1), nullptr, 10);
}

// An image drive of a bay for Format runs: a sparse file, so a 2 TiB stick
// costs only what the format writes.
std::filesystem::path Image(const CRunHarness& run, char chLetter)
{
    return run.Root() / (std::string(1, static_cast<char>(chLetter - 'A' + 'a')) + ".img");
}

std::string SparseDrive(const CRunHarness& run, char chLetter, uint64_t nLength, const std::string& strKeys = "")
{
    WriteTestFile(Image(run, chLetter), "");
    std::filesystem::resize_file(Image(run, chLetter), nLength);
    return std::string("[") + chLetter + ":]\nimage = " + Image(run, chLetter).filename().string()
           + "\nsize = " + std::to_string(nLength) + "\n" + strKeys;
}

void RunFormat(CRunHarness& run, const std::wstring& strFileSystem, const std::wstring& strLabel)
{
    run.m_request.m_strFileSystem = strFileSystem;
    run.m_request.m_strLabel = strLabel;
    run.Run(TASK_FORMAT);
}

// "306 544 640 bytes free" as mdir writes it.
int64_t FreeBytesListed(const std::string& strListing)
{
    const size_t nEnd = strListing.find(" bytes free");
    if (nEnd == std::string::npos)
        return -1;
    const size_t nStart = strListing.rfind('\n', nEnd) + 1;
    std::string strDigits;
    for (size_t i = nStart; i < nEnd; ++i) {
        if (strListing[i] != ' ')
            strDigits += strListing[i];
    }
    return std::strtoll(strDigits.c_str(), nullptr, 10);
}

TEST(FormatVolumeTest, FormatExGetsTheClusterSizeOfTheNameAndEverythingElseAsGiven)
{
    struct Case {
        const wchar_t* pszFileSystem;
        uint32_t nCluster;
    };
    const Case cases[] = {
        {L"FAT", 65536}, {L"fat", 65536}, {L"fAt", 65536}, {L"FAT32", 4096}, {L"fat32", 4096},
        {L"NTFS", 4096}, {L"ntfs", 4096}, {L"exFAT", 4096}, {L"FAT16", 4096}, {L"", 4096},
    };
    CRunHarness run;
    CRunControl control;
    run.UseBay("[E:]\nfolder = e\nsize = 64M\n");
    CMemoryProgressView bar;
    for (const Case& c : cases)
        FormatVolume(run.Bay().Formatter(), L"E:\\", L"CORVANTIS", c.pszFileSystem, 1, &bar, &control);

    const std::vector<BayFormatCall> calls = run.Bay().FormatCalls();
    ASSERT_EQ(std::size(cases), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(L"E:\\", calls[i].strRoot) << i;
        EXPECT_EQ(11u, calls[i].nMediaFlag) << i;
        EXPECT_EQ(cases[i].pszFileSystem, calls[i].strFileSystem) << "passed on unchanged";
        EXPECT_EQ(L"CORVANTIS", calls[i].strLabel) << i;
        EXPECT_EQ(1, calls[i].nQuickFormat) << i;
        EXPECT_EQ(cases[i].nCluster, calls[i].nClusterSize) << i;
    }
}

TEST(FormatVolumeTest, TheBarFollowsTheCallbacksAndOnlyADoneWithOneSucceeds)
{
    std::string strEighteen;
    for (int i = 0; i < 18; ++i)
        strEighteen += "structure ";
    struct Case {
        std::string strScript;
        std::vector<int> bar;   // positions set after the driver's 1
        int nResult;
    };
    const Case cases[] = {
        {"progress:10 progress:5 progress:30", {10, 30}, 0},
        {strEighteen, {6, 11, 16, 21, 26, 31, 36, 41, 46, 51, 56, 61, 66, 71, 76, 81, 86, 90}, 0},
        {"progress:30 done:1", {30, 100}, 1},
        {"progress:30 done:0", {30}, 0},
        {"text progress:40 text done:1", {40, 100}, 1},
        {"structure progress:3 done:1", {6, 100}, 1},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        CRunControl control;
        run.UseBay("[E:]\nfolder = e\nsize = 64M\nformat = " + c.strScript + "\n");
        CMemoryProgressView bar;
        bar.SetPos(1);
        bar.ClearHistory();
        EXPECT_EQ(c.nResult, FormatVolume(run.Bay().Formatter(), L"E:\\", L"", L"FAT32", 1, &bar, &control))
            << c.strScript;
        EXPECT_EQ(c.bar, bar.History()) << c.strScript;
    }
}

TEST(FormatVolumeTest, ACancelStopsTheFormatAtTheNextCallbackWhateverItReports)
{
    struct Case {
        const char* pszName;
        bool bCancelFirst;
        std::vector<int> bar;
    };
    const Case cases[] = {
        {"cancelled before the format", true, {}},
        {"cancelled after the first report", false, {10}},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        CRunControl control;
        run.UseBay("[E:]\nfolder = e\nsize = 64M\nformat = progress:10 done:1\n");
        WriteTestFile(run.DriveFolder("e") / "data.txt", "precious");
        CMemoryProgressView bar;
        if (c.bCancelFirst)
            control.RequestCancel();
        else
            bar.m_onSet = [&control](int) { control.RequestCancel(); };
        EXPECT_EQ(0, FormatVolume(run.Bay().Formatter(), L"E:\\", L"", L"FAT32", 1, &bar, &control)) << c.pszName;
        EXPECT_EQ(c.bar, bar.History()) << c.pszName;
        EXPECT_EQ("precious", ReadTestFile(run.DriveFolder("e") / "data.txt")) << "the drive is untouched";
    }
}

TEST(FormatVolumeTest, WithoutTheLibraryOrItsFormatExNothingIsTouched)
{
    for (BayFormatterPresence presence : {BayFormatterPresence::NoLibrary, BayFormatterPresence::NoFormatEx}) {
        CRunHarness run;
        CRunControl control;
        run.UseBay("[E:]\nfolder = e\nsize = 64M\n");
        WriteTestFile(run.DriveFolder("e") / "data.txt", "precious");
        run.Bay().SetFormatterPresence(presence);
        CMemoryProgressView bar;
        EXPECT_EQ(0, FormatVolume(run.Bay().Formatter(), L"E:\\", L"", L"FAT32", 1, &bar, &control));
        EXPECT_TRUE(run.Bay().FormatCalls().empty());
        EXPECT_EQ(-1, g_formatThreadTable.Find()) << "the thread's entry is released";
        EXPECT_EQ("precious", ReadTestFile(run.DriveFolder("e") / "data.txt"));
    }
}

// Two threads that claim at the same instant: each must get an entry of its own.
TEST(FormatVolumeTest, ThreadsClaimingAtTheSameInstantGetTheirOwnEntries)
{
    std::mutex mutex;
    std::condition_variable changed;
    int nArrived = 0;
    auto meet = [&](int nCount) {
        std::unique_lock<std::mutex> lock(mutex);
        ++nArrived;
        changed.notify_all();
        changed.wait(lock, [&] { return nArrived >= nCount; });
    };
    int nEntries[2] = {-2, -2};
    int nSuccess[2] = {-2, -2};
    auto worker = [&](int k) {
        meet(2);
        nEntries[k] = g_formatThreadTable.Claim();
        g_formatThreadTable.SetSuccess(k + 10);
        meet(4);
        nSuccess[k] = g_formatThreadTable.GetSuccess();
        g_formatThreadTable.Release();
    };
    std::thread first(worker, 0);
    std::thread second(worker, 1);
    first.join();
    second.join();
    EXPECT_GE(nEntries[0], 0);
    EXPECT_GE(nEntries[1], 0);
    EXPECT_NE(nEntries[0], nEntries[1]);
    EXPECT_EQ(10, nSuccess[0]);
    EXPECT_EQ(11, nSuccess[1]);
}

TEST(FormatRunTest, ThreeDrivesFormatAtOnceEachFromOneToDone)
{
    CRunHarness run;
    run.UseBay("[E:]\nfolder = e\nsize = 64M\nfs = NTFS\n"
               "[F:]\nfolder = f\nsize = 64M\nfs = exFAT\n"
               "[G:]\nfolder = g\nsize = 64M\nfs = FAT\nformat = progress:50 done:0\n");
    for (const char* pszDrive : {"e", "f", "g"})
        WriteTestFile(run.DriveFolder(pszDrive) / "old.txt", "old");
    run.m_request.m_strFileSystem = L"FAT32";
    run.m_request.m_strLabel = L"STICK";

    run.Run(TASK_FORMAT);

    EXPECT_EQ((Statuses{L"OK", L"OK", L"E6"}), run.Statuses());
    for (int i = 0; i < 3; ++i) {
        const std::vector<int> history = run.m_slots.bars[i].History();
        ASSERT_FALSE(history.empty());
        EXPECT_EQ(1, history.front()) << i;
    }
    EXPECT_EQ(100, run.m_slots.bars[0].GetPos());
    EXPECT_EQ(50, run.m_slots.bars[2].GetPos()) << "a failed format leaves the bar where it stopped";
    std::wstring strFileSystem;
    ASSERT_TRUE(run.Bay().Volumes().GetFileSystemName(L'F' - L'A', strFileSystem));
    EXPECT_EQ(L"FAT32", strFileSystem);
    EXPECT_TRUE(TreeListing(run.DriveFolder("e")).empty());
    EXPECT_EQ((std::vector<std::string>{"old.txt=old"}), TreeListing(run.DriveFolder("g")));
}

TEST(Fat32FormatRunTest, StickOfEverySizeGetsAFat32VolumeThatDosfstoolsAndMtoolsRead)
{
    struct Case {
        const char* pszName;
        uint64_t nLength;
        std::string strKeys;
        const wchar_t* pszLabel;
        const char* pszStored;   // the label as the boot sector holds it
        int64_t nSectorBytes;
        int64_t nHiddenSectors;
    };
    const Case cases[] = {
        {"33 GiB", 33ull << 30, "", L"Car Radio", "CAR RADIO  ", 512, 0},
        {"64 GiB, partitioned", 64ull << 30, "partition-offset = 1M\n", L"firmware_v2", "FIRMWARE_V2", 512, 2048},
        {"256 GiB, 4K-native", 256ull << 30, "sector-size = 4096\n", L"tv ", "TV         ", 4096, 0},
        // 2^32 sectors: one more than a boot sector counts.
        {"2 TiB, no label", 2ull << 40, "", L"", "NO NAME    ", 512, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        CRunHarness run;
        run.UseBay(SparseDrive(run, 'E', c.nLength, c.strKeys));
        const std::filesystem::path image = Image(run, 'E');
        // What the stick held before, past the structures: a quick format leaves it.
        WriteBytesAt(image, c.nLength / 2, "old data");
        RunFormat(run, L"FAT32", c.pszLabel);

        ASSERT_EQ(Statuses{L"OK"}, run.Statuses());
        EXPECT_TRUE(run.Bay().FormatCalls().empty()) << "FormatEx refuses FAT32 this large";
        const std::vector<int> bar = run.m_slots.bars[0].History();
        EXPECT_GT(bar.size(), 10u) << "the bar follows the bytes";
        EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
        EXPECT_EQ(100, bar.back());
        EXPECT_EQ("old data", ReadBytesAt(image, c.nLength / 2, 8));

        EXPECT_TRUE(IsClean(image));
        const std::string strLabel = std::string(c.pszStored).substr(0, std::string(c.pszStored).find_last_not_of(' ') + 1);
        // fatlabel reads the root directory's entry, of which an empty label has none.
        EXPECT_EQ(*c.pszLabel != L'\0' ? strLabel + "\n" : "", RunTool("fatlabel " + Quoted(image)).strOutput);

        const ToolResult verbose = RunTool("fsck.fat -n -v " + Quoted(image));
        const std::string& strCheck = verbose.strOutput;
        const int64_t nSectors = std::min<int64_t>(static_cast<int64_t>(c.nLength) / c.nSectorBytes, 0xFFFFFFFF);
        EXPECT_NE(std::string::npos, strCheck.find("Media byte 0xf8")) << strCheck;
        EXPECT_EQ(c.nSectorBytes, NumberBefore(strCheck, " bytes per logical sector"));
        EXPECT_EQ(32768, NumberBefore(strCheck, " bytes per cluster"));
        EXPECT_EQ(32, NumberBefore(strCheck, " reserved sectors"));
        EXPECT_NE(std::string::npos, strCheck.find(" 2 FATs, 32 bit entries"));
        EXPECT_NE(std::string::npos, strCheck.find("Root directory start at cluster 2"));
        EXPECT_EQ(c.nHiddenSectors, NumberBefore(strCheck, " hidden sectors"));
        EXPECT_EQ(nSectors, NumberBefore(strCheck, " sectors total"));
        const int64_t nFatBytes = NumberBefore(strCheck, " bytes per FAT");
        const int64_t nClusters = NumberBefore(strCheck, " data clusters");
        EXPECT_EQ((nSectors - 32 - 2 * nFatBytes / c.nSectorBytes) / (32768 / c.nSectorBytes), nClusters);
        EXPECT_GE(nFatBytes / 4, nClusters + 2) << "the FAT has an entry for every cluster";
        EXPECT_LT((nFatBytes - c.nSectorBytes) / 4, nClusters + 2) << "and no whole sector more";

        // mtools sums the volume's end in 32 bits and aborts on one of
        // 2^32 - 1 sectors: minfo reads the others.
        if (nSectors < 0xFFFFFFFF) {
            const std::string strInfo = RunTool("minfo -i " + Quoted(image) + " ::").strOutput;
            EXPECT_NE(std::string::npos, strInfo.find(std::string("disk label=\"") + c.pszStored + "\"")) << strInfo;
            EXPECT_EQ(1, NumberAfter(strInfo, "infoSector location="));
            EXPECT_EQ(6, NumberAfter(strInfo, "backup boot sector="));
            EXPECT_EQ(nClusters - 1, NumberAfter(strInfo, "free clusters=")) << "FSInfo's free count";
            EXPECT_EQ(2, NumberAfter(strInfo, "last allocated cluster="));
        }

        // Every cluster free but the root directory's.
        const std::string strListing = RunTool("mdir -i " + Quoted(image) + " ::").strOutput;
        if (*c.pszLabel != L'\0') {
            EXPECT_NE(std::string::npos, strListing.find(std::string("Volume in drive : is ") + c.pszStored))
                << strListing;
        }
        EXPECT_EQ((nClusters - 1) * 32768, FreeBytesListed(strListing)) << strListing;

        const std::filesystem::path file = run.Root() / "song.mp3";
        const std::string strSong = std::string(100000, 'm') + "the end";
        WriteTestFile(file, strSong);
        ASSERT_EQ(0, RunTool("mcopy -i " + Quoted(image) + " " + Quoted(file) + " ::/SONG.MP3").nStatus);
        EXPECT_EQ(strSong, RunTool("mtype -i " + Quoted(image) + " ::/SONG.MP3").strOutput);
        EXPECT_TRUE(IsClean(image)) << "after the copy";
    }
}

TEST(Fat32FormatRunTest, OnlyFat32AboveWhatFormatExMakesIsOurs)
{
    struct Case {
        const char* pszName;
        std::string strFolderDrive;   // empty: an image of nImageLength
        uint64_t nImageLength;
        const wchar_t* pszFileSystem;
        bool bFormatEx;
        const wchar_t* pszResult;
    };
    const Case cases[] = {
        {"16 GiB FAT32 stick", "[E:]\nfolder = e\nsize = 16G\n", 0, L"FAT32", true, L"OK"},
        {"64 GiB NTFS stick", "[E:]\nfolder = e\nsize = 64G\n", 0, L"NTFS", true, L"OK"},
        {"64 GiB FAT stick", "[E:]\nfolder = e\nsize = 64G\n", 0, L"fat", true, L"OK"},
        // The stand-in formats no image, whatever it is asked.
        {"exactly 32 GiB FAT32 image", "", 32ull << 30, L"FAT32", true, L"E6"},
        {"64 GiB fat32 image", "", 64ull << 30, L"fat32", false, L"OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        CRunHarness run;
        const bool bImage = c.strFolderDrive.empty();
        run.UseBay(bImage ? SparseDrive(run, 'E', c.nImageLength) : c.strFolderDrive);
        RunFormat(run, c.pszFileSystem, L"STICK");
        EXPECT_EQ(Statuses{c.pszResult}, run.Statuses());
        EXPECT_EQ(c.bFormatEx ? 1u : 0u, run.Bay().FormatCalls().size());
        if (bImage && !c.bFormatEx) {
            EXPECT_TRUE(IsClean(Image(run, 'E')));
        }
    }
}

TEST(Fat32FormatRunTest, ALabelTheVolumeCannotStoreEndsWithE6BeforeAnythingIsWritten)
{
    const wchar_t* const labels[] = {
        L"A*B", L"MY.STICK", L"a:b", L"x/y", L"[1]", L"q\"", L"TAB\there",
        L"\uD55C\uAD6D\uC5B4",   // Korean: no form in the OEM code page the bay converts to
        L"TWELVE CHARS",            // 12 bytes, one more than a label holds
    };
    for (const wchar_t* pszLabel : labels) {
        CRunHarness run;
        run.UseBay(SparseDrive(run, 'E', 64ull << 30));
        const std::filesystem::path image = Image(run, 'E');
        WriteBytesAt(image, 0, "the stick's old boot sector");
        RunFormat(run, L"FAT32", pszLabel);
        EXPECT_EQ(Statuses{L"E6"}, run.Statuses());
        EXPECT_EQ("the stick's old boot sector", ReadBytesAt(image, 0, 27)) << "nothing written";
        EXPECT_EQ(1, run.m_slots.bars[0].GetPos());
    }
}

TEST(Fat32FormatRunTest, TwentyTwoSticksFormatAtOnceAndThePulledOneAloneFails)
{
    CRunHarness run;
    std::string strBay;
    for (int i = 0; i < 22; ++i)
        strBay += SparseDrive(run, static_cast<char>('D' + i), 33ull << 30, i == 7 ? "remove-after = 4M\n" : "");
    run.UseBay(strBay);
    RunFormat(run, L"FAT32", L"FLEET");

    Statuses expected(22, L"OK");
    expected[7] = L"E6";
    EXPECT_EQ(expected, run.Statuses());
    EXPECT_TRUE(run.Bay().FormatCalls().empty());
    std::set<std::string> serials;
    for (int i = 0; i < 22; ++i) {
        if (i == 7)
            continue;
        const std::filesystem::path image = Image(run, static_cast<char>('D' + i));
        EXPECT_TRUE(IsClean(image)) << i;
        EXPECT_EQ("FLEET\n", RunTool("fatlabel " + Quoted(image)).strOutput) << i;
        serials.insert(ReadBytesAt(image, 67, 4));
        EXPECT_EQ(100, run.m_slots.bars[i].GetPos()) << i;
    }
    EXPECT_EQ(21u, serials.size()) << "every stick has a serial of its own";
}

}  // namespace
