#include "engine/sector_copy.h"

#include <algorithm>

#include "base/scope_guard.h"
#include "base/thread_guard.h"
#include "engine/volume_access.h"
#include "engine/run_control.h"
#include "engine/slot_result.h"
#include "platform/raw_volumes.h"
#include "platform/sleeper.h"
#include "platform/slot_views.h"
#include "platform/volume_queries.h"

static_assert(SECTOR_CHUNK_SIZE % RAW_BUFFER_ALIGNMENT == 0, "every ring slot must start on a sector boundary");

bool AllocateRing(CAlignedBuffer& ring, size_t nBytes)
{
    return ring.Allocate(nBytes);
}

CSectorCopy::CSectorCopy(IVolumeQueries& volumes, IRawVolumes& rawVolumes, ISleeper& sleeper,
                         const RunTiming& timing, RingAllocator allocator, ThreadLauncher launcher)
    : m_volumes(volumes), m_rawVolumes(rawVolumes), m_sleeper(sleeper), m_timing(timing),
      m_allocator(std::move(allocator)), m_launcher(std::move(launcher))
{
}

CSectorCopy::~CSectorCopy()
{
    ResetSectorCopy();
}

bool CSectorCopy::IsCancelled() const
{
    return m_pCancel != nullptr && m_pCancel->IsCancelled();
}

int CSectorCopy::StartSectorCopy(const std::wstring& strSourcePath, int32_t nTargetCount, CRunControl* pCancel,
                                 int32_t nChunkSize, bool bVerify, bool bUsedSpaceOnly)
{
    if (strSourcePath.empty() || nChunkSize <= 0 || nChunkSize % static_cast<int32_t>(RAW_BUFFER_ALIGNMENT) != 0
        || nTargetCount < 0 || nTargetCount >= CHUNK_COUNT_ENTRIES)
        return 0;
    if (ResetSectorCopy() != 1)
        return 0;
    m_strSourceDevice = strSourcePath.substr(0, 2);
    m_nTargetCount = nTargetCount;
    m_nChunkSize = nChunkSize;
    m_pCancel = pCancel;
    // Nothing to copy is no job: a writer must never report a copy it did
    // not make.
    const int64_t nTotalBytes = GetVolumeCapacity(m_strSourceDevice);
    if (nTotalBytes <= 0)
        return 0;

    int64_t nRingChunks = std::min(nTotalBytes / m_nChunkSize + 1, MAX_RING_CHUNKS);
    while (!m_allocator(m_ringBuffer, static_cast<size_t>(nRingChunks * m_nChunkSize))) {
        nRingChunks = static_cast<int64_t>(static_cast<double>(nRingChunks) * 0.9);
        if (nRingChunks == 0)
            return 0;
    }
    m_slotOffsets.assign(static_cast<size_t>(nRingChunks), 0);
    m_slotBytes.assign(static_cast<size_t>(nRingChunks), 0);
    m_nRingChunks = nRingChunks;
    m_nTotalBytes = nTotalBytes;
    m_bVerify = bVerify;
    m_bUsedSpaceOnly = bUsedSpaceOnly;
    // Only the reader, once it holds the source locked, can read what its
    // file system uses; the whole volume needs no reading first.
    if (!m_bUsedSpaceOnly) {
        CChunkMap whole(nTotalBytes, m_nChunkSize);
        whole.MarkAll();
        SetPlan(std::move(whole));
    }

    m_bReaderLive.store(true, std::memory_order_release);
    try {
        m_readerThread = m_launcher([this] { SectorReaderProc(); });
    } catch (...) {
        m_bReaderLive.store(false, std::memory_order_release);
        return 0;
    }
    return 1;
}

int CSectorCopy::ResetSectorCopy()
{
    while (m_bReaderLive.load(std::memory_order_acquire)) {
        m_chunkCounts[0].store(STOP_REQUEST, std::memory_order_release);
        m_sleeper.SleepFor(m_timing.m_sectorPoll);
    }
    if (m_readerThread.joinable())
        m_readerThread.join();
    m_pCancel = nullptr;
    m_sourceFailure = SlotFailure{};
    m_strSourceDevice.clear();
    m_nTotalBytes = 0;
    m_nChunkSize = 0;
    m_nRingChunks = 0;
    m_nTargetCount = 0;
    m_bVerify = false;
    m_bUsedSpaceOnly = false;
    m_bPlanReady.store(false, std::memory_order_release);
    m_plan = CChunkMap();
    m_nBytesToCopy = 0;
    std::vector<uint64_t>().swap(m_blockHashes);
    m_nHashedBytes = 0;
    m_pSourceHasher.reset();
    for (std::atomic<int64_t>& count : m_chunkCounts)
        count.store(0, std::memory_order_release);
    m_ringBuffer.Release();
    std::vector<int64_t>().swap(m_slotOffsets);
    std::vector<int64_t>().swap(m_slotBytes);
    return 1;
}

