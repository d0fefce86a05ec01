#include "bay/bay_folder_tree.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <system_error>
#include <thread>

#include "bay/bay_file_copy.h"
#include "bay/bay_sector.h"
#include "bay/bay_text.h"
#include "platform/system_error.h"

namespace {

// A listing that fails for a reason other than denial or absence.
FolderListing FailListing(uint32_t nError)
{
    SetSeamError(nError);
    return FOLDER_LIST_FAILED;
}

}  // namespace

FolderListing CBayFolderTree::ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries)
{
    entries.clear();
    const BayPath folder = m_state.Resolve(strFolder);
    // A path refused, a drive gone, a volume without files: the system's
    // listing fails, and not as denied.
    if (folder.kind == BayPathKind::Refused || folder.hostPath.empty())
        return FailListing(SYSERR_PATH_NOT_FOUND);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder.hostPath, ec)) {
        SetSeamError(SYSERR_PATH_NOT_FOUND);
        return FOLDER_NOT_FOUND;
    }
    if (m_state.ListingDenied(folder.hostPath)) {
        SetSeamError(SYSERR_ACCESS_DENIED);
        return FOLDER_ACCESS_DENIED;
    }

    std::filesystem::directory_iterator it(folder.hostPath, ec);
    if (ec && ec == std::errc::permission_denied) {
        SetSeamError(SYSERR_ACCESS_DENIED);
        return FOLDER_ACCESS_DENIED;
    }
    if (ec)
        return FailListing(SYSERR_IO_DEVICE);
    std::vector<FolderEntry> listed;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        FolderEntry entry;
        // A name with no wide form fails the listing: skipping it would
        // leave a file uncopied without a word.
        if (!WideFromPath(it->path().filename(), entry.strName))
            return FailListing(SYSERR_INVALID_NAME);
        const std::filesystem::file_status status = it->status(ec);
        entry.bFolder = std::filesystem::is_directory(status);
        if (!entry.bFolder) {
            uint64_t nBytes = 0;
            if (!std::filesystem::is_regular_file(status) || !m_state.FileSize(it->path(), nBytes))
                continue;
            entry.nSize = static_cast<int64_t>(std::min<uint64_t>(nBytes, INT64_MAX));
        }
        listed.push_back(entry);
    }
    if (ec)
        return FailListing(SYSERR_IO_DEVICE);
    // The host's order is arbitrary; a sorted one keeps runs repeatable.
    std::sort(listed.begin(), listed.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.strName < b.strName; });

    const bool bRoot = folder.kind == BayPathKind::Drive ? folder.bDriveRoot : folder.hostPath.relative_path().empty();
    if (!bRoot) {
        entries.push_back({L".", true, 0});
        entries.push_back({L"..", true, 0});
    }
    entries.insert(entries.end(), listed.begin(), listed.end());
    // A listing that breaks before its first entry is one that could not
    // start, as when FindFirstFileW meets an I/O error.
    if (const std::optional<size_t> nBreak = m_state.ListingBreak(folder.hostPath)) {
        if (*nBreak == 0 || *nBreak < entries.size()) {
            entries.clear();
            return FailListing(SYSERR_IO_DEVICE);
        }
    }
    return FOLDER_LISTED;
}

bool CBayFolderTree::MakeFolder(const std::wstring& strPath)
{
    const BayPath path = m_state.Resolve(strPath);
    if (path.kind == BayPathKind::Refused || path.hostPath.empty()) {
        SetSeamError(SYSERR_PATH_NOT_FOUND);
        return false;
    }
    if (path.bDriveRoot) {
        SetSeamError(SYSERR_ALREADY_EXISTS);
        return false;
    }
    if (path.kind == BayPathKind::Drive && path.pDrive->bWriteProtected) {
        SetSeamError(SYSERR_WRITE_PROTECT);
        return false;
    }
    if (path.kind == BayPathKind::Drive && m_state.WritesFailing(path.pDrive->chLetter)) {
        SetSeamError(SYSERR_WRITE_FAULT);
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::create_directory(path.hostPath, ec) || ec) {
        SetSeamError(ec ? SYSERR_PATH_NOT_FOUND : SYSERR_ALREADY_EXISTS);
        return false;
    }
    if (path.kind == BayPathKind::Drive)
        m_state.NoteWrittenPath(path.pDrive->chLetter, path.hostPath);
    return true;
}

bool CBayFolderTree::FlushVolume(const std::wstring& strRoot)
{
    const BayPath root = m_state.Resolve(strRoot);
    if (root.kind == BayPathKind::Refused) {
        SetSeamError(SYSERR_PATH_NOT_FOUND);
        return false;
    }
    // A host folder is the host's to keep.
    if (root.kind == BayPathKind::Host)
        return true;
    return m_state.Flush(root.pDrive->chLetter);
}

