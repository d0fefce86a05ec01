#pragma once
// The raw copy of one source volume onto every drive of a run, reading the
// source once. One reader thread fills a ring of chunks; each drive's writer
// runs on its slot's worker and writes the chunks in order. The reader never
// refills a slot before every writer still in the job has written it, so the
// slowest drive sets the pace. Counters are the only shared state: no locks,
// only polls.
//
// The copy moves the volume's whole length from its first byte. The file
// system's capacity leaves out the reserved sectors and tables; a copy of
// only that much would lose the end of the data area on every target.
//
// Of the used space only, at the operator's choice: the reader, holding the
// source locked, maps the chunks its file system uses (used_space_map.h)
// and publishes only those, in ascending order; each slot says where its
// chunk lies, and a writer moves its position where the next one does not
// follow the last. Where no map can be made the whole volume is copied.
//
// With verification the reader also hashes each MiB of the source as it
// reads it, and each writer, once it has written everything and while it
// still holds its volume locked, reads its drive back and compares MiB by
// MiB. A writer waits for no other to check: a fast drive is done while
// slow ones still write.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/aligned_buffer.h"
#include "engine/block_hash.h"
#include "engine/read_back.h"
#include "engine/slot_failure.h"
#include "engine/used_space_map.h"
#include "engine/thread_launcher.h"
#include "platform/run_timing.h"

class CRunControl;
class IProgressView;
class IRawVolume;
class IRawVolumes;
class ISleeper;
class IVolumeQueries;

constexpr int32_t SECTOR_CHUNK_SIZE = 65536;
constexpr int64_t MAX_RING_CHUNKS = 1000;
constexpr int CHUNK_COUNT_ENTRIES = 32;
// A writer's counter: it has left the job and is waited for no longer.
constexpr int64_t CHUNK_FAILED = -1;
// The reader's counter: stop.
constexpr int64_t STOP_REQUEST = -2;
// What one entry of the read-back's hash table covers: the table stays at
// 16 MiB for a 2 TB source.
constexpr int64_t VERIFY_BLOCK_BYTES = 1048576;

// Makes the ring nBytes long; false when the memory cannot be had. Tests
// replace it to see the ring shrink.
using RingAllocator = std::function<bool(CAlignedBuffer& ring, size_t nBytes)>;
bool AllocateRing(CAlignedBuffer& ring, size_t nBytes);

class CSectorCopy {
public:
    CSectorCopy(IVolumeQueries& volumes, IRawVolumes& rawVolumes, ISleeper& sleeper, const RunTiming& timing,
                RingAllocator allocator = AllocateRing, ThreadLauncher launcher = LaunchThread);
    ~CSectorCopy();

    CSectorCopy(const CSectorCopy&) = delete;
    CSectorCopy& operator=(const CSectorCopy&) = delete;

    // Before any writer exists. 1 when the reader runs; 0 when there is
    // nothing to copy (no source, no length, no ring) or no reader. With
    // bVerify every writer reads its drive back (see CopySectorsToDrive);
    // with bUsedSpaceOnly only the chunks the source's file system uses are
    // copied (and read back).
    int StartSectorCopy(const std::wstring& strSourcePath, int32_t nTargetCount, CRunControl* pCancel,
                        int32_t nChunkSize, bool bVerify = false, bool bUsedSpaceOnly = false);
    // After every writer has ended: stops the reader, frees the ring and
    // clears the state. Returns 1 once the reader has ended.
    int ResetSectorCopy();

    // Writer nWriter (1..target count) onto the drive of strRoot. 1 when the
    // target received the whole source, and in a job that verifies, gave it
    // back unchanged. On 0, *pnFailure (when given) says which went wrong:
    // SR_COPY_FAILED, or SR_VERIFY_FAILED when the read-back differed or
    // could not be made; *pReason (when given) the step and the system's
    // reason, the source's own when it could not be read.
    int CopySectorsToDrive(const std::wstring& strRoot, int32_t nWriter, IProgressView* pProgressBar,
                           int* pnFailure = nullptr, SlotFailure* pReason = nullptr);
    // The writer leaves the job: the reader waits for it no longer.
    void DropSectorCopyTarget(int32_t nWriter);

