#include "engine/slot_drivers.h"

#include <chrono>

#include "engine/run_slots.h"
#include "engine/fat32_format.h"
#include "engine/fat32_layout.h"
#include "engine/file_copy.h"
#include "engine/format_volume.h"
#include "engine/run_control.h"
#include "engine/sector_copy.h"
#include "engine/slot_result.h"
#include "engine/task_request.h"
#include "engine/volume_access.h"
#include "platform/drive_paths.h"
#include "platform/folder_tree.h"
#include "platform/sleeper.h"
#include "platform/slot_views.h"

CSlotDrivers::CSlotDrivers(const TaskRequest& request, const CRunSlots& slots, CRunControl& run,
                           const PlatformServices& services, CSectorCopy& sectorCopy)
    : m_request(request), m_slots(slots), m_run(run), m_services(services), m_sectorCopy(sectorCopy)
{
}

int CSlotDrivers::RunTask(int nSlot)
{
    switch (m_request.m_nTaskType) {
    case TASK_FILE_COPY: return RunFileCopy(nSlot);
    case TASK_SECTOR_COPY: return RunSectorCopy(nSlot);
    case TASK_FORMAT: return RunFormat(nSlot);
    default: return 0;
    }
}

int CSlotDrivers::GetTaskFailureCode() const
{
    return m_request.m_nTaskType == TASK_FORMAT ? SR_FORMAT_FAILED : SR_COPY_FAILED;
}

std::wstring CSlotDrivers::GetSlotRoot(int nSlot) const
{
    return MakeDriveRoot(m_slots.GetDriveIndex(nSlot));
}

int CSlotDrivers::SetSlotResult(int nSlot, int nCode)
{
    m_slots.GetStatusView(nSlot).SetText(FormatSlotResult(nCode));
    return 1;
}

int CSlotDrivers::EndWithSuccess(int nSlot)
{
    m_slots.GetProgressView(nSlot).SetPos(100);
    m_services.m_sleeper.SleepFor(m_services.m_timing.m_resultPause);
    SetSlotResult(nSlot, SR_OK);
    return 1;
}

int CSlotDrivers::EndWithFailure(int nSlot, int nFailureCode, const SlotFailure& reason)
{
    // Only an engine failure asks about the cancel: a drive that failed a
    // check shows its own code even in a cancelled run.
    if (m_run.IsCancelled())
        return EndWithCode(nSlot, SR_CANCELLED);
    return EndWithCode(nSlot, nFailureCode, reason);
}

int CSlotDrivers::EndWithCode(int nSlot, int nCode, const SlotFailure& reason)
{
    m_slots.GetFailures().Set(nSlot, reason);
    SetSlotResult(nSlot, nCode);
    return 0;
}

