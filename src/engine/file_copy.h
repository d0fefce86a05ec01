#pragma once
// Copies a source folder, with everything under it, into the root of one
// drive, and keeps that drive's bar moving over the whole job. One job per
// drive and call; nothing is shared between drives but the source tree and
// the run's cancel flag.

#include <cstdint>
#include <string>

#include "engine/read_back.h"
#include "engine/slot_failure.h"

class CRunControl;
class IFolderTree;
class IProgressView;
class IVolumeQueries;

// The file-system kind of a target volume.
enum FsKind : int32_t {
    FS_KIND_UNKNOWN = -1,   // the file-system name could not be read
    FS_KIND_OTHER = 0,      // "FAT" and every name but those below
    FS_KIND_FAT32 = 1,
    FS_KIND_NTFS = 2,
    // exFAT records a file's size in 64 bits: no limit of its own that a
    // file on a stick could reach.
    FS_KIND_EXFAT = 3,
};

// The largest single file each kind of volume accepts.
constexpr int64_t FILE_LIMIT_NTFS = 0x00000FFFFFFF0000LL;   // 16 TiB - 64 KiB
constexpr int64_t FILE_LIMIT_FAT32 = 0xFFFFFFFFLL;      // 4 GiB - 1
constexpr int64_t FILE_LIMIT_OTHER = 0x7FFFFFFFLL;      // 2 GiB - 1
constexpr int64_t FILE_LIMIT_EXFAT = INT64_MAX;          // every size a listing can report

// Room a copy must leave on the drive beyond the source's size.
constexpr int64_t COPY_SPACE_RESERVE = 1048576;

// GetFolderSize's answer when a listing broke off: the size is unknown.
constexpr int64_t FOLDER_SIZE_BROKEN = -1;

class FolderCopyJob {
public:
    FolderCopyJob(IFolderTree& folders, IVolumeQueries& volumes) : m_folders(folders), m_volumes(volumes) {}

    // Sum of every file's size under the folder. With pLargest, also the
    // largest file lying directly in it (files in sub-folders count only
    // towards the sum). A folder whose listing is denied, or that is not
    // there, counts as empty; any other failure to list, at any depth, gives
    // FOLDER_SIZE_BROKEN.
    int64_t GetFolderSize(const std::wstring& strFolder, int64_t* pLargest);

    // Free bytes of the whole volume; 0 when they cannot be asked.
    int64_t GetVolumeFreeBytes(const std::wstring& strRoot);

    // The single-file limit of the volume's file system, and its kind
    // through pKind; 0 with the kind left alone when the name cannot be read.
    int64_t GetFileSizeLimit(const std::wstring& strRoot, FsKind* pKind);

    // After the whole copy: every file of the source tree compared with its
    // copy, which is read past the system's cache. 1 when each is there, as
    // long and byte for byte the same; 0 on any difference, on a read that
    // fails, or on cancel. On 0, *pnFailure (when given) says whose fault it
    // is: SR_VERIFY_FAILED for the drive, SR_COPY_FAILED when the source
    // could not be walked or read again. Moves the bar from m_nCopyBarEnd to 100.
    int VerifyFolder(const std::wstring& strSource, const std::wstring& strTarget, IProgressView* pProgressBar,
                     CRunControl* pCancel, int* pnFailure = nullptr);

    // 1 when the whole of the source reached the target; 0 when the copy
    // failed or was cancelled. Depth-first; existing folders are reused,
    // files overwritten, nothing on the target deleted. A sub-folder whose
    // listing is denied stays empty and the copy goes on; any other failure
    // to list fails the copy at any depth.
    int CopyFolder(std::wstring strSource, std::wstring strTarget, IProgressView* pProgressBar, CRunControl* pCancel,
                   int nDepth);

    // The progress routine of each file's copy, with the job as context.
    static int OnCopyProgress(int64_t nTransferred, void* pContext);

    int64_t m_nTotalBytes = 0;
    int64_t m_nCopiedBytes = 0;
    // Where the bar stands when the copy is done: 100, or less when a check
    // follows it.
    int m_nCopyBarEnd = 100;
    IProgressView* m_pProgressBar = nullptr;
    CRunControl* m_pCancel = nullptr;
    // Why the copy or the check failed last: the step and the system's reason.
    SlotFailure m_failure;

private:
    int OnFileProgress(int64_t nTransferred);
    bool VerifyTree(const std::wstring& strSource, const std::wstring& strTarget, int nDepth);
    bool FileMatches(const std::wstring& strSource, const std::wstring& strTarget);
    void ShowCheckProgress();

    int64_t m_nCheckedBytes = 0;
    int m_nCheckFailure = 0;

    IFolderTree& m_folders;
    IVolumeQueries& m_volumes;
};
