#include "bay/bay_state.h"

#include "platform/system_error.h"
#include "platform/system_formatter.h"

#include <algorithm>
#include <cwctype>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// What the simulated volumes take as one file, whatever the product thinks:
// these are the volumes' own rules.
constexpr uint64_t BAY_FAT32_FILE_LIMIT = 4294967295ull;
constexpr uint64_t BAY_FAT16_FILE_LIMIT = 2147483647ull;

std::wstring Upper(std::wstring str)
{
    std::transform(str.begin(), str.end(), str.begin(),
                   [](wchar_t ch) { return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(ch))); });
    return str;
}

uint64_t SingleFileLimit(const std::wstring& strFileSystem)
{
    const std::wstring strUpper = Upper(strFileSystem);
    if (strUpper == L"FAT32")
        return BAY_FAT32_FILE_LIMIT;
    if (strUpper == L"FAT" || strUpper == L"FAT12" || strUpper == L"FAT16")
        return BAY_FAT16_FILE_LIMIT;
    return UINT64_MAX;
}

// FormatEx creates no FAT32 volume larger than this, however large the
// cluster it is asked for.
constexpr uint64_t BAY_FORMATEX_FAT32_LIMIT = 32ull << 30;

bool StandInFormats(const std::wstring& strFileSystem, uint64_t nVolumeBytes)
{
    const std::wstring strUpper = Upper(strFileSystem);
    if (strUpper == L"FAT32")
        return nVolumeBytes <= BAY_FORMATEX_FAT32_LIMIT;
    return strUpper == L"FAT" || strUpper == L"NTFS" || strUpper == L"EXFAT";
}

std::filesystem::path NormalKey(const std::filesystem::path& path)
{
    return path.lexically_normal();
}

bool IsUnder(const std::filesystem::path& path, const std::filesystem::path& folder)
{
    return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first == folder.end();
}

// How long a drive takes over nBytes at nSpeed bytes per second.
std::chrono::steady_clock::duration TransferTime(uint64_t nBytes, uint64_t nSpeed)
{
    const std::chrono::duration<double> seconds(static_cast<double>(nBytes) / static_cast<double>(nSpeed));
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(seconds);
}

}  // namespace

void StoreWrong(char* pBytes, size_t nBytes)
{
    for (size_t i = 0; i < nBytes; ++i)
        pBytes[i] = static_cast<char>(~static_cast<unsigned char>(pBytes[i]));
}

CBayState::CBayState(BayDescription description) : m_description(std::move(description))
{
    for (const BayDrive& drive : m_description.drives) {
        DriveNow& now = m_drives[drive.chLetter];
        now.nFreeBytes = drive.nFreeBytes;
        now.strFileSystem = drive.strFileSystem;
        now.strLabel = drive.strLabel;
        now.nOpenRefusalsLeft = drive.nOpenRefusals;
        now.nLockRefusalsLeft = drive.nLockRefusals;
        for (const BayDeclaredSize& declared : drive.declaredSizes)
            m_declaredSizes[NormalKey(drive.backingPath / declared.relativePath)] = declared.nBytes;
    }
}

BayPath CBayState::Resolve(const std::wstring& strPath) const
{
    const BayPath path = ResolveBayPath(m_description, strPath);
    if (path.kind == BayPathKind::Drive && PresentDrive(path.pDrive->chLetter) == nullptr)
        return BayPath();
    return path;
}