void CSectorCopy::SectorReaderProc()
{
    RunGuarded(
        [this] {
            ReadSource();
            return 0;
        },
        0);
    // Last: the writers and the reset take this for the reader's end, and
    // its volume is closed by now, which ends the lock.
    m_bReaderLive.store(false, std::memory_order_release);
}

void CSectorCopy::ReadSource()
{
    std::unique_ptr<IRawVolume> volume;
    if (!OpenLockedVolume(m_strSourceDevice, volume, &m_sourceFailure))
        return;
    if (m_bUsedSpaceOnly && !PlanUsedSpace(*volume))
        return;
    // Unknown: the first chunk sets it.
    int64_t nPosition = -1;
    for (int64_t nAt = m_plan.NextMarked(0); nAt < m_plan.ChunkCount() && !IsCancelled();
         nAt = m_plan.NextMarked(nAt + 1)) {
        const int64_t nChunk = m_chunkCounts[0].load(std::memory_order_acquire);
        if (nChunk < 0 || !WaitForRoom(nChunk))
            return;
        const int64_t nSlot = nChunk % m_nRingChunks;
        const int64_t nOffset = m_plan.ChunkOffset(nAt);
        if (nOffset != nPosition && !volume->SeekTo(nOffset)) {
            NoteFailure(&m_sourceFailure, FAIL_STEP_READING_SOURCE);
            return;
        }
        // A volume's length is rarely a whole number of chunks, and a read
        // that would cross its end fails whole: the last one asks for what
        // is left, which is whole sectors.
        const uint32_t nWant = static_cast<uint32_t>(m_plan.ChunkLength(nAt));
        uint32_t nGot = 0;
        if (!volume->Read(m_ringBuffer.data() + nSlot * m_nChunkSize, nWant, nGot)) {
            NoteFailure(&m_sourceFailure, FAIL_STEP_READING_SOURCE);
            return;
        }
        // A volume that gives less than its measured length leaves the
        // writers short of the whole, which they report.
        if (nGot != nWant) {
            NoteFailure(&m_sourceFailure, FAIL_STEP_READING_SOURCE, SYSERR_NONE);
            return;
        }
        nPosition = nOffset + nGot;
        // The rest of a short last slot holds an earlier chunk, which must
        // not reach any target.
        m_slotOffsets[static_cast<size_t>(nSlot)] = nOffset;
        m_slotBytes[static_cast<size_t>(nSlot)] = nGot;
        if (m_bVerify)
            HashSourceBytes(m_ringBuffer.data() + nSlot * m_nChunkSize, nGot);
        // An increment, not a store: a stop request stored meanwhile must
        // stay negative.
        m_chunkCounts[0].fetch_add(1, std::memory_order_acq_rel);
    }
}

bool CSectorCopy::PlanUsedSpace(IRawVolume& volume)
{
    uint32_t nSectorBytes = 0;
    if (!volume.GetSectorSize(nSectorBytes) || nSectorBytes == 0)
        nSectorBytes = 512;
    CVolumeBytes bytes(volume, nSectorBytes);
    // A cancel stops the map where it is: a 2 TB volume's tables take a while.
    const VolumeByteReader read = [this, &bytes](int64_t nOffset, uint32_t nBytes, uint8_t* pOut) {
        return !IsCancelled() && bytes.ReadAt(nOffset, nBytes, pOut);
    };
    CChunkMap plan;
    switch (MapUsedChunks(read, m_nTotalBytes, m_nChunkSize, plan)) {
    case USED_SPACE_MAPPED:
        break;
    case USED_SPACE_WHOLE:
        plan = CChunkMap(m_nTotalBytes, m_nChunkSize);
        plan.MarkAll();
        break;
    case USED_SPACE_UNREADABLE:
    default:
        if (!IsCancelled())
            NoteFailure(&m_sourceFailure, FAIL_STEP_READING_SOURCE);
        return false;
    }
    SetPlan(std::move(plan));
    return true;
}

void CSectorCopy::SetPlan(CChunkMap plan)
{
    m_plan = std::move(plan);
    m_nBytesToCopy = m_plan.MarkedBytes();
    if (m_bVerify) {
        m_blockHashes.assign(static_cast<size_t>((m_nBytesToCopy + VERIFY_BLOCK_BYTES - 1) / VERIFY_BLOCK_BYTES), 0);
        m_nHashedBytes = 0;
        m_pSourceHasher = std::make_unique<CBlockHasher>();
    }
    m_bPlanReady.store(true, std::memory_order_release);
}

