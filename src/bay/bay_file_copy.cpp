#include "bay/bay_file_copy.h"

#include "platform/system_error.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

constexpr uint64_t BAY_COPY_BLOCK_BYTES = 1024 * 1024;
// A file declared terabytes long is taken in at most this many blocks, each
// larger than a MiB: a block per MiB would be millions of turns of the
// drive's lock for bytes that are never written.
constexpr uint64_t BAY_COPY_MOST_BLOCKS = 4096;

}  // namespace

CBayFileCopy::CBayFileCopy(CBayState& state, const std::wstring& strFrom, const std::wstring& strTo)
    : m_state(state), m_from(state.Resolve(strFrom)), m_to(state.Resolve(strTo))
{
}

CBayFileCopy::~CBayFileCopy()
{
    if (!m_bTargetOpened || m_bFinished)
        return;
    m_target.close();
    std::error_code ec;
    std::filesystem::remove(m_to.hostPath, ec);
    m_state.ForgetFileSize(m_to.hostPath);
    if (m_chDrive != L'\0')
        m_state.GiveBack(m_chDrive, m_nTakenBytes);
}

bool CBayFileCopy::Run(CopyProgressRoutine routine, void* pContext, const std::atomic<int32_t>* pCancel)
{
    if (!Start())
        return false;
    // CopyFileExW's answer to a copy its routine or its cancel flag stopped.
    if (routine != nullptr && routine(0, pContext) != COPY_PROGRESS_CONTINUE) {
        SetSeamError(SYSERR_REQUEST_ABORTED);
        return false;
    }
    const uint64_t nBlockBytes = std::max(BAY_COPY_BLOCK_BYTES, m_nTransferBytes / BAY_COPY_MOST_BLOCKS);
    while (m_nTransferred < m_nTransferBytes) {
        if (pCancel != nullptr && pCancel->load() == 1) {
            SetSeamError(SYSERR_REQUEST_ABORTED);
            return false;
        }
        if (!TransferBlock(std::min(nBlockBytes, m_nTransferBytes - m_nTransferred)))
            return false;
        if (routine != nullptr && routine(static_cast<int64_t>(m_nTransferred), pContext) != COPY_PROGRESS_CONTINUE) {
            SetSeamError(SYSERR_REQUEST_ABORTED);
            return false;
        }
    }
    // A source declared shorter than it is still arrives whole.
    if (!CopyRealBytesUpTo(m_nRealBytes))
        return false;
    m_target.close();
    if (m_target.fail())
        return false;
    if (m_declaredBytes)
        m_state.DeclareFileSize(m_to.hostPath, *m_declaredBytes);
    else
        m_state.ForgetFileSize(m_to.hostPath);
    m_bFinished = true;
    return true;
}

// Everything that can refuse the copy before the target is touched.
bool CBayFileCopy::Start()
{
    if (m_from.kind == BayPathKind::Refused || m_to.kind == BayPathKind::Refused || m_from.hostPath.empty()
        || m_to.hostPath.empty() || m_to.bDriveRoot) {
        SetSeamError(SYSERR_PATH_NOT_FOUND);
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(m_from.hostPath, ec)) {
        SetSeamError(SYSERR_FILE_NOT_FOUND);
        return false;
    }
    m_nRealBytes = std::filesystem::file_size(m_from.hostPath, ec);
    if (ec)
        return false;
    m_declaredBytes = m_state.DeclaredSize(m_from.hostPath);
    m_nTransferBytes = m_declaredBytes.value_or(m_nRealBytes);

    const std::filesystem::file_status target = std::filesystem::status(m_to.hostPath, ec);
    const bool bReplacing = std::filesystem::exists(target);
    if (bReplacing && !std::filesystem::is_regular_file(target))
        return false;
    // Opening the target would empty the source.
    if (bReplacing && std::filesystem::equivalent(m_from.hostPath, m_to.hostPath, ec))
        return false;
    if (!std::filesystem::is_directory(m_to.hostPath.parent_path(), ec))
        return false;
    if (m_to.kind == BayPathKind::Drive) {
        m_chDrive = m_to.pDrive->chLetter;
        if (m_to.pDrive->bWriteProtected) {
            SetSeamError(SYSERR_WRITE_PROTECT);
            return false;
        }
        if (!m_state.AdmitsFile(m_chDrive, m_nTransferBytes)) {
            SetSeamError(m_state.WritesFailing(m_chDrive) ? SYSERR_WRITE_FAULT : SYSERR_FILE_TOO_LARGE);
            return false;
        }
    }

    uint64_t nOldBytes = 0;
    if (bReplacing && !m_state.FileSize(m_to.hostPath, nOldBytes))
        return false;
    m_source.open(m_from.hostPath, std::ios::binary);
    if (!m_source)
        return false;
    m_target.open(m_to.hostPath, std::ios::binary | std::ios::trunc);
    if (!m_target)
        return false;
    m_bTargetOpened = true;
    if (m_chDrive != L'\0')
        m_state.NoteWrittenPath(m_chDrive, m_to.hostPath);
    if (bReplacing) {
        m_state.ForgetFileSize(m_to.hostPath);
        if (m_chDrive != L'\0')
            m_state.GiveBack(m_chDrive, nOldBytes);
    }
    m_buffer.resize(BAY_COPY_BLOCK_BYTES);
    return true;
}

bool CBayFileCopy::TransferBlock(uint64_t nLength)
{
    BayWriteTaken taken;
    taken.doneAt = std::chrono::steady_clock::now();
    taken.nStoredRight = nLength;
    if (m_chDrive != L'\0') {
        if (!m_state.TakeWrite(m_chDrive, nLength, BayWriteKind::File, taken))
            return false;
        m_nTakenBytes += nLength;
    }
    if (taken.nStoredRight < nLength)
        m_nStoredRightUpTo = std::min(m_nStoredRightUpTo, m_nTransferred + taken.nStoredRight);
    if (!CopyRealBytesUpTo(m_nTransferred + nLength))
        return false;
    // The drive is still writing; no lock is held while waiting for it.
    std::this_thread::sleep_until(taken.doneAt);
    m_nTransferred += nLength;
    return true;
}

bool CBayFileCopy::CopyRealBytesUpTo(uint64_t nEnd)
{
    nEnd = std::min(nEnd, m_nRealBytes);
    while (m_nRealCopied < nEnd) {
        const uint64_t nChunk = std::min<uint64_t>(m_buffer.size(), nEnd - m_nRealCopied);
        if (!m_source.read(m_buffer.data(), static_cast<std::streamsize>(nChunk)))
            return false;
        // A drive that has begun to store bytes wrong stores every later one
        // wrong, the tail of a source declared shorter than it is included.
        if (m_nStoredRightUpTo < m_nRealCopied + nChunk) {
            const uint64_t nRight = m_nStoredRightUpTo - std::min(m_nStoredRightUpTo, m_nRealCopied);
            StoreWrong(m_buffer.data() + nRight, static_cast<size_t>(nChunk - nRight));
        }
        if (!m_target.write(m_buffer.data(), static_cast<std::streamsize>(nChunk)))
            return false;
        m_nRealCopied += nChunk;
    }
    return true;
}