const BayDrive* CBayState::PresentDrive(wchar_t chLetter) const
{
    const BayDrive* pDrive = FindBayDrive(m_description, chLetter);
    if (pDrive == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    return FindNow(pDrive->chLetter)->bRemoved ? nullptr : pDrive;
}

const BayDrive* CBayState::PresentDriveOfDevice(const std::wstring& strDevice) const
{
    if (strDevice.size() < 2 || strDevice[1] != L':' || (strDevice.size() > 2 && strDevice.substr(2) != L"\\"))
        return nullptr;
    return PresentDrive(strDevice[0]);
}

CBayState::DriveNow* CBayState::FindNow(wchar_t chLetter)
{
    const auto it = m_drives.find(chLetter);
    return it == m_drives.end() ? nullptr : &it->second;
}

const CBayState::DriveNow* CBayState::FindNow(wchar_t chLetter) const
{
    const auto it = m_drives.find(chLetter);
    return it == m_drives.end() ? nullptr : &it->second;
}

uint64_t CBayState::FreeBytes(wchar_t chLetter) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const DriveNow* pNow = FindNow(chLetter);
    // A volume without a file system cannot be asked, as on Windows.
    return pNow != nullptr && !pNow->strFileSystem.empty() ? pNow->nFreeBytes : 0;
}

bool CBayState::FileSystemName(wchar_t chLetter, std::wstring& strName) const
{
    const BayDrive* pDrive = FindBayDrive(m_description, chLetter);
    if (pDrive == nullptr || pDrive->nTotalBytes == 0)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    const DriveNow* pNow = FindNow(pDrive->chLetter);
    if (pNow->strFileSystem.empty())
        return false;
    strName = pNow->strFileSystem;
    return true;
}

bool CBayState::VolumeLabel(wchar_t chLetter, std::wstring& strLabel) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const DriveNow* pNow = FindNow(chLetter);
    if (pNow == nullptr)
        return false;
    strLabel = pNow->strLabel;
    return true;
}

void CBayState::DeclareFileSize(const std::filesystem::path& hostPath, uint64_t nBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_declaredSizes[NormalKey(hostPath)] = nBytes;
}

void CBayState::ForgetFileSize(const std::filesystem::path& hostPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_declaredSizes.erase(NormalKey(hostPath));
}

std::optional<uint64_t> CBayState::DeclaredSize(const std::filesystem::path& hostPath) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_declaredSizes.find(NormalKey(hostPath));
    return it == m_declaredSizes.end() ? std::nullopt : std::optional<uint64_t>(it->second);
}

bool CBayState::FileSize(const std::filesystem::path& hostPath, uint64_t& nBytes) const
{
    if (const std::optional<uint64_t> declared = DeclaredSize(hostPath)) {
        nBytes = *declared;
        return true;
    }
    std::error_code ec;
    nBytes = std::filesystem::file_size(hostPath, ec);
    return !ec;
}

void CBayState::BreakListingAfter(const std::filesystem::path& hostPath, size_t nEntries)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listingBreaks[NormalKey(hostPath)] = nEntries;
}

std::optional<size_t> CBayState::ListingBreak(const std::filesystem::path& hostPath) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_listingBreaks.find(NormalKey(hostPath));
    return it == m_listingBreaks.end() ? std::nullopt : std::optional<size_t>(it->second);
}

void CBayState::DenyListing(const std::filesystem::path& hostPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deniedListings.insert(NormalKey(hostPath));
}

bool CBayState::ListingDenied(const std::filesystem::path& hostPath) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_deniedListings.count(NormalKey(hostPath)) != 0;
}

void CBayState::NoteRawWrite(wchar_t chLetter, uint64_t nOffset, uint64_t nBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow* pNow = FindNow(chLetter);
    if (pNow == nullptr || nBytes == 0)
        return;
    // Runs that touch merge, so a copy from the start keeps one run.
    std::map<uint64_t, uint64_t>& runs = pNow->unflushed.rawRuns;
    uint64_t nStart = nOffset;
    uint64_t nEnd = nOffset + nBytes;
    auto it = runs.upper_bound(nStart);
    if (it != runs.begin() && std::prev(it)->second >= nStart)
        --it;
    while (it != runs.end() && it->first <= nEnd) {
        nStart = std::min(nStart, it->first);
        nEnd = std::max(nEnd, it->second);
        it = runs.erase(it);
    }
    runs[nStart] = nEnd;
}

void CBayState::NoteWrittenPath(wchar_t chLetter, const std::filesystem::path& hostPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (DriveNow* pNow = FindNow(chLetter))
        pNow->unflushed.paths.push_back(NormalKey(hostPath));
}

