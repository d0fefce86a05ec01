#include "engine/task_run.h"

CTaskRun::CTaskRun(const TaskRequest& request, const CDriveSlotTable& slots, const PlatformServices& services,
                   IRunListener& listener, ThreadLauncher launcher, RingAllocator allocator)
    : m_request(request),
      m_slots(slots),
      m_listener(listener),
      m_supervisor(m_request, m_slots, m_control, services, *this, std::move(launcher), std::move(allocator))
{
}

void CTaskRun::OnRunEnded()
{
    m_bEnded.store(true, std::memory_order_release);
    m_listener.OnRunEnded();
}