bool CBayFolderTree::PathExists(const std::wstring& strPath)
{
    const BayPath path = m_state.Resolve(strPath);
    if (path.kind == BayPathKind::Refused)
        return false;
    // A drive without a folder has a root only, and only with media in it.
    if (path.hostPath.empty())
        return path.bDriveRoot && path.pDrive->nTotalBytes != 0;
    std::error_code ec;
    return std::filesystem::exists(path.hostPath, ec);
}

bool CBayFolderTree::CopyOneFile(const std::wstring& strFrom, const std::wstring& strTo, CopyProgressRoutine routine,
                                 void* pContext, const std::atomic<int32_t>* pCancel)
{
    // A failure the copy does not name itself is the system's general one;
    // a copy that succeeds leaves no reason behind.
    SetSeamError(SYSERR_GEN_FAILURE);
    CBayFileCopy copy(m_state, strFrom, strTo);
    const bool bCopied = copy.Run(routine, pContext, pCancel);
    if (bCopied)
        TakeSeamError();
    return bCopied;
}

namespace {

class CBayFileReader : public IFileReader {
public:
    CBayFileReader(CBayState& state, wchar_t chDrive, uint32_t nSectorBytes, std::ifstream file, uint64_t nLength,
                   bool bPastCache)
        : m_state(state), m_chDrive(chDrive), m_nSectorBytes(nSectorBytes), m_file(std::move(file)),
          m_nLength(nLength), m_bPastCache(bPastCache)
    {
    }

    bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) override
    {
        nRead = 0;
        // The bay keeps no cache to go past, but the product must read as
        // Windows lets it with FILE_FLAG_NO_BUFFERING.
        if (m_bPastCache && (!IsSectorAligned(pBuffer, m_nSectorBytes) || !IsWholeSectors(nBytes, m_nSectorBytes))) {
            SetSeamError(SYSERR_INVALID_PARAMETER);
            return false;
        }
        const uint64_t nWanted = m_nPosition >= m_nLength ? 0 : std::min<uint64_t>(nBytes, m_nLength - m_nPosition);
        auto doneAt = std::chrono::steady_clock::now();
        if (m_chDrive != L'\0' && !m_state.TakeRead(m_chDrive, nWanted, doneAt))
            return false;
        m_file.clear();
        m_file.read(static_cast<char*>(pBuffer), static_cast<std::streamsize>(nWanted));
        const auto nGot = static_cast<uint64_t>(m_file.gcount());
        if (m_chDrive != L'\0' && nGot < nWanted)
            m_state.GiveBackRead(m_chDrive, nWanted - nGot);
        if (m_file.bad()) {
            SetSeamError(SYSERR_READ_FAULT);
            return false;
        }
        // The drive is still reading; no lock is held while waiting for it.
        std::this_thread::sleep_until(doneAt);
        m_nPosition += nGot;
        nRead = static_cast<uint32_t>(nGot);
        return true;
    }

private:
    CBayState& m_state;
    const wchar_t m_chDrive;   // '\0' for a host file, which reads at the host's pace and counts nowhere
    const uint32_t m_nSectorBytes;
    std::ifstream m_file;
    const uint64_t m_nLength;  // at the open
    const bool m_bPastCache;
    uint64_t m_nPosition = 0;
};

}  // namespace

std::unique_ptr<IFileReader> CBayFolderTree::OpenFileForReading(const std::wstring& strPath, bool bPastCache)
{
    const BayPath path = m_state.Resolve(strPath);
    std::error_code ec;
    if (path.kind == BayPathKind::Refused || path.hostPath.empty()) {
        SetSeamError(SYSERR_PATH_NOT_FOUND);
        return nullptr;
    }
    if (!std::filesystem::is_regular_file(path.hostPath, ec)) {
        SetSeamError(SYSERR_FILE_NOT_FOUND);
        return nullptr;
    }
    const uint64_t nLength = std::filesystem::file_size(path.hostPath, ec);
    std::ifstream file(path.hostPath, std::ios::binary);
    if (ec || !file) {
        SetSeamError(SYSERR_ACCESS_DENIED);
        return nullptr;
    }
    const bool bOnDrive = path.kind == BayPathKind::Drive;
    return std::make_unique<CBayFileReader>(m_state, bOnDrive ? path.pDrive->chLetter : L'\0',
                                            bOnDrive ? path.pDrive->nSectorBytes : BAY_DEFAULT_SECTOR_BYTES,
                                            std::move(file), nLength, bPastCache);
}
