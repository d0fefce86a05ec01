// A run as a whole: the supervisor's workers and pauses, the end it reports,
// and the hold that keeps workers still while the cancel question is open.

#include "engine/task_supervisor.h"

#include <gtest/gtest.h>

#include "engine/task_request.h"
#include "support/run_harness.h"

namespace {

using Statuses = std::vector<std::wstring>;

const char kTwoSticks[] = "[E:]\nfolder = e\nsize = 64M\n[F:]\nfolder = f\nsize = 64M\n";

TEST(TaskRunTest, ASlotShowsOkOnlyAfterItsBarIsFullAndThePauseAfterIt)
{
    CRunHarness run;
    run.UseBay("[E:]\nfolder = e\nsize = 64M\n");
    WriteTestFile(run.Root() / "src" / "a.txt", "alpha");
    run.SetSource(run.Root() / "src");
    // The harness's pauses: supervisor poll 7, result 11, idle 13 (ms).
    std::vector<long long> pausesAtFullBar;
    std::vector<long long> pausesAtOk;
    run.m_slots.bars[0].m_onSet = [&](int nPos) {
        if (nPos == 100 && pausesAtFullBar.empty())
            pausesAtFullBar = run.m_sleeper.Pauses();
    };
    run.m_slots.statuses[0].m_onSet = [&](const std::wstring&) { pausesAtOk = run.m_sleeper.Pauses(); };

    run.Run(TASK_FILE_COPY);

    EXPECT_EQ((Statuses{L"OK"}), run.Statuses());
    EXPECT_EQ(0, std::count(pausesAtFullBar.begin(), pausesAtFullBar.end(), 11));
    EXPECT_EQ(1, std::count(pausesAtOk.begin(), pausesAtOk.end(), 11));
    const std::vector<long long> pauses = run.m_sleeper.Pauses();
    ASSERT_GE(pauses.size(), 3u);
    EXPECT_EQ(13, pauses.back()) << "the last pause comes after the workers, before the end is reported";
    // Which of the supervisor's last poll and the worker's result pause began
    // first is the threads' own business: only that the supervisor polled.
    EXPECT_LE(1, std::count(pauses.begin(), pauses.end() - 1, 7)) << "the supervisor found the worker gone on a poll";
    EXPECT_EQ(1, run.EndsReported());
}

TEST(TaskRunTest, WithoutATaskOrFromASourceThatIsNoVolumeNoSlotSucceeds)
{
    struct Case {
        int32_t nTask;
        Statuses expected;
    };
    const Case cases[] = {
        {TASK_NONE, {L"", L""}},
        // A folder is no volume: the raw copy has nothing to read, and no
        // slot may claim a copy.
        {TASK_SECTOR_COPY, {L"E7", L"E7"}},
    };
    for (const Case& c : cases) {
        CRunHarness run;
        run.UseBay(kTwoSticks);
        WriteTestFile(run.Root() / "src" / "a.txt", "alpha");
        run.SetSource(run.Root() / "src");
        run.Run(c.nTask);
        EXPECT_EQ(c.expected, run.Statuses()) << c.nTask;
        EXPECT_TRUE(run.m_slots.bars[0].History().empty()) << c.nTask;
        EXPECT_TRUE(TreeListing(run.DriveFolder("e")).empty()) << c.nTask;
        EXPECT_EQ(1, run.EndsReported());
    }
}

TEST(TaskRunTest, TheCancelQuestionHoldsTheWorkersAndOnlyOkCancels)
{
    for (const bool bConfirm : {false, true}) {
        CRunHarness run;
        run.UseBay(kTwoSticks + std::string("[G:]\nfolder = g\nsize = 1M\n"));
        WriteTestFile(run.Root() / "src" / "big.bin", std::string(8 << 20, 'x'));
        run.SetSource(run.Root() / "src");

        // When E: and F: are both a quarter written, the operator presses
        // Cancel: the dialog holds the workers, asks, and the test plays the
        // operator's answer. The first to arrive waits for the other, so
        // neither can be done before the question.
        std::mutex mutex;
        std::condition_variable changed;
        int nArrived = 0;
        bool bHeld = false;
        for (int nSlot : {0, 1}) {
            run.m_slots.bars[nSlot].m_onSet = [&, bSeen = false](int nPos) mutable {
                if (nPos < 25 || bSeen)
                    return;
                bSeen = true;
                std::unique_lock<std::mutex> lock(mutex);
                if (++nArrived == 2) {
                    run.Control().HoldWorkers();
                    bHeld = true;
                    changed.notify_all();
                }
                changed.wait(lock, [&] { return bHeld; });
            };
        }
        run.m_request.m_nTaskType = TASK_FILE_COPY;
        run.Scan();
        ASSERT_EQ(1, run.StartRun());
        {
            std::unique_lock<std::mutex> lock(mutex);
            ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return bHeld; }));
        }
        // G: has failed its space check; E: and F: wait at their next check point.
        const std::vector<int> heldE = run.m_slots.bars[0].History();
        const std::vector<int> heldF = run.m_slots.bars[1].History();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(heldE, run.m_slots.bars[0].History()) << "E: moved while held";
        EXPECT_EQ(heldF, run.m_slots.bars[1].History()) << "F: moved while held";
        EXPECT_GE(run.LastRun().CountLiveWorkers(), 1);

        if (bConfirm)
            run.Control().RequestCancel();
        run.Control().ReleaseWorkers();
        run.WaitForEnd();

        const Statuses expected = bConfirm ? Statuses{L"E5", L"E5", L"E1"} : Statuses{L"OK", L"OK", L"E1"};
        EXPECT_EQ(expected, run.Statuses()) << "confirmed: " << bConfirm;
        EXPECT_EQ(bConfirm, run.Control().IsCancelled());
        EXPECT_EQ(0, run.LastRun().CountLiveWorkers());
    }
}

}  // namespace
