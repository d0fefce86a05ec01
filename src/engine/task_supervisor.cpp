#include "engine/task_supervisor.h"

#include "base/thread_guard.h"
#include "engine/run_control.h"
#include "engine/sector_copy.h"
#include "engine/task_request.h"
#include "platform/sleeper.h"

CTaskSupervisor::CTaskSupervisor(const TaskRequest& request, const CRunSlots& slots, CRunControl& run,
                                 const PlatformServices& services, IRunListener& listener, ThreadLauncher launcher,
                                 RingAllocator allocator)
    : m_request(request),
      m_slots(slots),
      m_run(run),
      m_services(services),
      m_listener(listener),
      m_launcher(launcher),
      m_sectorCopy(services.m_volumes, services.m_rawVolumes, services.m_sleeper, services.m_timing,
                   std::move(allocator), std::move(launcher)),
      m_drivers(request, slots, run, services, m_sectorCopy)
{
}

CTaskSupervisor::~CTaskSupervisor()
{
    // The dialog refuses to end during a run, so this waits for nothing in
    // practice; it keeps the threads from outliving the state they work on.
    if (m_hSupervisor.joinable())
        m_hSupervisor.join();
}

int CTaskSupervisor::Start()
{
    if (m_hSupervisor.joinable())
        return 0;
    // Live from the start, so a Cancel pressed before the supervisor has
    // created its workers still finds them.
    const int nDriveCount = m_slots.GetDriveCount();
    for (int j = 0; j < MAX_DRIVE_SLOTS; ++j) {
        m_params[j].nSlot = j;
        m_params[j].bLive.store(j < nDriveCount, std::memory_order_release);
    }
    try {
        m_hSupervisor = m_launcher([this] { TaskSupervisorProc(); });
    } catch (...) {
        for (SlotWorkerParam& param : m_params)
            param.bLive.store(false, std::memory_order_release);
        return 0;
    }
    return 1;
}

void CTaskSupervisor::FinishRun()
{
    if (m_hSupervisor.joinable())
        m_hSupervisor.join();
}

int CTaskSupervisor::CountLiveWorkers() const
{
    int nLive = 0;
    for (const SlotWorkerParam& param : m_params) {
        if (param.bLive.load(std::memory_order_acquire))
            ++nLive;
    }
    return nLive;
}

void CTaskSupervisor::TaskSupervisorProc()
{
    RunGuarded(
        [this] {
            RunWorkersToTheEnd();
            return 0;
        },
        0);
    // Whatever happened above, no worker may outlive the run, no reader the
    // engine's reset, and the UI thread must hear of the end or the dialog
    // stays in its running look.
    for (std::thread& worker : m_hWorkers) {
        if (worker.joinable())
            worker.join();
    }
    RunGuarded(
        [this] {
            m_sectorCopy.ResetSectorCopy();
            m_services.m_sleeper.SleepFor(m_services.m_timing.m_idlePause);
            return 0;
        },
        0);
    m_listener.OnRunEnded();
}

void CTaskSupervisor::RunWorkersToTheEnd()
{
    const int nDriveCount = m_slots.GetDriveCount();
    const bool bSectorCopy = m_request.m_nTaskType == TASK_SECTOR_COPY;
    // Without a reader every writer fails on its own; nothing to act on here.
    if (bSectorCopy)
        m_sectorCopy.StartSectorCopy(m_request.m_strSourcePath, nDriveCount, &m_run, SECTOR_CHUNK_SIZE,
                                     m_request.m_nVerify != 0, m_request.m_nUsedSpaceOnly != 0);
    for (int j = 0; j < nDriveCount; ++j) {
        try {
            m_hWorkers[j] = m_launcher([this, j] { SlotWorkerProc(m_params[j]); });
        } catch (...) {
            // The run goes on without this drive, which says it failed
            // rather than look untouched; the reader must not wait for a
            // writer that never comes.
            m_params[j].bLive.store(false, std::memory_order_release);
            if (bSectorCopy)
                m_sectorCopy.DropSectorCopyTarget(j + 1);
            RunGuarded([&] { return m_drivers.SetSlotResult(j, m_drivers.GetTaskFailureCode()); }, 0);
        }
    }
    bool bAnyLive = true;
    while (bAnyLive) {
        m_services.m_sleeper.SleepFor(m_services.m_timing.m_supervisorPoll);
        bAnyLive = false;
        for (int k = 0; k < nDriveCount; ++k) {
            if (!m_hWorkers[k].joinable())
                continue;
            if (m_params[k].bLive.load(std::memory_order_acquire))
                bAnyLive = true;
            else
                m_hWorkers[k].join();
        }
    }
}

void CTaskSupervisor::SlotWorkerProc(SlotWorkerParam& param)
{
    const int nThrew = -1;
    if (RunGuarded([&] { return m_drivers.RunTask(param.nSlot); }, nThrew) == nThrew) {
        // The driver never wrote a result: say the drive failed rather than
        // leave it looking untouched.
        RunGuarded([&] { return m_drivers.SetSlotResult(param.nSlot, m_drivers.GetTaskFailureCode()); }, 0);
    }
    // However the driver ended (done, refused, failed, thrown), its writer
    // writes no more: the reader and the other writers must not wait for it.
    // A writer that finished has nothing left to be waited for anyway.
    if (m_request.m_nTaskType == TASK_SECTOR_COPY)
        m_sectorCopy.DropSectorCopyTarget(param.nSlot + 1);
    param.bLive.store(false, std::memory_order_release);
}
