#include "bay/bay_folder_tree.h"

#include <algorithm>
#include <cstdint>
#include <system_error>

#include "bay/bay_file_copy.h"
#include "bay/bay_text.h"

FolderListing CBayFolderTree::ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries)
{
    entries.clear();
    const BayPath folder = m_state.Resolve(strFolder);
    std::error_code ec;
    if (folder.kind == BayPathKind::Refused || folder.hostPath.empty()
        || !std::filesystem::is_directory(folder.hostPath, ec))
        return FOLDER_NOT_LISTED;

    std::filesystem::directory_iterator it(folder.hostPath, ec);
    if (ec)
        return FOLDER_NOT_LISTED;
    std::vector<FolderEntry> listed;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        FolderEntry entry;
        // A name with no wide form fails the listing: skipping it would
        // leave a file uncopied without a word.
        if (!WideFromPath(it->path().filename(), entry.strName))
            return FOLDER_BROKEN_OFF;
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
        return FOLDER_BROKEN_OFF;
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
    // start, as FindFirstFileW refused it.
    if (const std::optional<size_t> nBreak = m_state.ListingBreak(folder.hostPath)) {
        if (*nBreak == 0 || *nBreak < entries.size()) {
            entries.clear();
            return *nBreak == 0 ? FOLDER_NOT_LISTED : FOLDER_BROKEN_OFF;
        }
    }
    return FOLDER_LISTED;
}

bool CBayFolderTree::MakeFolder(const std::wstring& strPath)
{
    const BayPath path = m_state.Resolve(strPath);
    if (path.kind == BayPathKind::Refused || path.hostPath.empty() || path.bDriveRoot)
        return false;
    if (path.kind == BayPathKind::Drive && m_state.WritesFailing(path.pDrive->chLetter))
        return false;
    std::error_code ec;
    return std::filesystem::create_directory(path.hostPath, ec) && !ec;
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
    CBayFileCopy copy(m_state, strFrom, strTo);
    return copy.Run(routine, pContext, pCancel);
}
