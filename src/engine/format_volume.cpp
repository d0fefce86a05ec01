#include "engine/format_volume.h"

#include <cwctype>
#include <memory>

#include "base/scope_guard.h"
#include "base/thread_guard.h"
#include "engine/run_control.h"
#include "platform/slot_views.h"
#include "platform/system_formatter.h"

CFormatThreadTable g_formatThreadTable;

namespace {

bool EqualsIgnoringCase(const std::wstring& strA, const wchar_t* pszB)
{
    const std::wstring strB(pszB);
    if (strA.size() != strB.size())
        return false;
    for (size_t i = 0; i < strA.size(); ++i) {
        if (std::towupper(strA[i]) != std::towupper(strB[i]))
            return false;
    }
    return true;
}

constexpr int FORMAT_STRUCTURE_STEP = 5;
constexpr unsigned FORMAT_STRUCTURE_CAP = 90;

}  // namespace

uint32_t GetCurrentFormatThreadId()
{
    static std::atomic<uint32_t> s_nNextId{1};
    thread_local const uint32_t s_nId = s_nNextId.fetch_add(1, std::memory_order_relaxed);
    return s_nId;
}

int CFormatThreadTable::Claim()
{
    const int nHeld = Find();
    if (nHeld >= 0)
        return nHeld;
    const uint32_t nId = GetCurrentFormatThreadId();
    for (int i = 0; i < FORMAT_THREAD_SLOTS; ++i) {
        uint32_t nFree = 0;
        if (m_entries[i].nThreadId.compare_exchange_strong(nFree, nId, std::memory_order_acq_rel))
            return i;
    }
    return -1;
}

int CFormatThreadTable::Find() const
{
    const uint32_t nId = GetCurrentFormatThreadId();
    for (int i = 0; i < FORMAT_THREAD_SLOTS; ++i) {
        if (m_entries[i].nThreadId.load(std::memory_order_acquire) == nId)
            return i;
    }
    return -1;
}

void CFormatThreadTable::Release()
{
    const uint32_t nId = GetCurrentFormatThreadId();
    for (Entry& entry : m_entries) {
        if (entry.nThreadId.load(std::memory_order_relaxed) == nId) {
            entry.pCancel = nullptr;
            entry.nSuccess = 0;
            entry.pProgressBar = nullptr;
            entry.nError = 0;
            entry.nThreadId.store(0, std::memory_order_release);
        }
    }
}

CFormatThreadTable::Entry* CFormatThreadTable::OwnEntry()
{
    const int i = Find();
    return i >= 0 ? &m_entries[i] : nullptr;
}

const CFormatThreadTable::Entry* CFormatThreadTable::OwnEntry() const
{
    const int i = Find();
    return i >= 0 ? &m_entries[i] : nullptr;
}

void CFormatThreadTable::SetCancel(CRunControl* pCancel)
{
    if (Entry* pEntry = OwnEntry())
        pEntry->pCancel = pCancel;
}

CRunControl* CFormatThreadTable::GetCancel() const
{
    const Entry* pEntry = OwnEntry();
    return pEntry != nullptr ? pEntry->pCancel : nullptr;
}

void CFormatThreadTable::SetSuccess(int nSuccess)
{
    if (Entry* pEntry = OwnEntry())
        pEntry->nSuccess = nSuccess;
}

int CFormatThreadTable::GetSuccess() const
{
    const Entry* pEntry = OwnEntry();
    return pEntry != nullptr ? pEntry->nSuccess : 0;
}

void CFormatThreadTable::SetProgressBar(IProgressView* pProgressBar)
{
    if (Entry* pEntry = OwnEntry())
        pEntry->pProgressBar = pProgressBar;
}

IProgressView* CFormatThreadTable::GetProgressBar() const
{
    const Entry* pEntry = OwnEntry();
    return pEntry != nullptr ? pEntry->pProgressBar : nullptr;
}

void CFormatThreadTable::SetError(uint32_t nError)
{
    if (Entry* pEntry = OwnEntry())
        pEntry->nError = nError;
}

uint32_t CFormatThreadTable::GetError() const
{
    const Entry* pEntry = OwnEntry();
    return pEntry != nullptr ? pEntry->nError : 0;
}

