#pragma once
// Real file system images for tests, made by the Linux tools (or, for
// exFAT, unpacked from tests/fixtures: no tool writes exFAT files without
// mounting), with files whose every 512-byte sector says which file and
// which sector it is, and some files deleted again so that free clusters
// hold stale data. Host only: the tools are Linux programs.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

enum ImageKind : int32_t {
    IMAGE_FAT12 = 0,
    IMAGE_FAT16,
    IMAGE_FAT32,
    IMAGE_EXFAT,
    IMAGE_NTFS,
};

struct ImageFile {
    std::string m_strPath;   // from the root, '/' between folders
    uint64_t m_nBytes = 0;
};

// What a made image holds: its live files, the others deleted.
struct ImageContent {
    std::vector<ImageFile> m_files;
};

// Sector k of the file: "CORVANTIS <path> SECTOR <k>\n", then bytes of the
// path and k; the file ends within its last sector. The same scheme as
// scripts/make-exfat-fixtures.sh.
std::string FixtureContent(const std::string& strPath, uint64_t nBytes);

// A FAT or NTFS image of nBytes with sectors and clusters of the sizes
// given, its free space first filled with stale bytes. NTFS files are all
// in the root: ntfscp makes no folders, and a "deleted" file is one
// ntfstruncate emptied, its clusters freed.
::testing::AssertionResult MakeImage(ImageKind eKind, uint32_t nSectorBytes, uint32_t nClusterBytes, int64_t nBytes,
                                     const std::filesystem::path& image, ImageContent& content);

// The exFAT fixture of that name (tests/fixtures/<name>.img.xz) unpacked,
// with the live files its manifest lists.
::testing::AssertionResult UnpackExfatFixture(const std::string& strName, const std::filesystem::path& image,
                                              ImageContent& content);

// The kind's own checker says the volume is consistent: fsck.fat -n as
// IsClean has it, fsck.exfat -n, ntfsfix -n.
::testing::AssertionResult IsConsistent(ImageKind eKind, const std::filesystem::path& image);

// Every live file reads back equal: through mtype for FAT, ntfscat for
// NTFS, and for exFAT each sector found at a sector boundary of the image.
::testing::AssertionResult FilesReadBack(ImageKind eKind, const std::filesystem::path& image,
                                         const ImageContent& content);

// nBytes of a pattern that is neither zeros, stale bytes nor any file's.
void FillDirty(const std::filesystem::path& image, int64_t nBytes);
