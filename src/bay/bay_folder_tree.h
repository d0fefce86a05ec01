#pragma once
// The file copy's view of the bay's folders, as FindFirstFileW, CreateDirectoryW,
// GetFileAttributesW and CopyFileExW would show them on real sticks.

#include "bay/bay_state.h"
#include "platform/folder_tree.h"

class CBayFolderTree : public IFolderTree {
public:
    explicit CBayFolderTree(CBayState& state) : m_state(state) {}

    // A declared size stands in for the real one; a folder other than a
    // root lists "." and ".." first, as FindFirstFileW does. A listing set
    // to break off gives its first entries and then fails, as FindNextFileW
    // does on a source that goes away; a folder denied to everyone, one not
    // there and one on a drive gone fail each as the system's listing does.
    FolderListing ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries) override;
    bool MakeFolder(const std::wstring& strPath) override;
    bool PathExists(const std::wstring& strPath) override;
    bool CopyOneFile(const std::wstring& strFrom, const std::wstring& strTo, CopyProgressRoutine routine,
                     void* pContext, const std::atomic<int32_t>* pCancel) override;
    // The backing file's bytes as the drive stores them; the bay keeps no
    // cache, so both ways read the same, but a reader past the cache refuses
    // a buffer off a sector or a length that is not whole sectors. A file on
    // a drive reads at its read speed, counts in its bytes read and stops at
    // its read-fail-after; a host file reads at the host's pace.
    std::unique_ptr<IFileReader> OpenFileForReading(const std::wstring& strPath, bool bPastCache) override;
    // Waits for the drive to do every write it took; from then on nothing
    // copied or made on it is lost when it is pulled out.
    bool FlushVolume(const std::wstring& strRoot) override;

private:
    CBayState& m_state;
};
