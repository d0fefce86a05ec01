#include "platform/win32/folder_tree_win32.h"

#include "base/win32/handles_win32.h"
#include "platform/drive_paths.h"
#include "platform/win32/seam_error_win32.h"

// CopyFileExW polls *pbCancel while it copies, and the UI thread stores 1 into the
// run's atomic from another thread. A lock-free std::atomic<int32_t> is a
// plain aligned 32-bit word, so the system reading it as a BOOL sees each
// store whole; it only ever reads it, which makes the cast from const safe.
static_assert(std::atomic<int32_t>::is_always_lock_free, "the cancel flag must be a plain word");
static_assert(sizeof(std::atomic<int32_t>) == sizeof(BOOL), "the cancel flag must be read as a BOOL");
static_assert(alignof(std::atomic<int32_t>) >= alignof(BOOL), "the cancel flag must be aligned as a BOOL");

namespace {

bool StartsWith(const std::wstring& str, const wchar_t* pszPrefix)
{
    return str.rfind(pszPrefix, 0) == 0;
}

// "E:\" must not become "E:\\*".
std::wstring FindPattern(const std::wstring& strFolder)
{
    std::wstring strPattern = strFolder;
    if (strPattern.back() != L'\\')
        strPattern += L'\\';
    return strPattern + L'*';
}

FolderEntry EntryOf(const WIN32_FIND_DATAW& data)
{
    FolderEntry entry;
    entry.strName = data.cFileName;
    entry.bFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.nSize = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return entry;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& strPath)
{
    if (strPath.empty() || StartsWith(strPath, L"\\\\?\\") || StartsWith(strPath, L"\\\\.\\"))
        return strPath;
    // The system takes the extended form as it stands, without the
    // normalising it gives other paths: separators and runs of them are made
    // single here (the doubled one of a root joined to a name too), and the
    // full path resolves what is left ("." and "..").
    std::wstring strSingle;
    strSingle.reserve(strPath.size());
    for (size_t i = 0; i < strPath.size(); ++i) {
        const wchar_t ch = strPath[i] == L'/' ? L'\\' : strPath[i];
        // A leading pair of backslashes names a share.
        if (ch == L'\\' && i > 1 && !strSingle.empty() && strSingle.back() == L'\\')
            continue;
        strSingle += ch;
    }
    const DWORD nNeeded = ::GetFullPathNameW(strSingle.c_str(), 0, nullptr, nullptr);
    if (nNeeded == 0)
        return strPath;
    std::wstring strFull(nNeeded, L'\0');
    const DWORD nLength = ::GetFullPathNameW(strSingle.c_str(), nNeeded, strFull.data(), nullptr);
    if (nLength == 0 || nLength >= nNeeded)
        return strPath;
    strFull.resize(nLength);
    if (StartsWith(strFull, L"\\\\"))
        return L"\\\\?\\UNC\\" + strFull.substr(2);
    return L"\\\\?\\" + strFull;
}

DWORD CALLBACK CopyProgressTrampoline(LARGE_INTEGER /*nTotalFileSize*/, LARGE_INTEGER nTotalBytesTransferred,
                                      LARGE_INTEGER /*nStreamSize*/, LARGE_INTEGER /*nStreamBytesTransferred*/,
                                      DWORD /*dwStreamNumber*/, DWORD /*dwCallbackReason*/,
                                      HANDLE /*hSourceFile*/, HANDLE /*hDestinationFile*/, LPVOID lpData)
{
    try {
        const auto* pBinding = static_cast<const CopyProgressBinding*>(lpData);
        const int nAnswer = pBinding->routine(nTotalBytesTransferred.QuadPart, pBinding->pContext);
        switch (nAnswer) {
        case PROGRESS_CONTINUE:
        case PROGRESS_CANCEL:
        case PROGRESS_STOP:
            return static_cast<DWORD>(nAnswer);
        default:
            // PROGRESS_QUIET would let the copy run on unwatched, and the
            // system's answer to an unknown value is undefined; the routine
            // meant "not continue", so the copy ends.
            return PROGRESS_CANCEL;
        }
    } catch (...) {
        return PROGRESS_CANCEL;
    }
}

FolderListing CWin32FolderTree::ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries)
{
    entries.clear();
    // "" + "\*" would list the current drive's root.
    if (strFolder.empty()) {
        SetSeamError(ERROR_INVALID_NAME);
        return FOLDER_LIST_FAILED;
    }
    WIN32_FIND_DATAW data{};
    CUniqueFindHandle find(::FindFirstFileW(FindPattern(ExtendedLengthPath(strFolder)).c_str(), &data));
    if (!find) {
        const DWORD dwError = ::GetLastError();
        if (dwError != ERROR_FILE_NOT_FOUND)
            SetSeamError(dwError);
        switch (dwError) {
        // A root holds no "." nor "..": an empty one matches nothing, which
        // is an empty listing, not a failed one.
        case ERROR_FILE_NOT_FOUND: return FOLDER_LISTED;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY: return FOLDER_NOT_FOUND;
        case ERROR_ACCESS_DENIED: return FOLDER_ACCESS_DENIED;
        // Not ready, no such device, an I/O error: nothing is known of the folder.
        default: return FOLDER_LIST_FAILED;
        }
    }
    do {
        entries.push_back(EntryOf(data));
    } while (::FindNextFileW(find.get(), &data));
    const DWORD dwError = ::GetLastError();
    if (dwError == ERROR_NO_MORE_FILES)
        return FOLDER_LISTED;
    SetSeamError(dwError);
    entries.clear();
    return FOLDER_LIST_FAILED;
}