bool CBayState::Flush(wchar_t chLetter)
{
    const auto doneAt = WritesDoneAt(chLetter);
    // The drive is still writing; no lock is held while waiting for it.
    std::this_thread::sleep_until(doneAt);
    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow* pNow = FindNow(chLetter);
    if (pNow == nullptr || pNow->bRemoved) {
        SetSeamError(SYSERR_DEV_NOT_EXIST);
        return false;
    }
    if (pNow->bWritesFailing) {
        SetSeamError(SYSERR_WRITE_FAULT);
        return false;
    }
    pNow->unflushed = BayUnflushed();
    return true;
}

BayUnflushed CBayState::PullOut(wchar_t chLetter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow* pNow = FindNow(chLetter);
    if (pNow == nullptr)
        return BayUnflushed();
    pNow->bRemoved = true;
    return std::exchange(pNow->unflushed, BayUnflushed());
}

void CBayState::PlugIn(wchar_t chLetter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (DriveNow* pNow = FindNow(chLetter)) {
        pNow->bRemoved = false;
        pNow->bLocked = false;
    }
}

bool CBayState::WritesFailing(wchar_t chLetter) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const DriveNow* pNow = FindNow(chLetter);
    return pNow != nullptr && pNow->bWritesFailing;
}

bool CBayState::AdmitsFile(wchar_t chLetter, uint64_t nBytes) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const DriveNow* pNow = FindNow(chLetter);
    return pNow != nullptr && !pNow->bWritesFailing && nBytes <= SingleFileLimit(pNow->strFileSystem);
}

bool CBayState::TakeWrite(wchar_t chLetter, uint64_t nBytes, BayWriteKind kind, BayWriteTaken& taken)
{
    const BayDrive* pDrive = FindBayDrive(m_description, chLetter);
    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow* pNow = FindNow(chLetter);
    if (pDrive == nullptr || pNow == nullptr || pNow->bRemoved) {
        SetSeamError(SYSERR_DEV_NOT_EXIST);
        return false;
    }
    if (pDrive->bWriteProtected) {
        SetSeamError(SYSERR_WRITE_PROTECT);
        return false;
    }
    if (pNow->bWritesFailing) {
        SetSeamError(SYSERR_WRITE_FAULT);
        return false;
    }
    if (pDrive->removeAfterBytes && pNow->nBytesWritten + nBytes > *pDrive->removeAfterBytes) {
        pNow->bRemoved = true;
        pNow->bWritesFailing = true;
        SetSeamError(SYSERR_DEV_NOT_EXIST);
        return false;
    }
    if (pDrive->failAfterBytes && pNow->nBytesWritten + nBytes > *pDrive->failAfterBytes) {
        pNow->bWritesFailing = true;
        SetSeamError(SYSERR_WRITE_FAULT);
        return false;
    }
    if (kind == BayWriteKind::File) {
        if (nBytes > pNow->nFreeBytes) {
            SetSeamError(SYSERR_DISK_FULL);
            return false;
        }
        pNow->nFreeBytes -= nBytes;
    }
    // A worn drive takes every write as a good one does; only what it
    // stores past its mark differs.
    taken.nStoredRight = nBytes;
    if (pDrive->corruptAfterBytes) {
        const uint64_t nMark = *pDrive->corruptAfterBytes;
        taken.nStoredRight = std::min(nBytes, nMark - std::min(nMark, pNow->nBytesWritten));
    }
    pNow->nBytesWritten += nBytes;

    // The drive works through its writes one after another at its own pace;
    // a writer that comes late (it was busy reading) does not make up time.
    // As the system's write cache does for a real stick, the writer may go on
    // while the drive still has up to BAY_WRITE_BACK_BYTES of earlier writes
    // to do, so opening the next file overlaps the drive's work.
    const auto now = std::chrono::steady_clock::now();
    if (pDrive->nWriteSpeed == 0) {
        taken.doneAt = now;
        return true;
    }
    pNow->busyUntil = std::max(now, pNow->busyUntil) + TransferTime(nBytes, pDrive->nWriteSpeed);
    taken.doneAt = pNow->busyUntil
                   - TransferTime(kind == BayWriteKind::Raw ? BAY_RAW_WRITE_BACK_BYTES : BAY_WRITE_BACK_BYTES,
                                  pDrive->nWriteSpeed);
    return true;
}

