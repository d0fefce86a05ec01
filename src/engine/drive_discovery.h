#pragma once
// Which drive letters a task may write. Discovery learns facts about a
// drive and a table of rules decides from them (drive_discovery.cpp): the
// decision is a pure function of the facts, so every kind of drive can be
// checked from a table of cases, without devices.
//
// The facts are learned lazily, one at a time, each only when the next rule
// needs it: DecideDrive names the fact it lacks, ExamineDrive asks the
// system for just that one and decides again. A drive is never asked more
// than it takes to turn it down, which is the whole point of the rules'
// order.

#include <cstdint>
#include <optional>
#include <string>

class IVolumeQueries;

// One fact of a drive, as the rules need them.
enum DriveFact : int {
    DRIVE_FACT_DRIVE_TYPE,
    DRIVE_FACT_HOLDS_SOURCE,
    DRIVE_FACT_DOS_DEVICE,
    DRIVE_FACT_BUS_TYPE,
    DRIVE_FACT_MEDIA_TYPE,
    DRIVE_FACT_TOTAL_BYTES,
};

// What discovery knows of one drive letter. An empty field is a fact not
// learned yet. A question the system could not answer is a fact all the
// same: the failure answer (0, or a DOS device name that does not resolve).
struct DriveFacts {
    std::optional<uint32_t> nDriveType;         // DRIVE_KIND_*
    std::optional<bool> bHoldsSource;
    // Whether the drive's DOS device name resolves; strDosDevice is what it
    // resolves to ("\Device\HarddiskVolume5").
    std::optional<bool> bDosDeviceResolved;
    std::wstring strDosDevice;
    std::optional<uint32_t> nBusType;           // BUS_KIND_*
    std::optional<uint32_t> nMediaType;         // MEDIA_KIND_*
    std::optional<uint64_t> nTotalBytes;
};

// What the rules make of a drive: usable, turned down by one of them, or
// not decided until the fact they need next is known.
enum DriveVerdict : int {
    DRIVE_VERDICT_USABLE,
    DRIVE_VERDICT_UNDECIDED,
    DRIVE_VERDICT_WRONG_TYPE,      // not a removable or fixed drive
    DRIVE_VERDICT_SOURCE,          // holds the run's source
    DRIVE_VERDICT_NO_DOS_DEVICE,   // its device name does not resolve
    DRIVE_VERDICT_FLOPPY,          // a floppy drive
    DRIVE_VERDICT_NOT_USB,         // storage class other than 1 or 16
    DRIVE_VERDICT_NO_VOLUME,       // total size 0: no readable volume
};

struct DriveDecision {
    DriveVerdict verdict;
    // The fact of the rule that decided; for an undecided drive, the fact to
    // learn next.
    DriveFact fact;
};

// True when the source path lies on the device ("E:"). Drive letters compare
// without regard to case: a source typed as "e:\data" is still on E:.
bool IsOnSourceDrive(const std::wstring& strDevice, const std::wstring& strSourcePath);

// The rules, in order, over what is known: the first that fails decides;
// a rule whose fact is not known yet stops the decision there.
DriveDecision DecideDrive(const DriveFacts& facts);

// The drive of index 0..25 examined for a run whose source is
// strSourcePath: asks the system only for the facts the rules come to need.
// Never DRIVE_VERDICT_UNDECIDED.
DriveVerdict ExamineDrive(IVolumeQueries& volumes, int nDriveIndex, const std::wstring& strSourcePath);
