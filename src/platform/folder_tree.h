#pragma once
// What the file copy asks of the file system: listing a folder, making one,
// asking whether a path exists, and copying one file with progress that the
// caller can stop. The Windows side makes the system's calls; the simulated
// bay answers from its folders.

#include <atomic>
#include <cstdint>
#include <memory>
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

// How a listing ended. The failures differ for a copy: a folder whose
// listing is denied is one no administrator may read (a drive root's
// "System Volume Information") and is left out; one that is not there is a
// source that does not exist; any other failure (the device gone, an I/O
// error, a listing that broke off part-way) says nothing of what the folder
// holds, which must not pass for an empty or a whole one.
enum FolderListing : int32_t {
    FOLDER_LISTED = 0,
    FOLDER_ACCESS_DENIED = 1,
    FOLDER_NOT_FOUND = 2,
    FOLDER_LIST_FAILED = 3,
};

// Called at the start of a file and after each block with the bytes of that
// file transferred so far, and the context the copy was given.
using CopyProgressRoutine = int (*)(int64_t nTransferred, void* pContext);

// One file opened for reading, from its first byte; closed when destroyed.
class IFileReader {
public:
    virtual ~IFileReader() = default;
    // Up to nBytes from where the last read ended; nRead is 0 at the end. A
    // reader that reads past the system's cache wants pBuffer on a 4096-byte
    // boundary and nBytes a multiple of 4096 (the last read of a file may
    // still give fewer bytes).
    virtual bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) = 0;
};

// Paths are full paths of any length: the Windows side hands the system
// their extended form, so a tree deeper than MAX_PATH is copied whole.
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
    // With bPastCache the reads come from the medium, not from what the
    // system holds of the file in memory: a check that a drive keeps what
    // was written must not be answered from the cache that wrote it.
    // nullptr when the file cannot be opened.
    virtual std::unique_ptr<IFileReader> OpenFileForReading(const std::wstring& strPath, bool bPastCache) = 0;
    // Everything written to the volume of strRoot, in files closed or open,
    // reaches the medium before this returns true: until then a file copied
    // may sit in the system's cache, and a stick pulled loses it.
    virtual bool FlushVolume(const std::wstring& strRoot) = 0;
};