bool CSectorCopy::WaitForPlan() const
{
    while (!m_bPlanReady.load(std::memory_order_acquire)) {
        if (!m_bReaderLive.load(std::memory_order_acquire))
            return m_bPlanReady.load(std::memory_order_acquire);
        m_sleeper.SleepFor(m_timing.m_sectorPoll);
    }
    return true;
}

bool CSectorCopy::WaitForRoom(int64_t nChunk)
{
    for (;;) {
        bool bFull = false;
        for (int32_t k = 1; k <= m_nTargetCount && !bFull; ++k) {
            const int64_t nWritten = m_chunkCounts[k].load(std::memory_order_acquire);
            bFull = nWritten >= 0 && nChunk - nWritten >= m_nRingChunks;
        }
        if (!bFull)
            return true;
        m_sleeper.SleepFor(m_timing.m_sectorPoll);
        if (IsCancelled() || m_chunkCounts[0].load(std::memory_order_acquire) < 0)
            return false;
    }
}

bool CSectorCopy::WaitForChunk(int32_t nWriter)
{
    const int64_t nWritten = m_chunkCounts[nWriter].load(std::memory_order_relaxed);
    while (m_chunkCounts[0].load(std::memory_order_acquire) <= nWritten) {
        // A chunk published just before the reader ended is still written.
        if (!m_bReaderLive.load(std::memory_order_acquire))
            return m_chunkCounts[0].load(std::memory_order_acquire) > nWritten;
        m_sleeper.SleepFor(m_timing.m_sectorPoll);
    }
    return true;
}

void CSectorCopy::HashSourceBytes(const uint8_t* pBytes, int64_t nBytes)
{
    while (nBytes > 0) {
        const int64_t nBlockEnd = (m_nHashedBytes / VERIFY_BLOCK_BYTES + 1) * VERIFY_BLOCK_BYTES;
        const int64_t nTake = std::min(nBytes, nBlockEnd - m_nHashedBytes);
        m_pSourceHasher->Update(pBytes, static_cast<size_t>(nTake));
        pBytes += nTake;
        nBytes -= nTake;
        m_nHashedBytes += nTake;
        // The last block ends with the last chunk copied.
        if (m_nHashedBytes == nBlockEnd || m_nHashedBytes == m_nBytesToCopy) {
            m_blockHashes[static_cast<size_t>((m_nHashedBytes - 1) / VERIFY_BLOCK_BYTES)] = m_pSourceHasher->Digest();
            m_pSourceHasher->Reset();
        }
    }
}

bool CSectorCopy::ReadBackMatches(IRawVolume& volume, IProgressView* pProgressBar, SlotFailure* pReason)
{
    // The same volume, still locked since the last write: nothing else can
    // have written to it in between, as it could once the lock had ended.
    // Read a chunk at a time, as it was written: with 22 drives checking at
    // once, a MiB each would be more memory than the ring's spare. A raw read
    // goes straight to the drive, from a buffer on a sector.
    CAlignedBuffer chunk;
    if (!chunk.Allocate(static_cast<size_t>(m_nChunkSize)))
        return false;
    CBlockHasher hasher;
    int64_t nChecked = 0;
    int64_t nPosition = -1;
    for (int64_t nAt = m_plan.NextMarked(0); nAt < m_plan.ChunkCount(); nAt = m_plan.NextMarked(nAt + 1)) {
        int64_t nOffset = m_plan.ChunkOffset(nAt);
        const int64_t nChunkEnd = nOffset + m_plan.ChunkLength(nAt);
        // A chunk size that does not divide a block splits a chunk at the
        // block's end.
        while (nOffset < nChunkEnd) {
            if (m_pCancel != nullptr && m_pCancel->CheckPoint())
                return false;
            const int64_t nBlockEnd =
                std::min((nChecked / VERIFY_BLOCK_BYTES + 1) * VERIFY_BLOCK_BYTES, m_nBytesToCopy);
            const int64_t nWant = std::min(nChunkEnd - nOffset, nBlockEnd - nChecked);
            uint32_t nGot = 0;
            if ((nOffset != nPosition && !volume.SeekTo(nOffset))
                || !volume.Read(chunk.data(), static_cast<uint32_t>(nWant), nGot) || nGot != nWant) {
                NoteFailure(pReason, FAIL_STEP_READING_BACK);
                return false;
            }
            hasher.Update(chunk.data(), nGot);
            nChecked += nGot;
            nOffset += nGot;
            nPosition = nOffset;
            if (nChecked == nBlockEnd) {
                if (hasher.Digest() != m_blockHashes[static_cast<size_t>((nChecked - 1) / VERIFY_BLOCK_BYTES)])
                    return false;
                hasher.Reset();
                if (pProgressBar != nullptr)
                    pProgressBar->SetPos(VERIFY_BAR_SPLIT
                                         + static_cast<int>(static_cast<double>(nChecked) * (100 - VERIFY_BAR_SPLIT)
                                                            / static_cast<double>(m_nBytesToCopy)));
            }
        }
    }
    return true;
}

