#pragma once
// The bay's drives as they are now: free bytes, file system, label, how much
// was written and whether writes have started failing, the declared file
// sizes, each drive's write clock, and the formatter stand-in's record.
// Workers, the UI thread and the formatter reach it at once, so all of it
// sits under one lock; the description's facts never change and need none.
// Nothing here calls back into the product while the lock is held.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
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

class CBayState {
public:
    explicit CBayState(BayDescription description);

    const BayDescription& Description() const { return m_description; }
    BayPath Resolve(const std::wstring& strPath) const;

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

    bool WritesFailing(wchar_t chLetter) const;
    // Whether a file of nBytes may start on the drive: its writes still work
    // and its file system takes a single file that long.
    bool AdmitsFile(wchar_t chLetter, uint64_t nBytes) const;
    // Takes one write's bytes from the drive. False when they do not fit or
    // the drive's writes fail (the write crossing fail-after starts that).
    // doneAt is when the writer may go on: when the drive, at its speed,
    // has all but BAY_WRITE_BACK_BYTES of its writes done.
    bool TakeWrite(wchar_t chLetter, uint64_t nBytes, std::chrono::steady_clock::time_point& doneAt);
    // Bytes of a removed or replaced file; never more than the drive holds.
    void GiveBack(wchar_t chLetter, uint64_t nBytes);

    void SetFormatterPresence(BayFormatterPresence presence);
    BayFormatterPresence FormatterPresence() const;
    void RecordFormatCall(const BayFormatCall& call);
    std::vector<BayFormatCall> FormatCalls() const;
    // The drive's script, or a lone done:0 when the stand-in cannot format
    // that root with that file system.
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
        std::chrono::steady_clock::time_point busyUntil;
    };

    // With m_mutex held; nullptr for a letter the bay has not.
    DriveNow* FindNow(wchar_t chLetter);
    const DriveNow* FindNow(wchar_t chLetter) const;

    const BayDescription m_description;
    mutable std::mutex m_mutex;
    std::map<wchar_t, DriveNow> m_drives;
    std::map<std::filesystem::path, uint64_t> m_declaredSizes;
    BayFormatterPresence m_formatterPresence = BayFormatterPresence::Present;
    std::vector<BayFormatCall> m_formatCalls;
};
