#pragma once
// The simulated drive bay's description: which drive letters exist and what
// the system would say about each. Read from a small text file:
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
//
// "image = path" backs a drive with an image file instead of a folder; a drive
// with neither exists only for discovery. Relative paths are taken from the
// folder of the description file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/volume_queries.h"

enum class BayBacking { None, Folder, Image };

struct BayDrive {
    wchar_t chLetter = L'\0';
    BayBacking backing = BayBacking::None;
    std::filesystem::path backingPath;
    uint32_t nDriveType = DRIVE_KIND_REMOVABLE;
    std::wstring strDosDevice;
    uint32_t nBusType = BUS_KIND_USB;
    uint32_t nMediaType = MEDIA_KIND_REMOVABLE;
    uint64_t nTotalBytes = 0;
    uint64_t nFreeBytes = 0;
    std::wstring strFileSystem = L"FAT32";
    std::wstring strLabel;
};

struct BayDescription {
    std::vector<BayDrive> drives;   // in the order of the text
};

// On failure returns false and sets strError to "line N: what is wrong".
bool ParseBayDescription(const std::string& strText, const std::filesystem::path& baseDir,
                         BayDescription& description, std::string& strError);

bool LoadBayDescription(const std::filesystem::path& file, BayDescription& description,
                        std::string& strError);
