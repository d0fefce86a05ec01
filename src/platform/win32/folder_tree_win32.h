#pragma once
// The file copy's folder tree on the system's own file calls. Paths go to the
// system as given, of any length; one it rejects (beyond MAX_PATH without the
// \\?\ prefix) makes the call fail.

#include <windows.h>

#include "platform/folder_tree.h"

class CWin32FolderTree : public IFolderTree {
public:
    FolderListing ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries) override;
    bool MakeFolder(const std::wstring& strPath) override;
    bool PathExists(const std::wstring& strPath) override;
    bool CopyOneFile(const std::wstring& strFrom, const std::wstring& strTo, CopyProgressRoutine routine,
                     void* pContext, const std::atomic<int32_t>* pCancel) override;
};

// What CopyFileExW's lpData points at during one copy.
struct CopyProgressBinding {
    CopyProgressRoutine routine;
    void* pContext;
};

// The routine CopyFileExW calls. Declared here because Wine's CopyFileExW
// never calls it: the tests call it themselves.
DWORD CALLBACK CopyProgressTrampoline(LARGE_INTEGER nTotalFileSize, LARGE_INTEGER nTotalBytesTransferred,
                                      LARGE_INTEGER nStreamSize, LARGE_INTEGER nStreamBytesTransferred,
                                      DWORD dwStreamNumber, DWORD dwCallbackReason, HANDLE hSourceFile,
                                      HANDLE hDestinationFile, LPVOID lpData);
