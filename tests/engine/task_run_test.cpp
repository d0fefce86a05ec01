// A run as a whole: the supervisor's workers and pauses, the end it reports,
// the hold that keeps workers still while the cancel question is open, and
// what each failing drive keeps of why it failed.

#include "engine/task_supervisor.h"

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "engine/task_request.h"
#include "support/run_harness.h"
#include "ui/slot_error_text.h"

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

// Every fault of the bay ends its drive with its code, and the slot keeps
// the step it failed at and the Win32 number Windows gives for the fault;
// a code without a system reason keeps none. The next scan forgets them.
TEST(TaskRunTest, EachFaultKeepsItsStepAndTheSystemsReasonUntilTheNextScan)
{
    struct Case {
        const char* pszWhat;
        int32_t nTask;
        bool bVerify;
        // Image bytes of G: (0: a folder drive, 64 MiB FAT32), and its keys.
        uint64_t nImageBytes;
        const char* pszKeys;
        const wchar_t* pszStatus;
        FailStep step;
        uint32_t nError;
        std::function<void(CRunHarness&)> before;
        // What the balloon adds below the body, where it is worth spelling out.
        const wchar_t* pszLine = nullptr;
    };
    constexpr uint64_t SOURCE_BYTES = 4 * 65536;
    const uint64_t FAT32_OWN_BYTES = uint64_t{40} << 30;
    const Case cases[] = {
        {"file: a write fails", TASK_FILE_COPY, false, 0, "fail-after = 100K\n", L"E7", FAIL_STEP_COPYING_FILE,
         SYSERR_WRITE_FAULT, nullptr, L"Copying a file to G: The system cannot write to the specified device. (29)"},
        {"file: pulled mid-copy", TASK_FILE_COPY, false, 0, "remove-after = 100K\n", L"E7",
         FAIL_STEP_COPYING_FILE, SYSERR_DEV_NOT_EXIST, nullptr},
        {"file: write-protected", TASK_FILE_COPY, false, 0, "write-protected = yes\n", L"E7",
         FAIL_STEP_COPYING_FILE, SYSERR_WRITE_PROTECT, nullptr},
        {"file: reading back fails", TASK_FILE_COPY, true, 0, "read-fail-after = 0\n", L"E8",
         FAIL_STEP_READING_BACK, SYSERR_CRC, nullptr},
        {"file: a worn stick differs", TASK_FILE_COPY, true, 0, "corrupt-after = 100K\n", L"E8", FAIL_STEP_NONE,
         SYSERR_NONE, nullptr},
        {"file: no room", TASK_FILE_COPY, false, 0, "free = 100K\n", L"E1", FAIL_STEP_NONE, SYSERR_NONE, nullptr},
        {"file: the source's listing breaks", TASK_FILE_COPY, false, 0, "", L"E7", FAIL_STEP_LISTING,
         SYSERR_IO_DEVICE, [](CRunHarness& run) { run.Bay().BreakListingAfter((run.Root() / "src" / "d").wstring(), 0); }},
        {"sector: a write fails", TASK_SECTOR_COPY, false, SOURCE_BYTES, "fail-after = 100K\n", L"E7",
         FAIL_STEP_WRITING, SYSERR_WRITE_FAULT, nullptr},
        {"sector: pulled mid-copy", TASK_SECTOR_COPY, false, SOURCE_BYTES, "remove-after = 100K\n", L"E7",
         FAIL_STEP_WRITING, SYSERR_DEV_NOT_EXIST, nullptr},
        {"sector: write-protected", TASK_SECTOR_COPY, false, SOURCE_BYTES, "write-protected = yes\n", L"E7",
         FAIL_STEP_WRITING, SYSERR_WRITE_PROTECT, nullptr, L"Writing G: The media is write protected. (19)"},
        // The measure takes one open; the five attempts the other five.
        {"sector: another program holds it", TASK_SECTOR_COPY, false, SOURCE_BYTES, "open-refusals = 6\n", L"E7",
         FAIL_STEP_OPENING, SYSERR_SHARING_VIOLATION, nullptr},
        {"sector: the lock is refused", TASK_SECTOR_COPY, false, SOURCE_BYTES, "lock-refusals = 5\n", L"E7",
         FAIL_STEP_LOCKING, SYSERR_ACCESS_DENIED, nullptr},
        {"sector: reading back fails", TASK_SECTOR_COPY, true, SOURCE_BYTES, "read-fail-after = 0\n", L"E8",
         FAIL_STEP_READING_BACK, SYSERR_CRC, nullptr, L"Reading back G: Data error (cyclic redundancy check). (23)"},
        {"sector: pulled before the run", TASK_SECTOR_COPY, false, SOURCE_BYTES, "", L"E7", FAIL_STEP_MEASURING,
         SYSERR_FILE_NOT_FOUND, [](CRunHarness& run) { run.Bay().PullOut(L'G'); }},
        {"format: write-protected", TASK_FORMAT, false, 0, "write-protected = yes\n", L"E6", FAIL_STEP_FORMATTING,
         SYSERR_WRITE_PROTECT, nullptr},
        {"format: FormatEx finds no device", TASK_FORMAT, false, 0, "format = progress:10 error:24 done:0\n", L"E6",
         FAIL_STEP_FORMATTING, SYSERR_NOT_READY, nullptr},
        {"format: FormatEx says no more", TASK_FORMAT, false, 0, "format = done:0\n", L"E6", FAIL_STEP_FORMATTING,
         SYSERR_NONE, nullptr},
        {"format: our FAT32 refuses the label", TASK_FORMAT, false, FAT32_OWN_BYTES, "", L"E6", FAIL_STEP_FORMATTING,
         SYSERR_INVALID_NAME, [](CRunHarness& run) { run.m_request.m_strLabel = L"A*B"; }},
        {"format: our FAT32 stick pulled", TASK_FORMAT, false, FAT32_OWN_BYTES, "remove-after = 1M\n", L"E6",
         FAIL_STEP_WRITING, SYSERR_DEV_NOT_EXIST, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        CRunHarness run;
        WriteTestFile(run.Root() / "src" / "a.bin", std::string(300000, 'a'));
        WriteTestFile(run.Root() / "src" / "d" / "b.bin", std::string(1000, 'b'));
        std::string strBay = "[S:]\nimage = s.img\nsize = 1G\ntype = fixed\nbus = sata\nmedia = fixed\n";
        WriteTestFile(run.Root() / "s.img", std::string(SOURCE_BYTES, 's'));
        if (c.nImageBytes == 0) {
            strBay += "[G:]\nfolder = g\nsize = 64M\nfs = FAT32\n";
        } else {
            WriteTestFile(run.Root() / "g.img", "");
            std::filesystem::resize_file(run.Root() / "g.img", c.nImageBytes);
            strBay += "[G:]\nimage = g.img\nsize = " + std::to_string(c.nImageBytes) + "\n";
        }
        run.UseBay(strBay + c.pszKeys);
        run.m_request.m_strSourcePath =
            c.nTask == TASK_SECTOR_COPY ? std::wstring(L"S:\\") : (run.Root() / "src").wstring();
        run.m_request.m_strFileSystem = c.nTask == TASK_FORMAT && c.nImageBytes == 0 ? L"NTFS" : L"FAT32";
        run.m_request.m_strLabel = L"STICK";
        run.m_request.m_nVerify = c.bVerify ? 1 : 0;
        run.m_request.m_nTaskType = c.nTask;
        run.Scan();
        if (c.before)
            c.before(run);
        ASSERT_EQ(1, run.StartRun());
        run.WaitForEnd();

        EXPECT_EQ(Statuses{c.pszStatus}, run.Statuses());
        const SlotFailure failure = run.Failure(0);
        EXPECT_EQ(c.step, failure.nStep);
        EXPECT_EQ(c.nError, failure.nError);
        const std::wstring strLine = FormatSlotReasonLine(failure, L"G:", run.Bay().Messages());
        if (c.pszLine != nullptr) {
            EXPECT_EQ(c.pszLine, strLine);
        }
        // Without a system reason the balloon looks as it always did.
        EXPECT_EQ(c.nError == SYSERR_NONE, strLine.empty()) << std::string(strLine.begin(), strLine.end());
        run.Bay().ReplugAll();
        run.Scan();
        EXPECT_EQ(FAIL_STEP_NONE, run.Failure(0).nStep) << "a scan starts afresh";
    }
}

}  // namespace
