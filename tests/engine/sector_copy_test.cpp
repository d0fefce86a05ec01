// Sector Copy over image-backed bay drives: one read of the source feeding
// every target, the ring and its flow control, and the failures of single
// drives, through the engine alone and through whole runs.

#include "engine/sector_copy.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <new>

#include <gtest/gtest.h>

#include "engine/task_request.h"
#include "support/run_harness.h"

namespace {

using Statuses = std::vector<std::wstring>;

constexpr uint64_t CHUNK = 65536;

std::string Pattern(uint64_t nLength, unsigned nSeed)
{
    std::string strBytes(nLength, '\0');
    for (uint64_t i = 0; i < nLength; ++i)
        strBytes[i] = static_cast<char>((i * 131 + nSeed + i / 4093) % 251);
    return strBytes;
}

// An image drive: "[E:]" backed by "e.img", which must exist before the
// bay reads its description. size is the file system's capacity.
std::string ImageDrive(char chLetter, const std::string& strKeys = "", const std::string& strSize = "1G")
{
    const std::string strName(1, static_cast<char>(chLetter - 'A' + 'a'));
    return std::string("[") + chLetter + ":]\nimage = " + strName + ".img\nsize = " + strSize + "\n" + strKeys;
}

const char kInternalDisk[] = "type = fixed\nbus = sata\nmedia = fixed\n";

class SectorCopyTest : public ::testing::Test {
protected:
    std::filesystem::path Image(char chLetter) const
    {
        return m_run.Root() / (std::string(1, static_cast<char>(chLetter - 'A' + 'a')) + ".img");
    }
    void MakeImage(char chLetter, const std::string& strBytes) { WriteTestFile(Image(chLetter), strBytes); }
    void MakeSparseImage(char chLetter, uint64_t nLength)
    {
        WriteTestFile(Image(chLetter), "");
        std::filesystem::resize_file(Image(chLetter), nLength);
    }
    std::string ReadImage(char chLetter) const { return ReadTestFile(Image(chLetter)); }

    // The engine alone, with a ring allocator of the test's choosing.
    std::unique_ptr<CSectorCopy> MakeEngine(RingAllocator allocator = AllocateRing)
    {
        return std::make_unique<CSectorCopy>(m_run.Bay().Volumes(), m_run.Bay().RawVolumes(), m_run.m_sleeper,
                                             m_timing, std::move(allocator));
    }