int CSlotDrivers::RunFileCopy(int nSlot)
{
    const std::wstring strRoot = GetSlotRoot(nSlot);
    FolderCopyJob job(m_services.m_folders, m_services.m_volumes);
    int64_t nLargest = 0;
    const int64_t nTotal = job.GetFolderSize(m_request.m_strSourcePath, &nLargest);
    const int64_t nFree = job.GetVolumeFreeBytes(strRoot);
    // A source whose listing broke off has no size to check against.
    if (nTotal == FOLDER_SIZE_BROKEN) {
        SlotFailure reason;
        NoteFailure(&reason, FAIL_STEP_LISTING);
        return EndWithFailure(nSlot, SR_COPY_FAILED, reason);
    }
    if (nTotal == 0)
        return EndWithCode(nSlot, SR_INVALID_SOURCE);
    if (nFree < nTotal + COPY_SPACE_RESERVE)
        return EndWithCode(nSlot, SR_NO_SPACE);

    FsKind kind = FS_KIND_UNKNOWN;
    const int64_t nLimit = job.GetFileSizeLimit(strRoot, &kind);
    // A volume whose file system cannot be named has no known limit either:
    // copying onto it would be a guess.
    if (kind == FS_KIND_UNKNOWN) {
        SlotFailure reason;
        NoteFailure(&reason, FAIL_STEP_CHECKING_DRIVE);
        return EndWithCode(nSlot, SR_COPY_FAILED, reason);
    }
    if (nLimit < nLargest) {
        if (kind == FS_KIND_OTHER)
            return EndWithCode(nSlot, SR_FAT16_FILE_LIMIT);
        if (kind == FS_KIND_FAT32)
            return EndWithCode(nSlot, SR_FAT32_FILE_LIMIT);
        return EndWithCode(nSlot, SR_COPY_FAILED);
    }

    job.m_nTotalBytes = nTotal;
    job.m_nCopiedBytes = 0;
    const bool bVerify = m_request.m_nVerify != 0;
    job.m_nCopyBarEnd = bVerify ? VERIFY_BAR_SPLIT : 100;
    IProgressView& bar = m_slots.GetProgressView(nSlot);
    if (!job.CopyFolder(m_request.m_strSourcePath, strRoot, &bar, &m_run, 0)) {
        // What was copied before the failure stays on the drive, even when
        // it is pulled at once: the flush is all it takes, whatever it says.
        m_services.m_folders.FlushVolume(strRoot);
        return EndWithFailure(nSlot, SR_COPY_FAILED, job.m_failure);
    }
    // "OK" tells the operator the stick may be pulled: the copies must be on
    // the medium by then, not in the system's cache. Before the check, too,
    // which must read what the stick keeps.
    if (!m_services.m_folders.FlushVolume(strRoot)) {
        SlotFailure reason;
        NoteFailure(&reason, FAIL_STEP_FLUSHING);
        return EndWithFailure(nSlot, SR_COPY_FAILED, reason);
    }
    // Only once the whole tree is there: a counterfeit stick shows its
    // damage when later writes have wrapped over earlier ones.
    int nCheckFailure = SR_VERIFY_FAILED;
    if (bVerify && !job.VerifyFolder(m_request.m_strSourcePath, strRoot, &bar, &m_run, &nCheckFailure))
        return EndWithFailure(nSlot, nCheckFailure, job.m_failure);
    return EndWithSuccess(nSlot);
}

int CSlotDrivers::RunSectorCopy(int nSlot)
{
    const std::wstring strRoot = GetSlotRoot(nSlot);
    const int32_t nWriter = nSlot + 1;
    // Target and source by the same measure: the source's length, as the
    // engine took it when the run began. A refused writer leaves the sector
    // copy when its worker ends.
    SlotFailure measuring;
    const int64_t nCapacity = m_sectorCopy.GetVolumeCapacity(strRoot, &measuring);
    // A drive the scan listed that cannot be measured now has not too
    // little room: it has gone, or fails, and its reason says which.
    if (nCapacity <= 0)
        return EndWithFailure(nSlot, SR_COPY_FAILED, measuring);
    if (nCapacity < m_sectorCopy.GetTotalBytes())
        return EndWithCode(nSlot, SR_NO_SPACE);
    int nFailure = SR_COPY_FAILED;
    SlotFailure reason;
    if (m_sectorCopy.CopySectorsToDrive(strRoot, nWriter, &m_slots.GetProgressView(nSlot), &nFailure, &reason))
        return EndWithSuccess(nSlot);
    return EndWithFailure(nSlot, nFailure, reason);
}

int CSlotDrivers::RunFormat(int nSlot)
{
    IProgressView& bar = m_slots.GetProgressView(nSlot);
    bar.SetPos(1);
    const std::wstring strRoot = GetSlotRoot(nSlot);
    if (UsesOwnFat32Formatter(m_request.m_strFileSystem,
                              MeasureVolume(m_services.m_volumes, m_services.m_rawVolumes, strRoot))) {
        const uint64_t nTicks = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                          std::chrono::system_clock::now().time_since_epoch())
                                                          .count()
                                                      / 100);
        const int nDriveIndex = m_slots.GetDriveIndex(nSlot);
        SlotFailure reason;
        if (FormatFat32Volume(m_services, MakeDriveDevice(nDriveIndex), m_request.m_strLabel,
                              MakeVolumeSerial(nTicks, nDriveIndex), &bar, &reason))
            return EndWithSuccess(nSlot);
        return EndWithFailure(nSlot, SR_FORMAT_FAILED, reason);
    }
    SlotFailure reason;
    if (FormatVolume(m_services.m_formatter, strRoot, m_request.m_strLabel, m_request.m_strFileSystem, 1,
                     &bar, &m_run, &reason))
        return EndWithSuccess(nSlot);
    return EndWithFailure(nSlot, SR_FORMAT_FAILED, reason);
}
