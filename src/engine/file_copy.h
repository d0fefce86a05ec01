#pragma once
// Copies a source folder, with everything under it, into the root of one
// drive, and keeps that drive's bar moving over the whole job. One job per
// drive and call; nothing is shared between drives but the source tree and
// the run's cancel flag.

#include <cstdint>
#include <string>

class CRunControl;
class IFolderTree;
class IProgressView;
class IVolumeQueries;

// The file-system kind of a target volume.
enum FsKind : int32_t {
    FS_KIND_UNKNOWN = -1,   // the file-system name could not be read
    FS_KIND_OTHER = 0,      // "FAT" and every name but the two below
    FS_KIND_FAT32 = 1,
    FS_KIND_NTFS = 2,
};

// The largest single file each kind of volume accepts.
constexpr int64_t FILE_LIMIT_NTFS = 0x00000FFFFFFF0000LL;   // 16 TiB - 64 KiB
constexpr int64_t FILE_LIMIT_FAT32 = 0xFFFFFFFFLL;      // 4 GiB - 1
constexpr int64_t FILE_LIMIT_OTHER = 0x7FFFFFFFLL;      // 2 GiB - 1

// Room a copy must leave on the drive beyond the source's size.
constexpr int64_t COPY_SPACE_RESERVE = 1048576;

// GetFolderSize's answer when a listing broke off: the size is unknown.
constexpr int64_t FOLDER_SIZE_BROKEN = -1;

class FolderCopyJob {
public:
    FolderCopyJob(IFolderTree& folders, IVolumeQueries& volumes) : m_folders(folders), m_volumes(volumes) {}

    // Sum of every file's size under the folder. With pLargest, also the
    // largest file lying directly in it (files in sub-folders count only
    // towards the sum). A folder that cannot be listed counts as empty; a
    // listing that breaks off anywhere gives FOLDER_SIZE_BROKEN.
    int64_t GetFolderSize(const std::wstring& strFolder, int64_t* pLargest);

    // Free bytes of the whole volume; 0 when they cannot be asked.
    int64_t GetVolumeFreeBytes(const std::wstring& strRoot);

    // The single-file limit of the volume's file system, and its kind
    // through pKind; 0 with the kind left alone when the name cannot be read.
    int64_t GetFileSizeLimit(const std::wstring& strRoot, FsKind* pKind);

    // 1 when the whole of the source reached the target; 0 when the copy
    // failed or was cancelled. Depth-first; existing folders are reused,
    // files overwritten, nothing on the target deleted. A sub-folder that
    // cannot be listed stays empty and the copy goes on; a listing that
    // breaks off fails the copy at any depth.
    int CopyFolder(std::wstring strSource, std::wstring strTarget, IProgressView* pProgressBar, CRunControl* pCancel,
                   int nDepth);

    // The progress routine of each file's copy, with the job as context.
    static int OnCopyProgress(int64_t nTransferred, void* pContext);

    int64_t m_nTotalBytes = 0;
    int64_t m_nCopiedBytes = 0;
    IProgressView* m_pProgressBar = nullptr;
    CRunControl* m_pCancel = nullptr;

private:
    int OnFileProgress(int64_t nTransferred);

    IFolderTree& m_folders;
    IVolumeQueries& m_volumes;
};