    // Waits (bounded) for a condition that other threads bring about.
    template <class F>
    static bool Eventually(F condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    CRunHarness m_run;
    RunTiming m_timing = m_run.m_timing;
    // The cancel of the engine alone, without a run.
    CRunControl m_control;
};

// Accepts a ring of at most nChunks chunks.
RingAllocator RingOfAtMost(uint64_t nChunks)
{
    return [nChunks](CAlignedBuffer& ring, size_t nBytes) {
        return nBytes <= nChunks * CHUNK && AllocateRing(ring, nBytes);
    };
}

TEST_F(SectorCopyTest, TheRingHoldsTheSourceAndOneMoreUpToAThousandAndShrinksWhenMemoryIsShort)
{
    struct Case {
        uint64_t nSourceLength;
        uint64_t nAllowedChunks;   // what the allocator grants
        int64_t nRing;
    };
    const Case cases[] = {
        {10 * CHUNK, 2000, 11},
        {10 * CHUNK + 512, 2000, 11},
        {1000ull << 30, 2000, 1000},
        // 1000, 900, 810, 729, 656, 590, 531 are refused; 477 fits.
        {1000ull << 30, 500, 477},
        // Not even one chunk: no job.
        {10 * CHUNK, 0, 0},
    };
    for (const Case& c : cases) {
        MakeSparseImage('S', c.nSourceLength);
        MakeImage('E', "");
        m_run.UseBay(ImageDrive('S') + ImageDrive('E'));
        std::unique_ptr<CSectorCopy> pEngine = MakeEngine(RingOfAtMost(c.nAllowedChunks));
        // One writer that never comes: the reader fills the ring and waits.
        EXPECT_EQ(c.nRing > 0 ? 1 : 0, pEngine->StartSectorCopy(L"S:\\", 1, &m_control, SECTOR_CHUNK_SIZE))
            << c.nSourceLength;
        EXPECT_EQ(c.nRing, pEngine->GetRingChunks()) << c.nSourceLength;
        if (c.nRing > 0) {
            const int64_t nChunks = std::min<int64_t>(c.nRing, (c.nSourceLength + CHUNK - 1) / CHUNK);
            EXPECT_TRUE(Eventually([&] { return pEngine->GetChunkCount(0) == nChunks; })) << c.nSourceLength;
        }
        EXPECT_EQ(1, pEngine->ResetSectorCopy()) << "returns once the reader has ended";
        EXPECT_EQ(0, pEngine->GetChunkCount(0));
        EXPECT_EQ(0, pEngine->GetRingChunks());
        if (c.nRing == 0) {
            EXPECT_EQ(0, pEngine->CopySectorsToDrive(L"E:\\", 1, nullptr)) << "a job with nothing to copy";
        }
    }
}

TEST_F(SectorCopyTest, ASlowWriterHoldsTheReaderUntilItLeavesTheJob)
{
    const std::string strSource = Pattern(40 * CHUNK, 1);
    MakeImage('S', strSource);
    MakeImage('E', std::string(strSource.size(), '\0'));
    MakeImage('F', std::string(strSource.size(), '\0'));
    m_run.UseBay(ImageDrive('S') + ImageDrive('E') + ImageDrive('F'));
    std::unique_ptr<CSectorCopy> pEngine = MakeEngine(RingOfAtMost(4));
    ASSERT_EQ(1, pEngine->StartSectorCopy(L"S:", 2, &m_control, SECTOR_CHUNK_SIZE));
    ASSERT_EQ(4, pEngine->GetRingChunks()) << "41, 36, 32, ... shrink to 4";

    // Writer 2 (F:) has not begun: writer 1 gets as far as the ring reaches.
    int nResult = -1;
    std::thread writer([&] { nResult = pEngine->CopySectorsToDrive(L"E:\\", 1, nullptr); });
    ASSERT_TRUE(Eventually([&] { return pEngine->GetChunkCount(1) == 4; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(4, pEngine->GetChunkCount(0)) << "the reader refilled a slot writer 2 had not written";
    EXPECT_EQ(4, pEngine->GetChunkCount(1));

    pEngine->DropSectorCopyTarget(2);
    writer.join();
    EXPECT_EQ(1, nResult);
    EXPECT_EQ(strSource, ReadImage('E'));
    EXPECT_EQ(CHUNK_FAILED, pEngine->GetChunkCount(2));
    EXPECT_EQ(strSource.size(), m_run.Bay().BytesRead(L'S')) << "read once";
}

// A writer that fails leaves the job by itself, before any worker could
// drop it: the reader goes on filling the ring for the others.
TEST_F(SectorCopyTest, AWriterThatFailsLeavesTheJobByItself)
{
    const std::string strSource = Pattern(40 * CHUNK, 5);
    MakeImage('S', strSource);
    MakeImage('E', std::string(strSource.size(), '\0'));
    m_run.UseBay(ImageDrive('S') + ImageDrive('E'));
    std::unique_ptr<CSectorCopy> pEngine = MakeEngine(RingOfAtMost(4));
    ASSERT_EQ(1, pEngine->StartSectorCopy(L"S:", 2, &m_control, SECTOR_CHUNK_SIZE));
    std::atomic<int> nResult{-1};
    std::thread writer([&] { nResult = pEngine->CopySectorsToDrive(L"E:\\", 1, nullptr); });

    EXPECT_EQ(0, pEngine->CopySectorsToDrive(L"F:\\", 2, nullptr)) << "F: is not in the bay";
    EXPECT_EQ(CHUNK_FAILED, pEngine->GetChunkCount(2));
    const bool bFinished = Eventually([&] { return nResult != -1; });
    EXPECT_TRUE(bFinished) << "writer 1 still waits for writer 2";
    if (!bFinished)
        pEngine->DropSectorCopyTarget(2);
    writer.join();
    EXPECT_EQ(1, nResult);
    EXPECT_EQ(strSource, ReadImage('E'));
}

TEST_F(SectorCopyTest, CancelWhileTheReaderWaitsEndsTheReaderAndEveryWriter)
{
    MakeImage('S', Pattern(40 * CHUNK, 2));
    MakeImage('E', std::string(40 * CHUNK, '\0'));
    MakeImage('F', std::string(40 * CHUNK, '\0'));
    m_run.UseBay(ImageDrive('S') + ImageDrive('E') + ImageDrive('F'));
    std::unique_ptr<CSectorCopy> pEngine = MakeEngine(RingOfAtMost(4));
    ASSERT_EQ(1, pEngine->StartSectorCopy(L"S:", 2, &m_control, SECTOR_CHUNK_SIZE));
    int nResult = -1;
    std::thread writer([&] { nResult = pEngine->CopySectorsToDrive(L"E:\\", 1, nullptr); });
    ASSERT_TRUE(Eventually([&] { return pEngine->GetChunkCount(1) == 4; }));

    m_control.RequestCancel();
    writer.join();
    EXPECT_EQ(0, nResult) << "its reader is gone";
    EXPECT_EQ(0, pEngine->CopySectorsToDrive(L"F:\\", 2, nullptr)) << "a writer arriving late";
    EXPECT_EQ(4 * CHUNK, m_run.Bay().BytesRead(L'S'));
}

// A volume's length is whole sectors, rarely whole chunks, and a transfer
// across a volume's end fails whole: the last chunk is what is left. Every
// drive is pulled out once the run is over, so what it holds is what it was
// made to keep, not what a cache held for it.
TEST_F(SectorCopyTest, EveryTargetGetsTheWholeVolumeByteForByteFromOneRead)
{
    struct Case {
        int nTargets;
        uint32_t nSector;
        bool bVerify;
        uint64_t nTargetExtra;   // the targets' length past the source's
    };
    const Case cases[] = {
        {1, 512, false, 3 * CHUNK}, {22, 512, true, 0}, {4, 4096, true, 3 * CHUNK}, {4, 4096, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nTargets) + " targets, sectors of " + std::to_string(c.nSector)
                     + (c.bVerify ? ", with Verify" : "") + ", " + std::to_string(c.nTargetExtra) + " bytes longer");
        // FAT's reserved sectors and tables make the capacity (size) smaller
        // than the length.
        const std::string strSource = Pattern(10 * CHUNK + 3 * c.nSector, 3);
        const std::string strSector = "sector-size = " + std::to_string(c.nSector) + "\n";
        CRunHarness run;
        std::string strBay = ImageDrive('C', kInternalDisk + strSector, "500K");
        for (int i = 0; i < c.nTargets; ++i)
            strBay += ImageDrive(static_cast<char>('E' + i), strSector);
        WriteTestFile(run.Root() / "c.img", strSource);
        // Nothing beyond the source's length may change.
        for (int i = 0; i < c.nTargets; ++i)
            WriteTestFile(run.Root() / (std::string(1, static_cast<char>('e' + i)) + ".img"),
                          std::string(strSource.size() + c.nTargetExtra, '\xEE'));
        run.UseBay(strBay);
        run.m_request.m_strSourcePath = L"C:\\";
        run.m_request.m_nVerify = c.bVerify ? 1 : 0;

        run.Run(TASK_SECTOR_COPY);

        EXPECT_EQ(Statuses(c.nTargets, L"OK"), run.Statuses());
        for (int i = 0; i < c.nTargets; ++i) {
            const std::string strTarget =
                ReadTestFile(run.Root() / (std::string(1, static_cast<char>('e' + i)) + ".img"));
            ASSERT_EQ(strSource.size() + c.nTargetExtra, strTarget.size());
            EXPECT_TRUE(strTarget.compare(0, strSource.size(), strSource) == 0) << "target " << i;
            EXPECT_EQ(std::string(c.nTargetExtra, '\xEE'), strTarget.substr(strSource.size())) << "target " << i;
            EXPECT_EQ(100, run.m_slots.bars[i].GetPos());
        }
        EXPECT_EQ(strSource.size(), run.Bay().BytesRead(L'C')) << "one read";
        EXPECT_EQ(strSource, ReadTestFile(run.Root() / "c.img")) << "the source is never written";
    }
}

// The reader stops at its next test once the operator cancels, on its own:
// a slow source is not read on to its end while the run winds down.
TEST_F(SectorCopyTest, AfterACancelTheReaderReadsNoFurther)
{
    const std::string strSource = Pattern(40 * CHUNK, 12);
    MakeImage('S', strSource);
    MakeImage('E', std::string(strSource.size(), '\0'));
    // A chunk takes the source a tenth of a second; the ring holds it all,
    // so the reader never waits for the writer that never comes.
    m_run.UseBay(ImageDrive('S', "read-speed = 640K\n") + ImageDrive('E'));
    std::unique_ptr<CSectorCopy> pEngine = MakeEngine();
    ASSERT_EQ(1, pEngine->StartSectorCopy(L"S:", 1, &m_control, SECTOR_CHUNK_SIZE));
    ASSERT_TRUE(Eventually([&] { return pEngine->GetChunkCount(0) >= 1; }));

    m_control.RequestCancel();

    ASSERT_TRUE(Eventually([&] { return !pEngine->IsReaderLive(); }));
    EXPECT_LT(m_run.Bay().BytesRead(L'S'), strSource.size() / 2) << "the reader went on after the cancel";
}

TEST_F(SectorCopyTest, EachDriveFailsOnItsOwnWhileTheOthersFinish)
{
    // S: is the source; each target fails its own way or succeeds.
    const std::string strSource = Pattern(12 * CHUNK, 4);
    MakeImage('S', strSource);
    for (char ch : {'E', 'F', 'G', 'H', 'I'})
        MakeImage(ch, std::string(strSource.size(), '\0'));
    MakeImage('J', std::string(strSource.size() - 512, '\0'));
    MakeImage('K', std::string(strSource.size(), '\0'));
    MakeImage('M', std::string(strSource.size(), '\0'));
    // M: is pulled out as its volume is about to be opened (the scan asked
    // its device once before): no pause brings a gone stick back.
    CRecordingVolumes volumes(nullptr);
    std::atomic<int> nAskedOfM{0};
    volumes.m_onDosPathAsked = [&](int nDriveIndex) {
        if (nDriveIndex == 'M' - 'A' && ++nAskedOfM == 2)
            m_run.Bay().PullOut(L'M');
    };
    m_run.UseBay(ImageDrive('S', kInternalDisk)
                 + ImageDrive('E')                                  // fine
                 + ImageDrive('F', "lock-refusals = 2\n")           // yields on the third attempt
                 + ImageDrive('G', "lock-refusals = 5\n")           // never yields
                 + ImageDrive('H', "fail-after = 200K\n")           // a write fails
                 + ImageDrive('I', "remove-after = 200K\n")         // pulled out
                 + ImageDrive('J')                                  // one sector short
                 + ImageDrive('K')                                  // pulled out before its flush
                 + ImageDrive('M'),                                 // pulled out at its open
                 &volumes);
    m_run.m_slots.bars[6].m_onSet = [this](int nPos) {
        if (nPos == 100)
            m_run.Bay().PullOut(L'K');
    };
    m_run.m_request.m_strSourcePath = L"S:\\";

    m_run.Run(TASK_SECTOR_COPY);

    EXPECT_EQ((Statuses{L"OK", L"OK", L"E7", L"E7", L"E7", L"E1", L"E7", L"E7"}), m_run.Statuses());
    EXPECT_NE(strSource, ReadImage('K')) << "all it was given was still in its cache";
    EXPECT_EQ(strSource, ReadImage('E'));
    EXPECT_EQ(strSource, ReadImage('F'));
    EXPECT_EQ(std::string(strSource.size() - 512, '\0'), ReadImage('J')) << "a rejected target is never written";
    const std::vector<long long> pauses = m_run.m_sleeper.Pauses();
    EXPECT_EQ(2 + 5, std::count(pauses.begin(), pauses.end(), 17)) << "F: waited twice, G: five times, M: never";
    EXPECT_EQ(FAIL_STEP_LOCKING, m_run.Failure(2).nStep);
    EXPECT_EQ(FAIL_STEP_OPENING, m_run.Failure(7).nStep);
    EXPECT_EQ(SYSERR_FILE_NOT_FOUND, m_run.Failure(7).nError);
}

// Launches threads as the product does, but throws at the launch numbered
// nThrowAt (1: the supervisor, 2: the reader, 3 and on: the workers in slot
// order), as when no thread or no memory is left.
ThreadLauncher LauncherThatThrowsAt(int nThrowAt)
{
    auto pCount = std::make_shared<std::atomic<int>>(0);
    return [pCount, nThrowAt](std::function<void()> body) {
        if (++*pCount == nThrowAt)
            throw std::bad_alloc();
        return LaunchThread(std::move(body));
    };
}

// A source of 20 chunks through a ring of 4: the reader waits for every
// writer still in the job, so a writer that fails without leaving it would
// hold every other drive, and the run, for good.
TEST_F(SectorCopyTest, ASourceLargerThanTheRingReachesEveryOtherTargetWhateverBefallsOne)
{
    const std::string strSource = Pattern(20 * CHUNK, 8);
    struct Case {
        const char* pszName;
        int nLaunchThatThrows;   // 0: none
        bool bOpenOfGThrows;
        uint64_t nLengthOfG;
        Statuses expected;
    };
    const Case cases[] = {
        {"G: one sector short", 0, false, strSource.size() - 512, {L"OK", L"OK", L"E1", L"OK"}},
        {"G:'s worker cannot be started", 5, false, strSource.size(), {L"OK", L"OK", L"E7", L"OK"}},
        {"G:'s driver throws before it writes", 0, true, strSource.size(), {L"OK", L"OK", L"E7", L"OK"}},
        {"the reader cannot be started", 2, false, strSource.size(), {L"E7", L"E7", L"E7", L"E7"}},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        WriteTestFile(run.Root() / "s.img", strSource);
        for (const char* pszTarget : {"e", "f", "h"})
            WriteTestFile(run.Root() / (std::string(pszTarget) + ".img"), std::string(strSource.size(), '\0'));
        WriteTestFile(run.Root() / "g.img", std::string(c.nLengthOfG, '\0'));
        CThrowingRawVolumes throwOnG(c.bOpenOfGThrows ? L'G' : L'\0');
        run.m_allocator = RingOfAtMost(4);
        if (c.nLaunchThatThrows != 0)
            run.m_launcher = LauncherThatThrowsAt(c.nLaunchThatThrows);
        run.UseBay(ImageDrive('S', kInternalDisk) + ImageDrive('E') + ImageDrive('F') + ImageDrive('G')
                       + ImageDrive('H'),
                   nullptr, &throwOnG);
        run.m_request.m_strSourcePath = L"S:\\";

        run.Run(TASK_SECTOR_COPY);

        EXPECT_EQ(c.expected, run.Statuses()) << c.pszName;
        for (const char* pszTarget : {"e", "f", "h"}) {
            if (c.expected[0] == L"OK") {
                EXPECT_TRUE(ReadTestFile(run.Root() / (std::string(pszTarget) + ".img")) == strSource)
                    << c.pszName << ": " << pszTarget;
            }
        }
        EXPECT_EQ(c.nLaunchThatThrows == 2 ? 0u : strSource.size(), run.Bay().BytesRead(L'S')) << c.pszName;
    }
}

TEST_F(SectorCopyTest, ARunWhoseSupervisorCannotBeStartedLeavesNoRunBehind)
{
    MakeImage('S', Pattern(2 * CHUNK, 9));
    MakeImage('E', std::string(2 * CHUNK, '\0'));
    m_run.m_launcher = LauncherThatThrowsAt(1);
    m_run.UseBay(ImageDrive('S', kInternalDisk) + ImageDrive('E'));
    m_run.m_request.m_strSourcePath = L"S:\\";
    m_run.m_request.m_nTaskType = TASK_SECTOR_COPY;
    m_run.Scan();

    EXPECT_EQ(0, m_run.StartRun());
    EXPECT_FALSE(m_run.IsRunActive()) << "the dialog stays idle and may close";
    EXPECT_EQ(0, m_run.LastRun().CountLiveWorkers());
    EXPECT_EQ(1, m_run.StartRun()) << "the next Start runs";
    m_run.WaitForEnd();
    EXPECT_EQ((Statuses{L"OK"}), m_run.Statuses());
}

// True when the bar's positions never go back.
bool NeverGoesBack(const std::vector<int>& history)
{
    return std::is_sorted(history.begin(), history.end());
}

// Sticks that take every write and still give wrong data back: only the
// read-back tells them from good ones. 22 drives, a source of 2.5 MiB and a
// bit through a ring of 4 chunks, so that fast drives check while slow ones
// still write.
TEST_F(SectorCopyTest, WithVerifyOnlyADriveThatGivesTheSourceBackShowsOk)
{
    const std::string strSource = Pattern(40 * CHUNK + 512, 10);
    const std::map<char, std::string> kFaulty = {
        {'G', "wrap-at = 1M\n"},                // counterfeit: keeps 1 MiB, the rest over its start
        {'L', "corrupt-after = 2000000\n"},     // worn: the last half MiB stored wrong
        {'R', "read-fail-after = 1400K\n"},     // its reads fail half way: pulled out during the check
    };
    for (const bool bVerify : {true, false}) {
        CRunHarness run;
        WriteTestFile(run.Root() / "s.img", strSource);
        std::string strBay = ImageDrive('S', kInternalDisk);
        Statuses expected;
        for (char ch = 'E'; ch < 'E' + 22; ++ch) {
            if (ch == 'S')
                continue;
            WriteTestFile(run.Root() / (std::string(1, static_cast<char>(ch - 'A' + 'a')) + ".img"),
                          std::string(strSource.size(), '\0'));
            const auto faulty = kFaulty.find(ch);
            strBay += ImageDrive(ch, faulty != kFaulty.end() ? faulty->second : "");
            expected.push_back(bVerify && faulty != kFaulty.end() ? L"E8" : L"OK");
        }
        run.m_allocator = RingOfAtMost(4);
        run.UseBay(strBay);
        run.m_request.m_strSourcePath = L"S:\\";
        run.m_request.m_nVerify = bVerify ? 1 : 0;

        run.Run(TASK_SECTOR_COPY);

        EXPECT_EQ(expected, run.Statuses()) << (bVerify ? "with Verify" : "without Verify, every write accepted is OK");
        for (size_t i = 0; i < expected.size(); ++i) {
            const std::vector<int> history = run.m_slots.bars[i].History();
            EXPECT_TRUE(NeverGoesBack(history)) << i;
            if (bVerify) {
                EXPECT_NE(history.end(), std::find(history.begin(), history.end(), 50)) << "writing ends at 50: " << i;
            }
        }
        EXPECT_EQ(strSource.size(), run.Bay().BytesRead(L'S')) << "the source is read once";
        EXPECT_EQ(bVerify ? strSource.size() : 0u, run.Bay().BytesRead(L'E')) << "a good drive is read back whole";
        EXPECT_TRUE(ReadTestFile(run.Root() / "e.img") == strSource);
    }
}

TEST_F(SectorCopyTest, ACancelDuringTheCheckEndsTheDriveWithE5)
{
    const std::string strSource = Pattern(40 * CHUNK, 11);
    MakeImage('S', strSource);
    MakeImage('E', std::string(strSource.size(), '\0'));
    m_run.UseBay(ImageDrive('S', kInternalDisk) + ImageDrive('E'));
    // The operator confirms the cancel once the check is under way.
    m_run.m_slots.bars[0].m_onSet = [this](int nPos) {
        if (nPos > 60)
            m_run.Control().RequestCancel();
    };
    m_run.m_request.m_strSourcePath = L"S:\\";
    m_run.m_request.m_nVerify = 1;

    m_run.Run(TASK_SECTOR_COPY);

    EXPECT_EQ((Statuses{L"E5"}), m_run.Statuses());
    EXPECT_LT(m_run.m_slots.bars[0].GetPos(), 100);
    EXPECT_EQ(strSource, ReadImage('E')) << "the writing itself was whole";
}

TEST_F(SectorCopyTest, WithoutASourceToReadNoTargetSucceeds)
{
    struct Case {
        const char* pszSourceKeys;
        const char* pszName;
    };
    const Case cases[] = {
        {"open-refusals = 99\n", "the source cannot be opened"},
        {"read-fail-after = 100K\n", "a read fails half way"},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        WriteTestFile(run.Root() / "s.img", Pattern(8 * CHUNK, 5));
        WriteTestFile(run.Root() / "e.img", std::string(8 * CHUNK, '\0'));
        WriteTestFile(run.Root() / "f.img", std::string(8 * CHUNK, '\0'));
        // A capacity as long as the image: the source is measured even
        // when it cannot be opened.
        run.UseBay(ImageDrive('S', std::string(kInternalDisk) + c.pszSourceKeys, "512K") + ImageDrive('E')
                   + ImageDrive('F'));
        run.m_request.m_strSourcePath = L"S:\\";
        run.Run(TASK_SECTOR_COPY);
        EXPECT_EQ((Statuses{L"E7", L"E7"}), run.Statuses()) << c.pszName;
    }
}

TEST_F(SectorCopyTest, ASecondRunStartsFromAClearedTable)
{
    MakeImage('S', "");
    MakeImage('E', "");
    m_run.UseBay(ImageDrive('S', kInternalDisk) + ImageDrive('E'));
    for (unsigned nSeed : {6u, 7u}) {
        const std::string strSource = Pattern(5 * CHUNK, nSeed);
        MakeImage('S', strSource);
        MakeImage('E', std::string(strSource.size(), '\0'));
        m_run.m_request.m_strSourcePath = L"S:\\";
        m_run.Run(TASK_SECTOR_COPY);
        EXPECT_EQ((Statuses{L"OK"}), m_run.Statuses()) << nSeed;
        EXPECT_EQ(strSource, ReadImage('E')) << nSeed;
    }
}

}  // namespace
