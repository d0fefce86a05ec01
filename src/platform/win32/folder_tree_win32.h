#pragma once
// The file copy's folder tree on the system's own file calls. Every path goes
// to the system in its extended form ("\\?\E:\dir", "\\?\UNC\server\share"),
// which lifts MAX_PATH: without it a source tree deeper than 260 characters
// would fail part-way (FindFirstFileW, "Naming Files, Paths, and Namespaces").

#include <windows.h>

#include "platform/folder_tree.h"

class CWin32FolderTree : public IFolderTree {
public:
    FolderListing ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries) override;
    bool MakeFolder(const std::wstring& strPath) override;
    bool PathExists(const std::wstring& strPath) override;
    bool CopyOneFile(const std::wstring& strFrom, const std::wstring& strTo, CopyProgressRoutine routine,
                     void* pContext, const std::atomic<int32_t>* pCancel) override;
    std::unique_ptr<IFileReader> OpenFileForReading(const std::wstring& strPath, bool bPastCache) override;
    bool FlushVolume(const std::wstring& strRoot) override;
};

// The path as the system takes it of any length: "\\?\" and the full path,
// its separators single. A path already in that form, or a device path, is
// left as it is, and so is one the system cannot make full.
std::wstring ExtendedLengthPath(const std::wstring& strPath);

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