std::chrono::steady_clock::time_point CBayState::WritesDoneAt(wchar_t chLetter) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const DriveNow* pNow = FindNow(chLetter);
    return pNow != nullptr ? pNow->busyUntil : std::chrono::steady_clock::time_point();
}

void CBayState::GiveBack(wchar_t chLetter, uint64_t nBytes)
{
    const BayDrive* pDrive = FindBayDrive(m_description, chLetter);
    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow* pNow = FindNow(chLetter);
    if (pDrive == nullptr || pNow == nullptr)
        return;
    // A file that was there before the bay started was never charged.
    pNow->nFreeBytes += std::min(nBytes, pDrive->nTotalBytes - pNow->nFreeBytes);
}

bool CBayState::AdmitOpen(wchar_t chLetter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow* pNow = FindNow(chLetter);
    if (pNow == nullptr || pNow->bRemoved) {
        SetSeamError(SYSERR_FILE_NOT_FOUND);
        return false;
    }
    // Another program holds a file on the volume, which the open's share
    // mode cannot admit.
    if (pNow->nOpenRefusalsLeft > 0) {
        --pNow->nOpenRefusalsLeft;
        SetSeamError(SYSERR_SHARING_VIOLATION);
        return false;
    }
    return true;
}

bool CBayState::TakeLock(wchar_t chLetter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow* pNow = FindNow(chLetter);
    if (pNow == nullptr || pNow->bRemoved) {
        SetSeamError(SYSERR_DEV_NOT_EXIST);
        return false;
    }
    // FSCTL_LOCK_VOLUME refuses while files are open on the volume.
    if (pNow->nLockRefusalsLeft > 0) {
        --pNow->nLockRefusalsLeft;
        SetSeamError(SYSERR_ACCESS_DENIED);
        return false;
    }
    if (pNow->bLocked) {
        SetSeamError(SYSERR_ACCESS_DENIED);
        return false;
    }
    pNow->bLocked = true;
    return true;
}

void CBayState::ReleaseLock(wchar_t chLetter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (DriveNow* pNow = FindNow(chLetter))
        pNow->bLocked = false;
}

bool CBayState::TakeRead(wchar_t chLetter, uint64_t nBytes, std::chrono::steady_clock::time_point& doneAt)
{
    const BayDrive* pDrive = FindBayDrive(m_description, chLetter);
    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow* pNow = FindNow(chLetter);
    if (pDrive == nullptr || pNow == nullptr || pNow->bRemoved) {
        SetSeamError(SYSERR_DEV_NOT_EXIST);
        return false;
    }
    // A medium that gives back what it cannot read.
    if (pNow->bReadsFailing) {
        SetSeamError(SYSERR_CRC);
        return false;
    }
    if (pDrive->readFailAfterBytes && pNow->nBytesRead + nBytes > *pDrive->readFailAfterBytes) {
        pNow->bReadsFailing = true;
        SetSeamError(SYSERR_CRC);
        return false;
    }
    pNow->nBytesRead += nBytes;

    // A read wants all its bytes before the reader goes on: nothing is
    // read ahead, so the reader waits for the whole of it.
    const auto now = std::chrono::steady_clock::now();
    if (pDrive->nReadSpeed == 0) {
        doneAt = now;
        return true;
    }
    pNow->readBusyUntil = std::max(now, pNow->readBusyUntil) + TransferTime(nBytes, pDrive->nReadSpeed);
    doneAt = pNow->readBusyUntil;
    return true;
}