bool CWin32FolderTree::MakeFolder(const std::wstring& strPath)
{
    return KeepLastError(::CreateDirectoryW(ExtendedLengthPath(strPath).c_str(), nullptr) != FALSE);
}

bool CWin32FolderTree::PathExists(const std::wstring& strPath)
{
    return KeepLastError(::GetFileAttributesW(ExtendedLengthPath(strPath).c_str()) != INVALID_FILE_ATTRIBUTES);
}

bool CWin32FolderTree::CopyOneFile(const std::wstring& strFrom, const std::wstring& strTo,
                                   CopyProgressRoutine routine, void* pContext, const std::atomic<int32_t>* pCancel)
{
    CopyProgressBinding binding{routine, pContext};
    LPBOOL pbCancel = const_cast<LPBOOL>(reinterpret_cast<const BOOL*>(pCancel));
    return KeepLastError(::CopyFileExW(ExtendedLengthPath(strFrom).c_str(), ExtendedLengthPath(strTo).c_str(),
                                       routine != nullptr ? &CopyProgressTrampoline : nullptr, &binding, pbCancel, 0)
                         != FALSE);
}

namespace {

class CWin32FileReader : public IFileReader {
public:
    explicit CWin32FileReader(CUniqueFileHandle file) : m_file(std::move(file)) {}

    bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) override
    {
        nRead = 0;
        // A short synchronous read of a file is its end. Past the cache the
        // position is then the file's length, rarely a whole number of
        // sectors, and a transfer that starts off a sector is one Windows
        // may refuse rather than answer with the end: it is not asked.
        if (m_bAtEnd)
            return true;
        DWORD nDone = 0;
        if (!KeepLastError(::ReadFile(m_file.get(), pBuffer, nBytes, &nDone, nullptr) != FALSE))
            return false;
        nRead = nDone;
        m_bAtEnd = nDone < nBytes;
        return true;
    }

private:
    CUniqueFileHandle m_file;
    bool m_bAtEnd = false;
};

}  // namespace

std::unique_ptr<IFileReader> CWin32FolderTree::OpenFileForReading(const std::wstring& strPath, bool bPastCache)
{
    // FILE_FLAG_NO_BUFFERING takes the reads past the cache to the medium,
    // and asks sector-aligned buffers and lengths of the caller in return.
    const DWORD dwFlags = FILE_FLAG_SEQUENTIAL_SCAN | (bPastCache ? FILE_FLAG_NO_BUFFERING : 0);
    CUniqueFileHandle file(::CreateFileW(ExtendedLengthPath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, dwFlags, nullptr));
    if (!KeepLastError(static_cast<bool>(file)))
        return nullptr;
    return std::make_unique<CWin32FileReader>(std::move(file));
}

bool CWin32FolderTree::FlushVolume(const std::wstring& strRoot)
{
    const wchar_t chLetter = DriveLetterOfPath(strRoot);
    if (chLetter == L'\0') {
        SetSeamError(ERROR_INVALID_NAME);
        return false;
    }
    // FlushFileBuffers on a volume handle flushes every file of the volume;
    // it wants write access, and sharing both ways leaves whatever else has
    // the volume open undisturbed.
    const std::wstring strVolume = std::wstring(L"\\\\.\\") + chLetter + L":";
    CUniqueFileHandle volume(::CreateFileW(strVolume.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    return KeepLastError(static_cast<bool>(volume)) && KeepLastError(::FlushFileBuffers(volume.get()) != FALSE);
}
