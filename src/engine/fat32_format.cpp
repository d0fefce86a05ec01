#include "engine/fat32_format.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "engine/aligned_buffer.h"
#include "engine/fat32_layout.h"
#include "engine/volume_access.h"
#include "platform/raw_volumes.h"
#include "platform/slot_views.h"

namespace {

// Sectors the volume does not name take this size, the one nearly every
// stick has.
constexpr uint32_t FAT32_DEFAULT_SECTOR_BYTES = 512;
// The zeros of the FATs go out in runs of this much: whole sectors of every
// size, and few enough writes that a 2 TiB volume's 512 MiB of FATs takes
// no more calls than a sector copy of the same.
constexpr uint32_t FAT32_ZERO_RUN_BYTES = 1024 * 1024;
constexpr int FAT32_BAR_FIRST = 1;
constexpr int FAT32_BAR_LAST = 99;

// The volume written from its first byte on, with the bar following.
class CFat32Writer {
public:
    CFat32Writer(IRawVolume& volume, uint64_t nTotalBytes, IProgressView* pProgressBar)
        : m_volume(volume), m_nTotalBytes(nTotalBytes), m_pProgressBar(pProgressBar)
    {
    }

    bool Put(const uint8_t* pBytes, uint64_t nBytes)
    {
        uint32_t nWritten = 0;
        if (!m_volume.Write(pBytes, static_cast<uint32_t>(nBytes), nWritten) || nWritten != nBytes)
            return false;
        m_nWritten += nBytes;
        ShowProgress();
        return true;
    }

    bool PutZeros(const CAlignedBuffer& zeros, uint64_t nBytes)
    {
        for (uint64_t nDone = 0; nDone < nBytes;) {
            const uint64_t nRun = std::min<uint64_t>(zeros.size(), nBytes - nDone);
            if (!Put(zeros.data(), nRun))
                return false;
            nDone += nRun;
        }
        return true;
    }

private:
    void ShowProgress()
    {
        if (m_pProgressBar == nullptr || m_nTotalBytes == 0)
            return;
        const int nPos = FAT32_BAR_FIRST
                         + static_cast<int>(static_cast<double>(m_nWritten) * (FAT32_BAR_LAST - FAT32_BAR_FIRST)
                                            / static_cast<double>(m_nTotalBytes));
        if (nPos > m_pProgressBar->GetPos())
            m_pProgressBar->SetPos(std::min(nPos, FAT32_BAR_LAST));
    }

    IRawVolume& m_volume;
    const uint64_t m_nTotalBytes;
    IProgressView* m_pProgressBar;
    uint64_t m_nWritten = 0;
};

bool WriteFat32(IRawVolume& volume, const Fat32Geometry& geometry, const Fat32Label& label, uint32_t nSerial,
                FatTimestamp stamp, IProgressView* pProgressBar, SlotFailure* pReason)
{
    const uint32_t nSector = geometry.m_nBytesPerSector;
    CAlignedBuffer reserved;
    CAlignedBuffer firstFatSector;
    CAlignedBuffer rootCluster;
    CAlignedBuffer zeros;
    if (!reserved.Allocate(geometry.ReservedBytes()) || !firstFatSector.Allocate(nSector)
        || !rootCluster.Allocate(geometry.ClusterBytes()) || !zeros.Allocate(FAT32_ZERO_RUN_BYTES)) {
        NoteFailure(pReason, FAIL_STEP_FORMATTING, SYSERR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // The backups are copies of the sectors themselves, FSInfo included,
    // for a repair tool that finds sector 0 unreadable.
    for (const uint32_t nFirst : {0u, FAT32_BACKUP_BOOT_SECTOR}) {
        BuildFat32BootSector(geometry, nSerial, label, reserved.data() + uint64_t{nFirst} * nSector);
        BuildFat32FsInfo(geometry, reserved.data() + uint64_t{nFirst + FAT32_FSINFO_SECTOR} * nSector);
    }
    BuildFat32FirstFatSector(firstFatSector.data());
    BuildFat32RootCluster(label, stamp, rootCluster.data());

    CFat32Writer writer(volume, geometry.FormatBytes(), pProgressBar);
    bool bWritten = volume.SeekTo(0) && writer.Put(reserved.data(), reserved.size());
    for (uint32_t nFat = 0; nFat < FAT32_FAT_COUNT && bWritten; ++nFat)
        bWritten = writer.Put(firstFatSector.data(), nSector) && writer.PutZeros(zeros, geometry.FatBytes() - nSector);
    // The root directory's cluster follows the FATs at once: it is the
    // data area's first.
    bWritten = bWritten && writer.Put(rootCluster.data(), rootCluster.size());
    if (!bWritten)
        NoteFailure(pReason, FAIL_STEP_WRITING);
    return bWritten;
}

}  // namespace

int FormatFat32Volume(const PlatformServices& services, const std::wstring& strDevice, const std::wstring& strLabel,
                      uint32_t nSerial, IProgressView* pProgressBar, SlotFailure* pReason)
{
    // Before the volume is touched: a label that cannot be stored must not
    // leave a drive half formatted.
    Fat32Label label;
    // The system's own number for a label it would refuse: its syntax.
    if (!MakeFat32Label(strLabel, services.m_oemText, label)) {
        NoteFailure(pReason, FAIL_STEP_FORMATTING, SYSERR_INVALID_NAME);
        return 0;
    }
    std::unique_ptr<IRawVolume> volume;
    if (!OpenLockedVolume(services.m_volumes, services.m_rawVolumes, services.m_sleeper, services.m_timing, strDevice,
                          volume, pReason))
        return 0;
    int64_t nLength = 0;
    uint32_t nSectorBytes = FAT32_DEFAULT_SECTOR_BYTES;
    int64_t nPartitionOffset = 0;
    if (!volume->GetLength(nLength) || nLength <= 0) {
        NoteFailure(pReason, FAIL_STEP_MEASURING);
        return 0;
    }
    if (!volume->GetSectorSize(nSectorBytes))
        nSectorBytes = FAT32_DEFAULT_SECTOR_BYTES;
    // Only a boot loader reads the hidden sectors; a volume that does not
    // say where it starts is taken as the whole disk.
    if (!volume->GetPartitionOffset(nPartitionOffset) || nPartitionOffset < 0)
        nPartitionOffset = 0;
    Fat32Geometry geometry;
    if (!ComputeFat32Geometry(static_cast<uint64_t>(nLength), nSectorBytes, static_cast<uint64_t>(nPartitionOffset),
                              geometry)) {
        NoteFailure(pReason, FAIL_STEP_FORMATTING, SYSERR_FILE_SYSTEM_LIMITATION);
        return 0;
    }
    const int64_t nNow = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    if (!WriteFat32(*volume, geometry, label, nSerial, MakeFatTimestamp(nNow), pProgressBar, pReason))
        return 0;
    // Through the locked handle and before "OK": a stick pulled with the
    // FATs still in a cache would hold no file system at all.
    if (!volume->Flush()) {
        NoteFailure(pReason, FAIL_STEP_FLUSHING);
        return 0;
    }
    return 1;
}
