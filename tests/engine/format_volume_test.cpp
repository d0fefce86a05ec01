// The format engine over the bay's formatter stand-in, which drives the same
// callback protocol as the system's FormatEx.

#include "engine/format_volume.h"

#include <condition_variable>

#include <gtest/gtest.h>

#include "bay/simulated_bay.h"
#include "engine/run_control.h"
#include "engine/task_request.h"
#include "platform/volume_queries.h"
#include "support/run_harness.h"

namespace {

using Statuses = std::vector<std::wstring>;

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

}  // namespace
