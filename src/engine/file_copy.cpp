#include "engine/file_copy.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/aligned_buffer.h"

#include "base/thread_guard.h"
#include "engine/run_control.h"
#include "engine/slot_result.h"
#include "platform/drive_paths.h"
#include "platform/folder_tree.h"
#include "platform/slot_views.h"
#include "platform/volume_queries.h"

namespace {

bool IsDotEntry(const FolderEntry& entry)
{
    return entry.strName == L"." || entry.strName == L"..";
}

std::wstring JoinPath(const std::wstring& strFolder, const std::wstring& strName)
{
    // Always one backslash between the two: a root that already ends with
    // one gets a doubled one, which the system reads as one.
    return strFolder + L"\\" + strName;
}

// How much of each file the check reads at a time: whole sectors. A read
// of a file gives less only at its end.
constexpr size_t VERIFY_READ_BYTES = 1048576;

}  // namespace

int64_t FolderCopyJob::GetFolderSize(const std::wstring& strFolder, int64_t* pLargest)
{
    if (pLargest != nullptr)
        *pLargest = 0;
    std::vector<FolderEntry> entries;
    // A folder denied to everyone is left out of the copy, and one that is
    // not there holds nothing to copy (a missing source is E4); any other
    // failure leaves the size unknown. A sub-folder that vanishes after its
    // parent listed it is caught again when the copy walks it.
    const FolderListing listing = m_folders.ListFolder(strFolder, entries);
    if (listing == FOLDER_ACCESS_DENIED || listing == FOLDER_NOT_FOUND)
        return 0;
    if (listing != FOLDER_LISTED)
        return FOLDER_SIZE_BROKEN;
    int64_t nSum = 0;
    for (const FolderEntry& entry : entries) {
        if (IsDotEntry(entry))
            continue;
        if (entry.bFolder) {
            const int64_t nSub = GetFolderSize(JoinPath(strFolder, entry.strName), nullptr);
            if (nSub == FOLDER_SIZE_BROKEN)
                return FOLDER_SIZE_BROKEN;
            nSum += nSub;
            continue;
        }
        nSum += entry.nSize;
        if (pLargest != nullptr && entry.nSize > *pLargest)
            *pLargest = entry.nSize;
    }
    return nSum;
}

int64_t FolderCopyJob::GetVolumeFreeBytes(const std::wstring& strRoot)
{
    const uint64_t nFree = m_volumes.GetVolumeFreeBytes(DriveIndexOfPath(strRoot));
    return nFree > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(nFree);
}

int64_t FolderCopyJob::GetFileSizeLimit(const std::wstring& strRoot, FsKind* pKind)
{
    std::wstring strFileSystem;
    if (!m_volumes.GetFileSystemName(DriveIndexOfPath(strRoot), strFileSystem))
        return 0;
    // Exact and case-sensitive: that is how volumes report these names.
    FsKind kind = FS_KIND_OTHER;
    if (strFileSystem == L"NTFS")
        kind = FS_KIND_NTFS;
    else if (strFileSystem == L"FAT32")
        kind = FS_KIND_FAT32;
    else if (strFileSystem == L"exFAT")
        kind = FS_KIND_EXFAT;
    if (pKind != nullptr)
        *pKind = kind;
    switch (kind) {
    case FS_KIND_NTFS: return FILE_LIMIT_NTFS;
    case FS_KIND_FAT32: return FILE_LIMIT_FAT32;
    case FS_KIND_EXFAT: return FILE_LIMIT_EXFAT;
    default: return FILE_LIMIT_OTHER;
    }
}

int FolderCopyJob::CopyFolder(std::wstring strSource, std::wstring strTarget, IProgressView* pProgressBar,
                              CRunControl* pCancel, int nDepth)
{
    if (nDepth == 0) {
        m_nCopiedBytes = 0;
        m_nTotalBytes = GetFolderSize(strSource, nullptr);
        m_pProgressBar = pProgressBar;
        m_pCancel = pCancel;
        m_failure = SlotFailure{};
        if (m_nTotalBytes == FOLDER_SIZE_BROKEN) {
            NoteFailure(&m_failure, FAIL_STEP_LISTING);
            return 0;
        }
    }
    std::vector<FolderEntry> entries;
    // A sub-folder denied to everyone was created by the level above and
    // stays empty, and the copy goes on. A source that can no longer be
    // listed at all has not been copied, and any other failure leaves a
    // folder not copied, or copied in part: neither is a success.
    const FolderListing listing = m_folders.ListFolder(strSource, entries);
    if (listing == FOLDER_ACCESS_DENIED && nDepth > 0)
        return 1;
    if (listing != FOLDER_LISTED) {
        NoteFailure(&m_failure, FAIL_STEP_LISTING);
        return 0;
    }
    for (const FolderEntry& entry : entries) {
        if (IsDotEntry(entry))
            continue;
        const std::wstring strFrom = JoinPath(strSource, entry.strName);
        const std::wstring strTo = JoinPath(strTarget, entry.strName);
        if (entry.bFolder) {
            if (!m_folders.MakeFolder(strTo)) {
                // Taken before the question below, which may fail too.
                const uint32_t nError = TakeSeamError();
                if (!m_folders.PathExists(strTo)) {
                    NoteFailure(&m_failure, FAIL_STEP_MAKING_FOLDER, nError);
                    return 0;
                }
            }
            if (!CopyFolder(strFrom, strTo, pProgressBar, pCancel, nDepth + 1))
                return 0;
        } else {
            const std::atomic<int32_t>* pCancelFlag = pCancel != nullptr ? pCancel->CancelFlag() : nullptr;
            if (!m_folders.CopyOneFile(strFrom, strTo, &FolderCopyJob::OnCopyProgress, this, pCancelFlag)) {
                NoteFailure(&m_failure, FAIL_STEP_COPYING_FILE);
                return 0;
            }
            m_nCopiedBytes += entry.nSize;
        }
        if (pCancel != nullptr && pCancel->CheckPoint())
            return 0;
    }
    return 1;
}