    // The volume's length, or its file system's capacity where the length
    // cannot be asked; 0 when neither can.
    int64_t GetVolumeCapacity(const std::wstring& strPathOnVolume, SlotFailure* pFailure = nullptr);
    // Opened, locked and dismounted, within the timing's attempts.
    int OpenLockedVolume(const std::wstring& strDevice, std::unique_ptr<IRawVolume>& volume,
                         SlotFailure* pFailure = nullptr);

    // The source's length as the job measured it; 0 without a job.
    int64_t GetTotalBytes() const { return m_nTotalBytes; }
    int64_t GetRingChunks() const { return m_nRingChunks; }
    int64_t GetChunkCount(int nEntry) const { return m_chunkCounts[nEntry].load(std::memory_order_acquire); }
    // False once the reader has ended, with its volume closed.
    bool IsReaderLive() const { return m_bReaderLive.load(std::memory_order_acquire); }

private:
    void SectorReaderProc();
    void ReadSource();
    // The reader's map of the source's used chunks, or the whole volume where
    // its file system gives none. False when the source could not be read.
    bool PlanUsedSpace(IRawVolume& volume);
    // The chunks to copy, and the check's table for them; the writers may go.
    void SetPlan(CChunkMap plan);
    // False when the reader ended before it had a plan.
    bool WaitForPlan() const;
    // False when the reader is to stop while it waits for the writers.
    bool WaitForRoom(int64_t nChunk);
    // The chunk the writer needs next; false when none will come.
    bool WaitForChunk(int32_t nWriter);
    bool IsCancelled() const;
    // The reader's part of the check: the bytes just read, in order.
    void HashSourceBytes(const uint8_t* pBytes, int64_t nBytes);
    // The writer's part: every chunk copied read back from its volume, MiB of
    // copied bytes by MiB, against the reader's table.
    // A read that fails notes its reason in *pReason; a difference notes none.
    bool ReadBackMatches(IRawVolume& volume, IProgressView* pProgressBar, SlotFailure* pReason);

    IVolumeQueries& m_volumes;
    IRawVolumes& m_rawVolumes;
    ISleeper& m_sleeper;
    const RunTiming& m_timing;
    RingAllocator m_allocator;
    ThreadLauncher m_launcher;

    // Written by Start and Reset only, while neither the reader nor a writer runs.
    std::wstring m_strSourceDevice;
    int32_t m_nTargetCount = 0;
    int64_t m_nChunkSize = 0;
    int64_t m_nRingChunks = 0;
    // Every slot starts on a sector boundary: the chunk size is a multiple
    // of the alignment, and the volume reads and writes straight from it.
    CAlignedBuffer m_ringBuffer;
    // Where each slot's chunk lies on the volume and how many bytes it holds:
    // the volume's last chunk may be short.
    std::vector<int64_t> m_slotOffsets;
    std::vector<int64_t> m_slotBytes;
    int64_t m_nTotalBytes = 0;
    CRunControl* m_pCancel = nullptr;
    bool m_bVerify = false;
    bool m_bUsedSpaceOnly = false;
    // The chunks to copy and what they hold: written by Start, or by the
    // reader once it has mapped the source, before m_bPlanReady is set; read
    // by a writer only after it has seen it set.
    CChunkMap m_plan;
    int64_t m_nBytesToCopy = 0;
    std::atomic<bool> m_bPlanReady{false};
    // One XXH3 per VERIFY_BLOCK_BYTES of the bytes copied. Each entry is written
    // by the reader before the chunk that completes its block is counted,
    // and read by a writer only after it has seen every chunk counted.
    std::vector<uint64_t> m_blockHashes;
    // The reader's own: bytes copied that it has hashed so far.
    int64_t m_nHashedBytes = 0;
    std::unique_ptr<CBlockHasher> m_pSourceHasher;

    // Why the reader stopped short of the source's end: written by the
    // reader before it clears m_bReaderLive, read by a writer only after it
    // has seen it cleared.
    SlotFailure m_sourceFailure;

    std::thread m_readerThread;
    // Set by Start before the reader exists; cleared by the reader as it ends.
    std::atomic<bool> m_bReaderLive{false};
    // Entry 0: chunks read (negative: stop); entry k: chunks writer k wrote.
    std::array<std::atomic<int64_t>, CHUNK_COUNT_ENTRIES> m_chunkCounts{};
};
