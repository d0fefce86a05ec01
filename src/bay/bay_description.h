#pragma once
// The simulated drive bay's description: which drive letters exist and what
// the system would say about each. Read from a small UTF-8 text file (a
// byte-order mark at the start is allowed):
//
//   # a USB stick on E:, backed by a folder beside the description
//   [E:]
//   folder = sticks/e
//   type   = removable         removable | fixed | cdrom | remote | ramdisk | no-root | unknown | number
//   device = \Device\HarddiskVolume9                 (default \Device\HarddiskVolume<n>)
//   bus    = usb               usb | scsi | ata | sata | sd | nvme | unknown | number
//   media  = removable         removable | fixed | cd-rom | cd-r | cd-rw | dvd-rom | dvd-r | dvd-rw | unknown | number
//   size   = 16G               total bytes, suffix K, M, G or T (powers of 1024)
//   free   = 15G               default: the size
//   fs     = FAT32
//   label  = STICK
//   speed  = 20M               write speed in bytes per second, same syntax as size; default 0, unthrottled
//   fail-after = 300M          once this many bytes were written, the write that crosses it and every
//                              later write fails, as when the stick is pulled out
//   declare = video/big.iso 5G a file under the folder that lists and copies as this many bytes
//                              whatever it holds (repeatable; it need not exist yet; plain bytes work too)
//   format = progress:0 progress:50 text structure progress:100 done:1
//                              what FormatEx reports, in order (spaces or commas between steps);
//                              progress:N, structure, text, done:1, done:0. A done step ends the
//                              script; a script may also end without one. Default: progress 0 to 100
//                              in steps of 10, structure three times, done:1
//   format-step = 200          milliseconds between the format's steps (0..60000, default 0)
//   remove-after = 300M        the write that would take the drive past this many bytes (file or raw)
//                              fails and the stick is pulled out at that moment: the letter and every
//                              answer about it are gone, and volumes still open on it fail
//
// "image = path" backs a drive with an image file instead of a folder; a drive
// with neither exists only for discovery. The folder or image must exist.
// Relative paths are taken from the folder of the description file.
//
// An image drive opens as a raw volume, whole, as the sector copy reads and
// writes it; its length is the image file's, and raw writes take no free
// bytes (they are below the file system). Its file system counts as mounted
// until the volume is dismounted: when a volume written while mounted is
// closed, the image's first 4 KiB get back what they held before the writes,
// as the system writes its cached view of the volume over them. These keys
// need an image:
//
//   open-refusals = 2          the drive's first 2 volume opens fail, as while some program still
//                              holds a file on it
//   lock-refusals = 1          the drive's first lock fails, as while the system still flushes it
//   read-fail-after = 1G       the raw read that would take the drive past this many bytes read
//                              fails, and every later one does (same syntax as size)

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/volume_queries.h"

enum class BayBacking { None, Folder, Image };

enum class BayFormatStepKind { Progress, Structure, Text, Done };

struct BayFormatStep {
    BayFormatStepKind kind = BayFormatStepKind::Done;
    uint32_t nValue = 0;   // the percentage of Progress; 1 or 0 for Done

    bool operator==(const BayFormatStep& other) const { return kind == other.kind && nValue == other.nValue; }
};

struct BayDeclaredSize {
    std::filesystem::path relativePath;   // under the drive's folder
    uint64_t nBytes = 0;
};

struct BayDrive {
    wchar_t chLetter = L'\0';
    BayBacking backing = BayBacking::None;
    std::filesystem::path backingPath;   // absolute, lexically normal
    uint32_t nDriveType = DRIVE_KIND_REMOVABLE;
    std::wstring strDosDevice;
    uint32_t nBusType = BUS_KIND_USB;
    uint32_t nMediaType = MEDIA_KIND_REMOVABLE;
    uint64_t nTotalBytes = 0;
    uint64_t nFreeBytes = 0;
    std::wstring strFileSystem = L"FAT32";
    std::wstring strLabel;
    uint64_t nWriteSpeed = 0;                 // bytes per second; 0 is as fast as the host
    std::optional<uint64_t> failAfterBytes;
    std::optional<uint64_t> removeAfterBytes;
    uint32_t nOpenRefusals = 0;
    uint32_t nLockRefusals = 0;
    std::optional<uint64_t> readFailAfterBytes;
    std::vector<BayDeclaredSize> declaredSizes;
    std::vector<BayFormatStep> formatScript;  // the default script unless described
    uint32_t nFormatStepMs = 0;
};

struct BayDescription {
    std::vector<BayDrive> drives;   // in the order of the text
};

// The drive of that letter (either case); nullptr when the bay has none.
const BayDrive* FindBayDrive(const BayDescription& description, wchar_t chLetter);

// On failure returns false and sets strError to "line N: what is wrong".
bool ParseBayDescription(const std::string& strText, const std::filesystem::path& baseDir,
                         BayDescription& description, std::string& strError);

bool LoadBayDescription(const std::filesystem::path& file, BayDescription& description,
                        std::string& strError);
