#pragma once
// A drive bay made of folders and image files. It answers the system's
// queries as its description says a real machine would, and its folder
// drives take writes as real sticks do: writes use up the free bytes, obey
// the file system's single-file limit, go at the drive's speed and fail (or,
// on a worn stick, land wrong) where the description injects it; its image
// drives open as raw volumes, may be pulled out mid-write and may be
// counterfeit, storing less than they report. One facade per seam works over the one
// shared, locked state, so 22 workers and the UI thread may use it at once.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bay/bay_description.h"

class IFolderTree;
class IOemText;
class IRawVolumes;
class ISystemFormatter;
class IVolumeQueries;
class CBayState;
class CBayVolumeQueries;
class CBayFolderTree;
class CBayFormatter;
class CBayRawVolumes;
class CBayOemText;
class CBayMessages;
class ISystemMessages;

// What the formatter stand-in offers: a loadable library with FormatEx, a
// library without it, or no library at all.
enum class BayFormatterPresence { Present, NoFormatEx, NoLibrary };

// One FormatEx call as the stand-in received it.
struct BayFormatCall {
    std::wstring strRoot;
    uint32_t nMediaFlag = 0;
    std::wstring strFileSystem;
    std::wstring strLabel;
    int nQuickFormat = 0;
    uint32_t nClusterSize = 0;
};

class CSimulatedBay {
public:
    explicit CSimulatedBay(BayDescription description);
    ~CSimulatedBay();

    CSimulatedBay(const CSimulatedBay&) = delete;
    CSimulatedBay& operator=(const CSimulatedBay&) = delete;

    IVolumeQueries& Volumes();
    IFolderTree& Folders();
    ISystemFormatter& Formatter();
    // The image drives as whole volumes, for the sector copy.
    IRawVolumes& RawVolumes();
    // Labels as the system's OEM code page would take them: ASCII only.
    IOemText& OemText();
    // The system's texts for the error numbers its faults give.
    ISystemMessages& Messages();

    // From now on the file at strPath (on a bay drive or on the host) lists
    // and copies as nBytes long, whatever it holds, so tests of size limits
    // write no gigabytes. Copies carry the declared size along.
    void DeclareFileSize(const std::wstring& strPath, uint64_t nBytes);

    // From now on the listing of the folder at strPath (on a bay drive or on
    // the host) gives its first nEntries entries, "." and ".." counted where
    // they are listed, and then breaks off, as on a source that goes away;
    // with 0 it cannot start, as on a device that fails.
    void BreakListingAfter(const std::wstring& strPath, size_t nEntries);

    // From now on the listing of the folder at strPath is denied, as to
    // everyone (a drive root's "System Volume Information").
    void DenyListing(const std::wstring& strPath);

    // The drive is pulled out: whatever was written to it since its volume
    // was last flushed is lost (see the description's notes), and it is gone
    // until plugged in again. Replug does both, as an operator does once a
    // drive shows its result; ReplugAll for every drive.
    void PullOut(wchar_t chLetter);
    void Replug(wchar_t chLetter);
    void ReplugAll();

    void SetFormatterPresence(BayFormatterPresence presence);
    std::vector<BayFormatCall> FormatCalls() const;

    // Bytes read from the drive so far, raw over all its opens and from its
    // files opened for reading: a sector copy reads its source exactly once,
    // and a check reads each drive back once.
    uint64_t BytesRead(wchar_t chLetter) const;
    // Bytes the drive took in writes so far, file and raw: a copy of the used
    // space writes its used chunks and nothing else.
    uint64_t BytesWritten(wchar_t chLetter) const;

private:
    std::unique_ptr<CBayState> m_pState;
    std::unique_ptr<CBayVolumeQueries> m_pVolumes;
    std::unique_ptr<CBayFolderTree> m_pFolders;
    std::unique_ptr<CBayFormatter> m_pFormatter;
    std::unique_ptr<CBayRawVolumes> m_pRawVolumes;
    std::unique_ptr<CBayOemText> m_pOemText;
    std::unique_ptr<CBayMessages> m_pMessages;
};