uint32_t GetFormatCommandError(uint32_t nCommand)
{
    switch (nCommand) {
    case FMIFS_INSUFFICIENT_RIGHTS: return SYSERR_ACCESS_DENIED;
    case FMIFS_WRITE_PROTECTED: return SYSERR_WRITE_PROTECT;
    case FMIFS_VOLUME_IN_USE: return SYSERR_SHARING_VIOLATION;
    case FMIFS_VOLUME_TOO_BIG: return SYSERR_FILE_SYSTEM_LIMITATION;
    case FMIFS_NO_MEDIA:
    case FMIFS_DEVICE_NOT_READY: return SYSERR_NOT_READY;
    default: return SYSERR_NONE;
    }
}

uint32_t GetFormatClusterSize(const std::wstring& strFileSystem)
{
    // FAT16 needs the large clusters to reach a USB stick's size; FAT32,
    // NTFS and anything else take 4 KiB.
    return EqualsIgnoringCase(strFileSystem, L"FAT") ? 65536 : 4096;
}

bool UsesOwnFat32Formatter(const std::wstring& strFileSystem, int64_t nVolumeBytes)
{
    return EqualsIgnoringCase(strFileSystem, L"FAT32") && nVolumeBytes > FORMATEX_FAT32_LIMIT;
}

int FormatVolume(ISystemFormatter& formatter, const std::wstring& strRoot, const std::wstring& strLabel,
                 const std::wstring& strFileSystem, int nQuickFormat, IProgressView* pProgressBar,
                 CRunControl* pCancel, SlotFailure* pReason)
{
    // The entry is released on every way out, a throw included, or the
    // thread would keep it for good.
    const CScopeGuard entryScope([] { g_formatThreadTable.Release(); });

    std::unique_ptr<IFormatLibrary> pLibrary = formatter.LoadFormatLibrary();
    if (!pLibrary) {
        NoteFailure(pReason, FAIL_STEP_FORMATTING);
        return 0;
    }
    g_formatThreadTable.Claim();
    g_formatThreadTable.SetCancel(pCancel);
    g_formatThreadTable.SetSuccess(0);
    g_formatThreadTable.SetProgressBar(pProgressBar);
    g_formatThreadTable.SetError(SYSERR_NONE);

    const uint32_t nClusterSize = GetFormatClusterSize(strFileSystem);
    if (!pLibrary->FindFormatEx()) {
        NoteFailure(pReason, FAIL_STEP_FORMATTING);
        return 0;
    }
    pLibrary->FormatEx(strRoot, FMIFS_MEDIA_REMOVABLE, strFileSystem, strLabel, nQuickFormat, nClusterSize,
                       &FormatExCallback);
    pLibrary.reset();
    const int nSuccess = g_formatThreadTable.GetSuccess();
    if (nSuccess == 0)
        NoteFailure(pReason, FAIL_STEP_FORMATTING, g_formatThreadTable.GetError());
    return nSuccess;
}

int FormatExCallback(uint32_t nCommand, uint32_t /*nSubAction*/, void* pData)
{
    // A callback that cannot be handled stops the format: a format left
    // running unwatched could never report its end.
    return RunGuarded(
        [&]() -> int {
            CRunControl* pCancel = g_formatThreadTable.GetCancel();
            if (pCancel != nullptr && pCancel->CheckPoint())
                return 0;
            IProgressView* pBar = g_formatThreadTable.GetProgressBar();
            switch (nCommand) {
            case FMIFS_PROGRESS: {
                if (pData == nullptr)
                    break;
                const int nPercent = static_cast<int>(*static_cast<const uint32_t*>(pData));
                if (pBar != nullptr && pBar->GetPos() < nPercent)
                    pBar->SetPos(nPercent);
                break;
            }
            case FMIFS_DONE:
                if (pData != nullptr && *static_cast<const uint8_t*>(pData) == 1) {
                    g_formatThreadTable.SetSuccess(1);
                    if (pBar != nullptr)
                        pBar->SetPos(100);
                } else {
                    g_formatThreadTable.SetSuccess(0);
                }
                break;
            case FMIFS_STRUCTURE_PROGRESS:
                if (pBar != nullptr) {
                    const unsigned nNext = static_cast<unsigned>(pBar->GetPos()) + FORMAT_STRUCTURE_STEP;
                    pBar->SetPos(static_cast<int>(nNext >= FORMAT_STRUCTURE_CAP ? FORMAT_STRUCTURE_CAP : nNext));
                }
                break;
            default:
                // The reason comes before the done-with-failure that ends it.
                if (const uint32_t nError = GetFormatCommandError(nCommand))
                    g_formatThreadTable.SetError(nError);
                break;
            }
            return 1;
        },
        0);
}
