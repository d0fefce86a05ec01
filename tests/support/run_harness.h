#pragma once
// A run as the dialog makes it, without the dialog: the real supervisor,
// drivers and engines over a simulated bay in a temporary folder, memory
// slot views, and a sleeper that notes every pause it is asked for.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bay/simulated_bay.h"
#include "engine/drive_slot_table.h"
#include "engine/run_control.h"
#include "engine/task_request.h"
#include "engine/task_run.h"
#include "platform/platform_services.h"
#include "support/no_shell_open.h"
#include "platform/sleeper.h"
#include "support/memory_slot_views.h"
#include "support/recording_volumes.h"
#include "support/test_files.h"
#include "support/throwing_raw_volumes.h"

// Pauses really taken, but short: what a test checks is which were asked for.
class CRecordingSleeper : public ISleeper {
public:
    void SleepFor(std::chrono::milliseconds duration) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pauses.push_back(duration.count());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<long long> Pauses() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pauses;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<long long> m_pauses;
};

// Runs are built as the dialog builds them: a CTaskRun from the request and
// the freshly scanned table, started, waited for, finished.
class CRunHarness : public IRunListener, public IRunPresence {
public:
    CRunHarness()
    {
        m_timing.m_supervisorPoll = std::chrono::milliseconds(7);
        m_timing.m_resultPause = std::chrono::milliseconds(11);
        m_timing.m_idlePause = std::chrono::milliseconds(13);
        m_timing.m_sectorPoll = std::chrono::milliseconds(3);
        m_timing.m_volumeRetryPause = std::chrono::milliseconds(17);
    }

    // The bay's folders ("folder = e") are made under the harness's own
    // folder before the description is read. Interposed query and raw
    // volume objects answer in front of the bay's own. The run's threads
    // and ring come from m_launcher and m_allocator as they are now.
    void UseBay(const std::string& strText, CRecordingVolumes* pInterposed = nullptr,
                CThrowingRawVolumes* pRawInterposed = nullptr)
    {
        std::istringstream lines(strText);
        std::string strLine;
        while (std::getline(lines, strLine)) {
            const auto nAt = strLine.find("folder = ");
            if (nAt == 0)
                std::filesystem::create_directories(Root() / strLine.substr(9));
        }
        BayDescription description;
        std::string strError;
        ASSERT_TRUE(ParseBayDescription(strText, Root(), description, strError)) << strError;
        m_pBay = std::make_unique<CSimulatedBay>(std::move(description));
        IVolumeQueries* pVolumes = &m_pBay->Volumes();
        if (pInterposed != nullptr) {
            pInterposed->SetInner(pVolumes);
            pVolumes = pInterposed;
        }
        IRawVolumes* pRawVolumes = &m_pBay->RawVolumes();
        if (pRawInterposed != nullptr) {
            pRawInterposed->SetInner(pRawVolumes);
            pRawVolumes = pRawInterposed;
        }
        m_pServices = std::make_unique<PlatformServices>(
            PlatformServices{*pVolumes, m_pBay->Folders(), *pRawVolumes, m_pBay->Formatter(), m_pBay->OemText(),
                             m_pBay->Messages(), m_shell, m_sleeper, m_timing});
        m_pTable = std::make_unique<CDriveSlotTable>(*pVolumes, m_request, *this);
        m_slots.BindTo(*m_pTable);
    }

    CSimulatedBay& Bay() { return *m_pBay; }
    // The run under way, or the last one until the next begins.
    CTaskRun& LastRun() { return *m_pRun; }
    CRunControl& Control() { return m_pRun->Control(); }
    bool IsRunActive() const override { return m_pRun != nullptr && !m_bFinished; }
    const std::filesystem::path& Root() const { return m_folder.Path(); }
    std::filesystem::path DriveFolder(const std::string& strName) const { return Root() / strName; }

    // The source folder of a File Copy, as the dialog would hand it over.
    void SetSource(const std::filesystem::path& source) { m_request.m_strSourcePath = source.wstring(); }

    // Starts as the dialog's Start does, after its fresh scan; waits for the
    // end that the supervisor reports, then ends the run as the UI thread
    // does. Then every drive is pulled out and plugged in again, as the
    // operator does once it shows its result: what a test then finds on a
    // drive is what the drive itself kept, not what a cache held for it.
    void Run(int32_t nTask)
    {
        m_request.m_nTaskType = nTask;
        Scan();
        ASSERT_EQ(1, StartRun());
        WaitForEnd();
        m_pBay->ReplugAll();
    }

    // The run made from the request and the table as they are now; 0, and
    // no run then, when it cannot be started.
    int StartRun()
    {
        m_pRun.reset();
        m_pRun = std::make_unique<CTaskRun>(m_request, *m_pTable, *m_pServices, *this, m_launcher, m_allocator);
        m_bFinished = false;
        if (m_pRun->Start())
            return 1;
        m_bFinished = true;
        return 0;
    }

    // The scan that Start makes; the bars' histories begin after it.
    void Scan()
    {
        m_pTable->RefreshDriveSlots();
        for (CMemoryProgressView& bar : m_slots.bars)
            bar.ClearHistory();
    }

    // A run that does not end within the bound fails the test and is then
    // cancelled, so that the test itself ends.
    void WaitForEnd()
    {
        if (!WaitForReportedEnd(std::chrono::seconds(60))) {
            ADD_FAILURE() << "the run did not end within 60 s";
            m_pRun->Control().RequestCancel();
            ASSERT_TRUE(WaitForReportedEnd(std::chrono::seconds(60))) << "nor within 60 s of a cancel";
        }
        m_pRun->Finish();
        m_bFinished = true;
    }
    bool WaitForReportedEnd(std::chrono::seconds bound)
    {
        std::unique_lock<std::mutex> lock(m_endMutex);
        if (!m_ended.wait_for(lock, bound, [this] { return m_nEnds > m_nSeenEnds; }))
            return false;
        ++m_nSeenEnds;
        return true;
    }

    // Why each slot failed, as the balloon finds it.
    SlotFailure Failure(int nSlot) const { return m_pTable->GetFailures().Get(nSlot); }

    std::vector<std::wstring> Statuses() const
    {
        std::vector<std::wstring> statuses;
        for (int i = 0; i < m_pTable->GetDriveCount(); ++i)
            statuses.push_back(m_slots.statuses[i].GetText());
        return statuses;
    }

    void OnRunEnded() override
    {
        std::lock_guard<std::mutex> lock(m_endMutex);
        ++m_nEnds;
        m_ended.notify_all();
    }

    int EndsReported()
    {
        std::lock_guard<std::mutex> lock(m_endMutex);
        return m_nEnds;
    }

    TaskRequest m_request;
    CMemorySlots m_slots;
    RunTiming m_timing;
    CRecordingSleeper m_sleeper;
    ThreadLauncher m_launcher = LaunchThread;
    RingAllocator m_allocator = AllocateRing;

private:
    CTempFolder m_folder;
    CNoShellOpen m_shell;
    std::unique_ptr<CSimulatedBay> m_pBay;
    std::unique_ptr<PlatformServices> m_pServices;
    std::unique_ptr<CDriveSlotTable> m_pTable;
    std::mutex m_endMutex;
    std::condition_variable m_ended;
    int m_nEnds = 0;
    int m_nSeenEnds = 0;
    bool m_bFinished = true;
    // Last, so it goes first: its threads use everything above.
    std::unique_ptr<CTaskRun> m_pRun;
};
