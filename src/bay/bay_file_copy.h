#pragma once
// One CopyOneFile over the bay, as a stick would take it: the volume's
// single-file limit is checked before anything is written, then each block
// takes its bytes from the drive's free bytes, waits for the drive's pace,
// lands wrong past a worn drive's corrupt-after, and reports progress. The
// progress routine runs with no lock held, since the product may keep a
// worker inside it for as long as an operator takes.

#include <atomic>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bay/bay_state.h"
#include "platform/folder_tree.h"

class CBayFileCopy {
public:
    CBayFileCopy(CBayState& state, const std::wstring& strFrom, const std::wstring& strTo);
    // A copy that did not finish leaves no partial file and gives its bytes back.
    ~CBayFileCopy();

    CBayFileCopy(const CBayFileCopy&) = delete;
    CBayFileCopy& operator=(const CBayFileCopy&) = delete;

    bool Run(CopyProgressRoutine routine, void* pContext, const std::atomic<int32_t>* pCancel);

private:
    bool Start();
    bool TransferBlock(uint64_t nLength);
    bool CopyRealBytesUpTo(uint64_t nEnd);

    CBayState& m_state;
    BayPath m_from;
    BayPath m_to;
    wchar_t m_chDrive = L'\0';            // the target's bay drive; '\0' for a host target
    uint64_t m_nRealBytes = 0;            // what the source holds
    std::optional<uint64_t> m_declaredBytes;
    uint64_t m_nTransferBytes = 0;        // what the copy counts: the declared size, else the real one
    uint64_t m_nTransferred = 0;
    uint64_t m_nRealCopied = 0;
    uint64_t m_nTakenBytes = 0;           // from the target drive's free bytes
    uint64_t m_nStoredRightUpTo = UINT64_MAX;   // a worn drive stores the file's bytes from here on wrong
    std::ifstream m_source;
    std::ofstream m_target;
    std::vector<char> m_buffer;
    bool m_bTargetOpened = false;
    bool m_bFinished = false;
};
