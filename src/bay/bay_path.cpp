#include "bay/bay_path.h"

#include <algorithm>
#include <type_traits>

#include "bay/bay_text.h"
#include "platform/drive_paths.h"

BayPath ResolveBayPath(const BayDescription& description, const std::wstring& strPath)
{
    BayPath resolved;
    if (strPath.size() >= BAY_PATH_LIMIT)
        return resolved;
    const wchar_t chLetter = DriveLetterOfPath(strPath);
    const BayDrive* pDrive = chLetter == L'\0' ? nullptr : FindBayDrive(description, chLetter);
    if (pDrive == nullptr) {
        // The product joins its paths with backslashes, as Windows reads
        // them; a host whose separator is '/' must read them as separators
        // too, or "/src\\a.txt" would name one odd file.
        std::wstring strHost = strPath;
        if constexpr (std::is_same_v<std::filesystem::path::value_type, char>)
            std::replace(strHost.begin(), strHost.end(), L'\\', L'/');
        if (!PathFromWide(strHost, resolved.hostPath))
            return BayPath();
        resolved.kind = BayPathKind::Host;
        return resolved;
    }

    // Empty components and "." fall away, so the doubled backslash of
    // "E:\\a" that copies form at the top level reads as "E:\a".
    std::filesystem::path relative;
    size_t nStart = 2;
    while (nStart <= strPath.size()) {
        const size_t nEnd = std::min(strPath.find_first_of(L"\\/", nStart), strPath.size());
        const std::wstring strPart = strPath.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (strPart == L"..")
            return BayPath();
        if (strPart.empty() || strPart == L".")
            continue;
        std::filesystem::path part;
        if (!PathFromWide(strPart, part))
            return BayPath();
        relative /= part;
    }
    resolved.kind = BayPathKind::Drive;
    resolved.pDrive = pDrive;
    resolved.bDriveRoot = relative.empty();
    if (pDrive->backing == BayBacking::Folder)
        resolved.hostPath = relative.empty() ? pDrive->backingPath : pDrive->backingPath / relative;
    return resolved;
}