int CSectorCopy::CopySectorsToDrive(const std::wstring& strRoot, int32_t nWriter, IProgressView* pProgressBar,
                                    int* pnFailure, SlotFailure* pReason)
{
    if (pnFailure != nullptr)
        *pnFailure = SR_COPY_FAILED;
    if (nWriter < 1 || nWriter >= CHUNK_COUNT_ENTRIES)
        return 0;
    // Whatever way this ends without the whole source written, the reader
    // must stop waiting for this writer.
    CScopeGuard leave([this, nWriter] { DropSectorCopyTarget(nWriter); });

    if (m_nTotalBytes <= 0)
        return 0;
    std::unique_ptr<IRawVolume> volume;
    if (!OpenLockedVolume(strRoot.substr(0, 2), volume, pReason))
        return 0;
    // The reader may still be mapping the source's used space.
    if (!WaitForPlan()) {
        if (pReason != nullptr)
            *pReason = m_sourceFailure;
        return 0;
    }
    const int64_t nBytesToCopy = m_nBytesToCopy;
    const int nWriteBarEnd = m_bVerify ? VERIFY_BAR_SPLIT : 100;
    int64_t nWritten = 0;
    // Unknown: the first chunk sets it.
    int64_t nPosition = -1;
    while (nWritten < nBytesToCopy) {
        if (m_pCancel != nullptr && m_pCancel->CheckPoint())
            return 0;
        if (!WaitForChunk(nWriter)) {
            // No chunk comes any more: the reader has ended, and its reason
            // is this drive's, which never got the whole source.
            if (pReason != nullptr)
                *pReason = m_sourceFailure;
            return 0;
        }
        const int64_t nChunk = m_chunkCounts[nWriter].load(std::memory_order_relaxed);
        const size_t nSlot = static_cast<size_t>(nChunk % m_nRingChunks);
        const int64_t nOffset = m_slotOffsets[nSlot];
        const uint32_t nBytes = static_cast<uint32_t>(m_slotBytes[nSlot]);
        uint32_t nPut = 0;
        if ((nOffset != nPosition && !volume->SeekTo(nOffset))
            || !volume->Write(m_ringBuffer.data() + static_cast<int64_t>(nSlot) * m_nChunkSize, nBytes, nPut)
            || nPut != nBytes) {
            NoteFailure(pReason, FAIL_STEP_WRITING);
            return 0;
        }
        nWritten += nPut;
        nPosition = nOffset + nPut;
        // After the write: from here the reader may refill the slot.
        m_chunkCounts[nWriter].store(nChunk + 1, std::memory_order_release);
        if (pProgressBar != nullptr)
            pProgressBar->SetPos(static_cast<int>(static_cast<double>(nWritten) * nWriteBarEnd
                                                  / static_cast<double>(nBytesToCopy)));
    }
    // Everything is written: the reader has nothing left to wait for.
    leave.Dismiss();
    // Through the locked handle, before the read-back and before "OK": the
    // writes may still sit in a cache, and a stick pulled then loses them.
    if (!volume->Flush()) {
        NoteFailure(pReason, FAIL_STEP_FLUSHING);
        return 0;
    }
    if (m_bVerify && !ReadBackMatches(*volume, pProgressBar, pReason)) {
        if (pnFailure != nullptr)
            *pnFailure = SR_VERIFY_FAILED;
        return 0;
    }
    return 1;
}

void CSectorCopy::DropSectorCopyTarget(int32_t nWriter)
{
    if (nWriter >= 1 && nWriter < CHUNK_COUNT_ENTRIES)
        m_chunkCounts[nWriter].store(CHUNK_FAILED, std::memory_order_release);
}

int64_t CSectorCopy::GetVolumeCapacity(const std::wstring& strPathOnVolume, SlotFailure* pFailure)
{
    return MeasureVolume(m_volumes, m_rawVolumes, strPathOnVolume, pFailure);
}

int CSectorCopy::OpenLockedVolume(const std::wstring& strDevice, std::unique_ptr<IRawVolume>& volume,
                                   SlotFailure* pFailure)
{
    return ::OpenLockedVolume(m_volumes, m_rawVolumes, m_sleeper, m_timing, strDevice, volume, pFailure);
}
