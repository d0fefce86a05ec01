#pragma once
// The bay's drives as they are now: free bytes, file system, label, how much
// was written and read and whether writes or reads have started failing,
// whether the drive was pulled out, its volume lock and the refusals it has
// left, the declared file sizes, each drive's write and read clocks, and the
// formatter stand-in's record.
// Workers, the UI thread and the formatter reach it at once, so all of it
// sits under one lock; the description's facts never change and need none.
// Nothing here calls back into the product while the lock is held.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bay/bay_description.h"
#include "bay/bay_path.h"
#include "bay/simulated_bay.h"

// What a FormatEx call on a root will report, and how long it pauses between steps.
struct BayFormatPlan {
    std::vector<BayFormatStep> script;
    std::chrono::milliseconds stepPause{0};
};

// How far a drive's writes may lag behind its writer.
constexpr uint64_t BAY_WRITE_BACK_BYTES = 64 * 1024;
// A raw volume's writer may run further ahead, as the system caches a raw
// volume's writes; closing the volume waits for the drive to catch up, so
// nothing is counted as written before the drive has it.
constexpr uint64_t BAY_RAW_WRITE_BACK_BYTES = 1024 * 1024;

// A file's bytes take the file system's free bytes; a raw volume's lie below
// the file system and take none.
enum class BayWriteKind { File, Raw };

// What the drive made of one write it took.
struct BayWriteTaken {
    // When the writer may go on.
    std::chrono::steady_clock::time_point doneAt;
    // How many of the write's first bytes the drive stores as written; a
    // worn drive stores the rest wrong (StoreWrong) and still reports success.
    uint64_t nStoredRight = 0;
};

// The bytes as a worn drive stores them: each inverted, so that a comparison
// with what was written catches every one of them.
void StoreWrong(char* pBytes, size_t nBytes);

// What a raw sector holds when the write meant for it was still in the
// drive's cache as the drive was pulled out.
constexpr char BAY_LOST_BYTE = '\x5A';

// What a drive had not yet made safe when it was pulled out: raw writes as
// [offset, end) runs, and the host paths of files and folders written or
// made since the last flush, in that order.
struct BayUnflushed {
    std::map<uint64_t, uint64_t> rawRuns;
    std::vector<std::filesystem::path> paths;
};

class CBayState {
public:
    explicit CBayState(BayDescription description);

    const BayDescription& Description() const { return m_description; }
    // A path on a drive that was pulled out is refused, as it names nothing.
    BayPath Resolve(const std::wstring& strPath) const;
    // The drive of that letter while it is in the bay; nullptr when the bay
    // has none or it was pulled out.
    const BayDrive* PresentDrive(wchar_t chLetter) const;
    // The present drive of a device, "E:" or "E:\" as the system's device
    // calls accept it; nullptr for anything else.
    const BayDrive* PresentDriveOfDevice(const std::wstring& strDevice) const;

    uint64_t FreeBytes(wchar_t chLetter) const;
    // False when the drive has no readable volume (no media, no file system).
    bool FileSystemName(wchar_t chLetter, std::wstring& strName) const;
    bool VolumeLabel(wchar_t chLetter, std::wstring& strLabel) const;

    // Keyed by the host path in lexically normal form.
    void DeclareFileSize(const std::filesystem::path& hostPath, uint64_t nBytes);
    void ForgetFileSize(const std::filesystem::path& hostPath);
    std::optional<uint64_t> DeclaredSize(const std::filesystem::path& hostPath) const;
    // The declared size, else the real one; false when the file cannot be measured.
    bool FileSize(const std::filesystem::path& hostPath, uint64_t& nBytes) const;

    // Keyed like the declared sizes: how many entries the folder's listing
    // gives before it breaks off; none when it lists whole.
    void BreakListingAfter(const std::filesystem::path& hostPath, size_t nEntries);
    std::optional<size_t> ListingBreak(const std::filesystem::path& hostPath) const;
    // Folders whose listing is denied, as to everyone.
    void DenyListing(const std::filesystem::path& hostPath);
    bool ListingDenied(const std::filesystem::path& hostPath) const;

    // Writes the drive holds in its cache until its volume is flushed.
    void NoteRawWrite(wchar_t chLetter, uint64_t nOffset, uint64_t nBytes);
    void NoteWrittenPath(wchar_t chLetter, const std::filesystem::path& hostPath);
    // Once the drive has done every write taken so far, nothing it holds is
    // lost any more. False, and nothing made safe, for a drive that is gone
    // or whose writes fail.
    bool Flush(wchar_t chLetter);
    // The drive is pulled out: gone for every question, and what it had not
    // made safe is handed over, for the facades to lose.
    BayUnflushed PullOut(wchar_t chLetter);
    // Plugged in again: present, and no lock held on it any more.
    void PlugIn(wchar_t chLetter);