std::chrono::steady_clock::time_point CBayState::ReadsDoneAt(wchar_t chLetter) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const DriveNow* pNow = FindNow(chLetter);
    return pNow != nullptr ? pNow->readBusyUntil : std::chrono::steady_clock::time_point();
}

void CBayState::GiveBackRead(wchar_t chLetter, uint64_t nBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (DriveNow* pNow = FindNow(chLetter))
        pNow->nBytesRead -= std::min(nBytes, pNow->nBytesRead);
}

uint64_t CBayState::BytesRead(wchar_t chLetter) const
{
    const BayDrive* pDrive = FindBayDrive(m_description, chLetter);
    if (pDrive == nullptr)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    return FindNow(pDrive->chLetter)->nBytesRead;
}

uint64_t CBayState::BytesWritten(wchar_t chLetter) const
{
    const BayDrive* pDrive = FindBayDrive(m_description, chLetter);
    if (pDrive == nullptr)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    return FindNow(pDrive->chLetter)->nBytesWritten;
}

void CBayState::SetFormatterPresence(BayFormatterPresence presence)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_formatterPresence = presence;
}

BayFormatterPresence CBayState::FormatterPresence() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_formatterPresence;
}

void CBayState::RecordFormatCall(const BayFormatCall& call)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_formatCalls.push_back(call);
}

std::vector<BayFormatCall> CBayState::FormatCalls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_formatCalls;
}

BayFormatPlan CBayState::PlanFormat(const std::wstring& strRoot, const std::wstring& strFileSystem) const
{
    BayFormatPlan plan;
    plan.script = {{BayFormatStepKind::Done, 0}};
    const BayPath root = Resolve(strRoot);
    if (root.kind != BayPathKind::Drive || !root.bDriveRoot || root.pDrive->backing != BayBacking::Folder
        || WritesFailing(root.pDrive->chLetter))
        return plan;
    // FormatEx says why before it reports the failure.
    if (root.pDrive->bWriteProtected) {
        plan.script = {{BayFormatStepKind::Error, FMIFS_WRITE_PROTECTED}, {BayFormatStepKind::Done, 0}};
        return plan;
    }
    if (!StandInFormats(strFileSystem, root.pDrive->nTotalBytes)) {
        if (Upper(strFileSystem) == L"FAT32")
            plan.script = {{BayFormatStepKind::Error, FMIFS_VOLUME_TOO_BIG}, {BayFormatStepKind::Done, 0}};
        return plan;
    }
    plan.script = root.pDrive->formatScript;
    plan.stepPause = std::chrono::milliseconds(root.pDrive->nFormatStepMs);
    return plan;
}

void CBayState::ApplyFormat(const std::wstring& strRoot, const std::wstring& strFileSystem,
                            const std::wstring& strLabel)
{
    const BayPath root = Resolve(strRoot);
    if (root.kind != BayPathKind::Drive || !root.bDriveRoot || root.pDrive->backing != BayBacking::Folder)
        return;
    // The folder stands for the volume's root, which a format keeps.
    // Listed first: removing while the listing runs may skip entries.
    std::vector<std::filesystem::path> contents;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(root.hostPath, ec), end; !ec && it != end; it.increment(ec))
        contents.push_back(it->path());
    for (const std::filesystem::path& entry : contents)
        std::filesystem::remove_all(entry, ec);

    std::lock_guard<std::mutex> lock(m_mutex);
    DriveNow& now = *FindNow(root.pDrive->chLetter);
    now.strFileSystem = strFileSystem;
    now.strLabel = strLabel;
    now.nFreeBytes = root.pDrive->nTotalBytes;
    now.nBytesWritten = 0;
    now.bWritesFailing = false;
    // FormatEx returns once the new volume is on the medium.
    now.unflushed = BayUnflushed();
    for (auto it = m_declaredSizes.begin(); it != m_declaredSizes.end();)
        it = IsUnder(it->first, root.pDrive->backingPath) ? m_declaredSizes.erase(it) : std::next(it);
}
