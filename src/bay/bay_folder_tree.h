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
    // does on a source that goes away.
    FolderListing ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries) override;
    bool MakeFolder(const std::wstring& strPath) override;
    bool PathExists(const std::wstring& strPath) override;
    bool CopyOneFile(const std::wstring& strFrom, const std::wstring& strTo, CopyProgressRoutine routine,
                     void* pContext, const std::atomic<int32_t>* pCancel) override;

private:
    CBayState& m_state;
};