    bool WritesFailing(wchar_t chLetter) const;
    // Whether a file of nBytes may start on the drive: its writes still work
    // and its file system takes a single file that long.
    bool AdmitsFile(wchar_t chLetter, uint64_t nBytes) const;
    // Takes one write's bytes from the drive. False when a file's bytes do
    // not fit, the drive's writes fail (the write crossing fail-after starts
    // that) or the drive is gone (the write crossing remove-after pulls it out).
    // The writer may go on when the drive, at its speed, has all but
    // BAY_WRITE_BACK_BYTES (raw: BAY_RAW_WRITE_BACK_BYTES) of its writes done;
    // the bytes past corrupt-after are stored wrong.
    bool TakeWrite(wchar_t chLetter, uint64_t nBytes, BayWriteKind kind, BayWriteTaken& taken);
    // When the drive, at its speed, has done every write taken so far.
    std::chrono::steady_clock::time_point WritesDoneAt(wchar_t chLetter) const;
    // Bytes of a removed or replaced file; never more than the drive holds.
    void GiveBack(wchar_t chLetter, uint64_t nBytes);

    // A raw volume open: false for a drive that is gone or still refuses opens
    // (each refusal used up).
    bool AdmitOpen(wchar_t chLetter);
    // False while another open holds the drive's lock, or while the drive
    // still refuses locks (each refusal used up), or when it is gone.
    bool TakeLock(wchar_t chLetter);
    void ReleaseLock(wchar_t chLetter);
    // Counts one read of nBytes (raw, or of a file opened for reading) before
    // it is made. False when the drive is gone or its reads fail (the read
    // crossing read-fail-after starts that). doneAt is when the reader has its
    // bytes: reads of one drive queue at its read speed, on a clock apart
    // from its writes'.
    bool TakeRead(wchar_t chLetter, uint64_t nBytes, std::chrono::steady_clock::time_point& doneAt);
    // When the drive, at its read speed, has given every read taken so far.
    std::chrono::steady_clock::time_point ReadsDoneAt(wchar_t chLetter) const;
    // The bytes of a counted read that the backing file did not give.
    void GiveBackRead(wchar_t chLetter, uint64_t nBytes);
    uint64_t BytesRead(wchar_t chLetter) const;
    uint64_t BytesWritten(wchar_t chLetter) const;

    void SetFormatterPresence(BayFormatterPresence presence);
    BayFormatterPresence FormatterPresence() const;
    void RecordFormatCall(const BayFormatCall& call);
    std::vector<BayFormatCall> FormatCalls() const;
    // The drive's script, or a lone done:0 when the stand-in cannot format
    // that root with that file system: only folder drives, and FAT32 no
    // larger than 32 GiB, as FormatEx refuses larger ones.
    BayFormatPlan PlanFormat(const std::wstring& strRoot, const std::wstring& strFileSystem) const;
    // A finished format: the drive's folder emptied, its volume new.
    void ApplyFormat(const std::wstring& strRoot, const std::wstring& strFileSystem, const std::wstring& strLabel);

private:
    struct DriveNow {
        uint64_t nFreeBytes = 0;
        std::wstring strFileSystem;
        std::wstring strLabel;
        uint64_t nBytesWritten = 0;
        bool bWritesFailing = false;
        bool bRemoved = false;
        std::chrono::steady_clock::time_point busyUntil;
        uint32_t nOpenRefusalsLeft = 0;
        uint32_t nLockRefusalsLeft = 0;
        bool bLocked = false;
        uint64_t nBytesRead = 0;
        bool bReadsFailing = false;
        std::chrono::steady_clock::time_point readBusyUntil;
        BayUnflushed unflushed;
    };

    // With m_mutex held; nullptr for a letter the bay has not.
    DriveNow* FindNow(wchar_t chLetter);
    const DriveNow* FindNow(wchar_t chLetter) const;

    const BayDescription m_description;
    mutable std::mutex m_mutex;
    std::map<wchar_t, DriveNow> m_drives;
    std::map<std::filesystem::path, uint64_t> m_declaredSizes;
    std::map<std::filesystem::path, size_t> m_listingBreaks;
    std::set<std::filesystem::path> m_deniedListings;
    BayFormatterPresence m_formatterPresence = BayFormatterPresence::Present;
    std::vector<BayFormatCall> m_formatCalls;
};