int FolderCopyJob::OnCopyProgress(int64_t nTransferred, void* pContext)
{
    // Called from the system's copy: a throw must not cross it, and a copy
    // whose progress cannot be handled is better stopped than left unwatched.
    return RunGuarded(
        [&] { return static_cast<FolderCopyJob*>(pContext)->OnFileProgress(nTransferred); }, COPY_PROGRESS_STOP);
}

int FolderCopyJob::OnFileProgress(int64_t nTransferred)
{
    if (m_pCancel != nullptr && m_pCancel->CheckPoint())
        return COPY_PROGRESS_STOP;
    if (m_pProgressBar == nullptr || m_nTotalBytes <= 0)
        return COPY_PROGRESS_CONTINUE;
    const double dPercent = static_cast<double>(m_nCopiedBytes + nTransferred) * m_nCopyBarEnd
        / static_cast<double>(m_nTotalBytes);
    const int nPercent = dPercent >= m_nCopyBarEnd ? m_nCopyBarEnd : static_cast<int>(dPercent);
    m_pProgressBar->SetPos(nPercent);
    return COPY_PROGRESS_CONTINUE;
}

int FolderCopyJob::VerifyFolder(const std::wstring& strSource, const std::wstring& strTarget,
                                IProgressView* pProgressBar, CRunControl* pCancel, int* pnFailure)
{
    m_pProgressBar = pProgressBar;
    m_pCancel = pCancel;
    m_nCheckedBytes = 0;
    m_nCheckFailure = SR_VERIFY_FAILED;
    m_failure = SlotFailure{};
    const bool bMatches = VerifyTree(strSource, strTarget, 0);
    if (pnFailure != nullptr)
        *pnFailure = m_nCheckFailure;
    return bMatches ? 1 : 0;
}

bool FolderCopyJob::VerifyTree(const std::wstring& strSource, const std::wstring& strTarget, int nDepth)
{
    std::vector<FolderEntry> entries;
    const FolderListing listing = m_folders.ListFolder(strSource, entries);
    // The copy left out a sub-folder denied to everyone; so does the check.
    if (listing == FOLDER_ACCESS_DENIED && nDepth > 0)
        return true;
    // A source that cannot be walked again says nothing of the drive.
    if (listing != FOLDER_LISTED) {
        m_nCheckFailure = SR_COPY_FAILED;
        NoteFailure(&m_failure, FAIL_STEP_READING_SOURCE);
        return false;
    }
    for (const FolderEntry& entry : entries) {
        if (IsDotEntry(entry))
            continue;
        if (m_pCancel != nullptr && m_pCancel->CheckPoint())
            return false;
        const std::wstring strFrom = JoinPath(strSource, entry.strName);
        const std::wstring strTo = JoinPath(strTarget, entry.strName);
        if (entry.bFolder ? !VerifyTree(strFrom, strTo, nDepth + 1) : !FileMatches(strFrom, strTo))
            return false;
    }
    return true;
}

bool FolderCopyJob::FileMatches(const std::wstring& strSource, const std::wstring& strTarget)
{
    // The copy is read past the cache, so the check sees what the drive
    // holds and not what memory kept of the writing; reads past the cache
    // want buffers on a sector and whole sectors.
    const std::unique_ptr<IFileReader> source = m_folders.OpenFileForReading(strSource, false);
    if (!source) {
        m_nCheckFailure = SR_COPY_FAILED;
        NoteFailure(&m_failure, FAIL_STEP_READING_SOURCE);
        return false;
    }
    const std::unique_ptr<IFileReader> copy = m_folders.OpenFileForReading(strTarget, true);
    if (!copy) {
        NoteFailure(&m_failure, FAIL_STEP_READING_BACK);
        return false;
    }
    CAlignedBuffer sourceBytes;
    CAlignedBuffer copyBytes;
    if (!sourceBytes.Allocate(VERIFY_READ_BYTES) || !copyBytes.Allocate(VERIFY_READ_BYTES))
        return false;
    for (;;) {
        if (m_pCancel != nullptr && m_pCancel->CheckPoint())
            return false;
        uint32_t nSource = 0;
        uint32_t nCopy = 0;
        if (!source->Read(sourceBytes.data(), VERIFY_READ_BYTES, nSource)) {
            m_nCheckFailure = SR_COPY_FAILED;
            NoteFailure(&m_failure, FAIL_STEP_READING_SOURCE);
            return false;
        }
        if (!copy->Read(copyBytes.data(), VERIFY_READ_BYTES, nCopy)) {
            NoteFailure(&m_failure, FAIL_STEP_READING_BACK);
            return false;
        }
        // A copy shorter or longer than its source differs from it too.
        if (nSource != nCopy || std::memcmp(sourceBytes.data(), copyBytes.data(), nSource) != 0)
            return false;
        if (nSource == 0)
            return true;
        m_nCheckedBytes += nSource;
        ShowCheckProgress();
    }
}

void FolderCopyJob::ShowCheckProgress()
{
    if (m_pProgressBar == nullptr || m_nTotalBytes <= 0)
        return;
    const double dPercent =
        m_nCopyBarEnd + static_cast<double>(m_nCheckedBytes) * (100 - m_nCopyBarEnd) / static_cast<double>(m_nTotalBytes);
    m_pProgressBar->SetPos(dPercent >= 100.0 ? 100 : static_cast<int>(dPercent));
}
