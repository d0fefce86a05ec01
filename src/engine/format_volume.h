#pragma once
// Formats one drive through the system's FormatEx. Up to 22 formats run at
// once on their workers' threads. FormatEx's callback carries no context of
// ours, so a process-wide table keyed by the calling thread leads each
// callback to its slot's bar, cancel flag and result.

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/slot_failure.h"

class CRunControl;
class IProgressView;
class ISystemFormatter;

constexpr int FORMAT_THREAD_SLOTS = 32;

// The largest FAT32 volume FormatEx makes.
constexpr int64_t FORMATEX_FAT32_LIMIT = int64_t{32} << 30;

// Cluster size for the file system, by case-insensitive name.
uint32_t GetFormatClusterSize(const std::wstring& strFileSystem);

// True when a Format with this file system of a volume this long is our own
// FAT32 formatter's (fat32_format.h): FAT32 above what FormatEx makes.
// Everything else goes to FormatEx.
bool UsesOwnFat32Formatter(const std::wstring& strFileSystem, int64_t nVolumeBytes);

// 1 when the format ended successfully, 0 otherwise, with the system's
// reason in *pReason when given (none when FormatEx gave none). Returns only
// when the format has ended.
int FormatVolume(ISystemFormatter& formatter, const std::wstring& strRoot, const std::wstring& strLabel,
                 const std::wstring& strFileSystem, int nQuickFormat, IProgressView* pProgressBar,
                 CRunControl* pCancel, SlotFailure* pReason = nullptr);

// The Win32 error number FormatEx's callback command stands for; 0 for the
// commands that report no failure.
uint32_t GetFormatCommandError(uint32_t nCommand);

// The callback handed to FormatEx. Nonzero lets the format go on.
int FormatExCallback(uint32_t nCommand, uint32_t nSubAction, void* pData);

// A small nonzero number of the calling thread, the table's key: the
// standard library's thread ids are not integers.
uint32_t GetCurrentFormatThreadId();

// The table's operations, all keyed by the calling thread. An entry belongs
// to one thread from the start of its FormatVolume to its end; only the
// claim races with other threads, and it is a compare-and-swap.
class CFormatThreadTable {
public:
    // The entry already held by the thread, else the first free one; -1
    // when every entry is taken.
    int Claim();
    // The thread's entry, or -1.
    int Find() const;
    void Release();

    // A set without an entry does nothing; a get without one gives 0/null.
    void SetCancel(CRunControl* pCancel);
    CRunControl* GetCancel() const;
    void SetSuccess(int nSuccess);
    int GetSuccess() const;
    void SetProgressBar(IProgressView* pProgressBar);
    IProgressView* GetProgressBar() const;
    // The reason the last error command gave; 0 when none came.
    void SetError(uint32_t nError);
    uint32_t GetError() const;

private:
    struct Entry {
        std::atomic<uint32_t> nThreadId{0};   // 0: free
        // Read and written only by the entry's owner; the claim's
        // compare-and-swap orders them after the previous owner's release.
        CRunControl* pCancel = nullptr;
        int nSuccess = 0;
        IProgressView* pProgressBar = nullptr;
        uint32_t nError = 0;
    };
    Entry* OwnEntry();
    const Entry* OwnEntry() const;

    Entry m_entries[FORMAT_THREAD_SLOTS];
};

extern CFormatThreadTable g_formatThreadTable;
