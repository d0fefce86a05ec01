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
//                              progress:N, structure, text, done:1, done:0, error:N (FormatEx's
//                              command N, a reason such as 7 for write-protected media, given
//                              before a done:0). A done step ends the script; a script may also end
//                              without one. Default: progress 0 to 100 in steps of 10, structure
//                              three times, done:1. A FAT32 format above 32 GiB reports error:19
//                              (volume too big) and done:0, as FormatEx refuses it
//   format-step = 200          milliseconds between the format's steps (0..60000, default 0)
//   remove-after = 300M        the write that would take the drive past this many bytes (file or raw)
//                              fails and the stick is pulled out at that moment: the letter and every
//                              answer about it are gone, and volumes still open on it fail
//   corrupt-after = 300M       a worn stick: every byte written past this many bytes (counted as
//                              fail-after counts them, file or raw) is stored inverted, while every
//                              write still reports success; the bytes before the mark are stored right
//   read-speed = 30M           read speed in bytes per second, as speed is for writes; default 0,
//                              unthrottled. Reads of one drive queue, different drives read at once
//   read-fail-after = 1G       the read that would take the drive past this many bytes read fails,
//                              and every later one does, as when the stick is pulled out during a
//                              check: raw reads of an image drive, file reads of a folder drive
//                              opened for reading (not the copies taken from it)
//   write-protected = yes      yes | no (default): the stick's write-protect switch is on. Every write
//                              (file, folder or raw) fails with ERROR_WRITE_PROTECT, and FormatEx
//                              reports error:7 and done:0
//   sector-size = 4096         bytes per sector: 512 (the default), 1024, 2048 or 4096 (a 4K-native
//                              disk). Raw transfers and file reads past the cache are whole sectors
//                              at whole-sector positions from a buffer on a sector, or they fail
//   partition-offset = 1M      where the volume's partition starts on its disk (whole sectors of the
//                              drive's sector size; default 0, a stick without a partition table):
//                              what the raw volume reports, and what a FAT boot sector records as
//                              its hidden sectors
//
// Each fault fails its call with the Win32 error Windows gives for it (the
// call's seam error, platform/system_error.h): a drive pulled out
// ERROR_DEV_NOT_EXIST on what is still open on it, ERROR_FILE_NOT_FOUND for
// a new open of its volume and ERROR_PATH_NOT_FOUND for a path on it; fail-after ERROR_WRITE_FAULT; read-fail-after
// ERROR_CRC; open-refusals ERROR_SHARING_VIOLATION; lock-refusals (and a
// lock another open holds) ERROR_ACCESS_DENIED; a file that does not fit
// ERROR_DISK_FULL; a listing that breaks off ERROR_IO_DEVICE.
//
// Every drive keeps what was written to it in its cache until its volume is
// flushed (a raw volume's Flush, or the folder tree's FlushVolume): a drive
// pulled out before that (remove-after, or a test's Replug) loses it. A raw
// write's sectors then hold BAY_LOST_BYTE, and files and folders made since
// the flush are gone.
//
// "image = path" backs a drive with an image file instead of a folder; a drive
// with neither exists only for discovery. The folder or image must exist.
// Relative paths are taken from the folder of the description file.
//
// An image drive opens as a raw volume, whole, as the sector copy reads and
// writes it; its length is the image file's in whole sectors (a volume ends
// on a sector), a transfer that would cross that end fails whole and moves
// nothing, as Windows fails one past a partition's end, and raw writes take no free
// bytes (they are below the file system). Its file system counts as mounted
// until the volume is dismounted: when a volume written while mounted is
// closed, the image's first 4 KiB get back what they held before the writes,
// as the system writes its cached view of the volume over them. These keys
// need an image:
//
//   open-refusals = 2          the drive's first 2 volume opens fail, as while some program still
//                              holds a file on it
//   lock-refusals = 1          the drive's first lock fails, as while the system still flushes it
//   wrap-at = 8G               a counterfeit stick: it reports the image's full length but stores
//                              only this many bytes (more than 0), so the byte written at any offset
//                              lands at offset modulo 8G, over what was there, and a read at any
//                              offset gives what is stored at offset modulo 8G. The image file keeps
//                              its full length (sparse, if large); only its first 8G are used

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bay/bay_sector.h"
#include "platform/volume_queries.h"

enum class BayBacking { None, Folder, Image };

enum class BayFormatStepKind { Progress, Structure, Text, Done, Error };

struct BayFormatStep {
    BayFormatStepKind kind = BayFormatStepKind::Done;
    uint32_t nValue = 0;   // the percentage of Progress; 1 or 0 for Done; the command of Error

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
    std::optional<uint64_t> corruptAfterBytes;
    uint64_t nReadSpeed = 0;                  // bytes per second; 0 is as fast as the host
    std::optional<uint64_t> readFailAfterBytes;
    uint32_t nOpenRefusals = 0;
    uint32_t nLockRefusals = 0;
    bool bWriteProtected = false;
    std::optional<uint64_t> wrapAtBytes;      // never 0
    uint32_t nSectorBytes = BAY_DEFAULT_SECTOR_BYTES;
    uint64_t nPartitionOffset = 0;            // bytes, whole sectors
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
