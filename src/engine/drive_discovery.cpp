#include "engine/drive_discovery.h"

#include <iterator>

#include "engine/storage_class.h"
#include "platform/drive_paths.h"
#include "platform/volume_queries.h"

namespace {

struct DriveRule {
    // What the rule reads; it may also read the facts of the rules above it.
    DriveFact fact;
    // The verdict on a drive that fails it.
    DriveVerdict rejection;
    bool (*pfnPasses)(const DriveFacts& facts);
};

// In this order; the first rule a drive fails turns it down, and each fact
// is asked only of drives every rule above has let through. The order is
// the cost of the questions: a network drive asked anything past its type
// can hold the scan for a network timeout, and an optical or floppy drive
// asked for its size spins up or seeks, every time the drives are scanned.
constexpr DriveRule DRIVE_RULES[] = {
    // USB sticks report removable drives and USB hard disks fixed ones.
    // Optical drives, network shares, RAM disks and letters without a root
    // are never USB storage, and the questions after this one would only
    // cost them time.
    {DRIVE_FACT_DRIVE_TYPE, DRIVE_VERDICT_WRONG_TYPE,
     [](const DriveFacts& facts) {
         return *facts.nDriveType == DRIVE_KIND_REMOVABLE || *facts.nDriveType == DRIVE_KIND_FIXED;
     }},
    // The source's drive is read for the whole run: written, it would
    // destroy what is being copied. Known without asking the device.
    {DRIVE_FACT_HOLDS_SOURCE, DRIVE_VERDICT_SOURCE, [](const DriveFacts& facts) { return !*facts.bHoldsSource; }},
    // A letter whose name leads to no device has nothing behind it to write.
    {DRIVE_FACT_DOS_DEVICE, DRIVE_VERDICT_NO_DOS_DEVICE,
     [](const DriveFacts& facts) { return *facts.bDosDeviceResolved; }},
    // A floppy drive reports a removable drive like a stick, and a USB
    // floppy drive even sits on the USB bus. Its device name
    // ("\Device\Floppy0") gives it away without the device being opened:
    // the storage queries and the size would make it seek.
    {DRIVE_FACT_DOS_DEVICE, DRIVE_VERDICT_FLOPPY,
     [](const DriveFacts& facts) { return facts.strDosDevice.find(L"\\Floppy") == std::wstring::npos; }},
    // Storage class -1: the bus could not be asked, or answered 0. Nothing
    // then says USB, and a device that does not answer its bus is not kept
    // waiting for its media as well.
    {DRIVE_FACT_BUS_TYPE, DRIVE_VERDICT_NOT_USB,
     [](const DriveFacts& facts) { return *facts.nBusType != BUS_KIND_UNKNOWN; }},
    // Only classes 1 (removable media on USB: sticks) and 16 (fixed media
    // on USB: USB hard disks). The PC's own disks on any other bus, card
    // readers on SD or other buses and optical media are never targets.
    {DRIVE_FACT_MEDIA_TYPE, DRIVE_VERDICT_NOT_USB,
     [](const DriveFacts& facts) {
         return IsWritableStorageClass(GetStorageClass(*facts.nBusType, *facts.nMediaType));
     }},
    // A total of 0 is how the system answers for a drive without media, an
    // unformatted volume or a file system it cannot read: nothing a task
    // could write to. Asked last: it is the question that makes the drive
    // read its medium.
    {DRIVE_FACT_TOTAL_BYTES, DRIVE_VERDICT_NO_VOLUME, [](const DriveFacts& facts) { return *facts.nTotalBytes != 0; }},
};

bool IsKnown(const DriveFacts& facts, DriveFact fact)
{
    switch (fact) {
    case DRIVE_FACT_DRIVE_TYPE: return facts.nDriveType.has_value();
    case DRIVE_FACT_HOLDS_SOURCE: return facts.bHoldsSource.has_value();
    case DRIVE_FACT_DOS_DEVICE: return facts.bDosDeviceResolved.has_value();
    case DRIVE_FACT_BUS_TYPE: return facts.nBusType.has_value();
    case DRIVE_FACT_MEDIA_TYPE: return facts.nMediaType.has_value();
    case DRIVE_FACT_TOTAL_BYTES: return facts.nTotalBytes.has_value();
    }
    return false;
}

void LearnFact(IVolumeQueries& volumes, int nDriveIndex, const std::wstring& strSourcePath, DriveFact fact,
               DriveFacts& facts)
{
    switch (fact) {
    case DRIVE_FACT_DRIVE_TYPE:
        facts.nDriveType = volumes.GetDriveKind(nDriveIndex);
        return;
    case DRIVE_FACT_HOLDS_SOURCE:
        facts.bHoldsSource = IsOnSourceDrive(MakeDriveDevice(nDriveIndex), strSourcePath);
        return;
    case DRIVE_FACT_DOS_DEVICE:
        facts.bDosDeviceResolved = volumes.QueryDosDevicePath(nDriveIndex, facts.strDosDevice);
        return;
    case DRIVE_FACT_BUS_TYPE:
        facts.nBusType = volumes.QueryBusType(nDriveIndex);
        return;
    case DRIVE_FACT_MEDIA_TYPE:
        facts.nMediaType = volumes.QueryMediaType(nDriveIndex);
        return;
    case DRIVE_FACT_TOTAL_BYTES:
        facts.nTotalBytes = volumes.GetVolumeTotalBytes(nDriveIndex);
        return;
    }
}

}  // namespace

bool IsOnSourceDrive(const std::wstring& strDevice, const std::wstring& strSourcePath)
{
    const wchar_t chSource = DriveLetterOfPath(strSourcePath);
    return chSource != L'\0' && chSource == DriveLetterOfPath(strDevice);
}

DriveDecision DecideDrive(const DriveFacts& facts)
{
    for (const DriveRule& rule : DRIVE_RULES) {
        if (!IsKnown(facts, rule.fact))
            return {DRIVE_VERDICT_UNDECIDED, rule.fact};
        if (!rule.pfnPasses(facts))
            return {rule.rejection, rule.fact};
    }
    return {DRIVE_VERDICT_USABLE, DRIVE_RULES[std::size(DRIVE_RULES) - 1].fact};
}

DriveVerdict ExamineDrive(IVolumeQueries& volumes, int nDriveIndex, const std::wstring& strSourcePath)
{
    DriveFacts facts;
    for (;;) {
        const DriveDecision decision = DecideDrive(facts);
        if (decision.verdict != DRIVE_VERDICT_UNDECIDED)
            return decision.verdict;
        LearnFact(volumes, nDriveIndex, strSourcePath, decision.fact, facts);
    }
}
