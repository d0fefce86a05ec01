#pragma once
// What the file copy asks of the file system: listing a folder, making one,
// asking whether a path exists, and copying one file with progress that the
// caller can stop. The Windows side makes the system's calls; the simulated
// bay answers from its folders.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct FolderEntry {
    std::wstring strName;
    bool bFolder = false;
    int64_t nSize = 0;   // files only
};

// What a copy progress routine returns (CopyFileExW's values).
constexpr int COPY_PROGRESS_CONTINUE = 0;
constexpr int COPY_PROGRESS_STOP = 2;

// How a listing ended. The two failures differ for a copy: a folder that
// cannot be listed at all is one no administrator may read (a drive root's
// "System Volume Information"), while a listing that breaks off (a source
// that goes away) has given part of a folder, which must not pass for all of it.
enum FolderListing : int32_t {
    FOLDER_LISTED = 0,
    FOLDER_NOT_LISTED = 1,
    FOLDER_BROKEN_OFF = 2,
};

// Called at the start of a file and after each block with the bytes of that
// file transferred so far, and the context the copy was given.
using CopyProgressRoutine = int (*)(int64_t nTransferred, void* pContext);

class IFolderTree {
public:
    virtual ~IFolderTree() = default;

    // Every entry of the folder, in the system's order, "." and ".." where
    // the system reports them; no entries unless FOLDER_LISTED.
    virtual FolderListing ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries) = 0;
    // False when the folder could not be made, also when something exists there.
    virtual bool MakeFolder(const std::wstring& strPath) = 0;
    virtual bool PathExists(const std::wstring& strPath) = 0;
    // Replaces a file of the same name. The copy fails as soon as *pCancel
    // holds 1 or the routine returns anything but COPY_PROGRESS_CONTINUE;
    // what is left of a partly written file is the system's business.
    virtual bool CopyOneFile(const std::wstring& strFrom, const std::wstring& strTo, CopyProgressRoutine routine,
                             void* pContext, const std::atomic<int32_t>* pCancel) = 0;
};
