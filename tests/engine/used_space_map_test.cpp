// The used-space map over real images made by the Linux tools: a copy of
// the marked chunks alone onto a dirty target is the same volume.

#include "engine/used_space_map.h"

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "support/file_system_images.h"
#include "support/file_system_tools.h"
#include "support/test_files.h"

namespace {

constexpr int64_t CHUNK = 64 * 1024;
constexpr int64_t MIB = 1024 * 1024;

// A volume in memory; reads outside it fail, as a device's would.
struct CImageReader {
    const std::string& m_strImage;
    int m_nFailAt = -1;   // the read that fails, counting from 0
    int m_nReads = 0;

    bool operator()(int64_t nOffset, uint32_t nBytes, uint8_t* pOut)
    {
        if (m_nReads++ == m_nFailAt || nOffset < 0 || nOffset + nBytes > int64_t(m_strImage.size()))
            return false;
        std::memcpy(pOut, m_strImage.data() + nOffset, nBytes);
        return true;
    }
};

UsedSpaceResult Map(const std::string& strImage, CChunkMap& map, UsedSpaceKind* pKind = nullptr, int nFailAt = -1)
{
    CImageReader reader{strImage, nFailAt};
    return MapUsedChunks(std::ref(reader), int64_t(strImage.size()), CHUNK, map, pKind);
}

struct ImageCase {
    const char* pszName;
    ImageKind eKind;
    uint32_t nSectorBytes;
    uint32_t nClusterBytes;
    int64_t nBytes;
    const char* pszFixture;   // exFAT: from tests/fixtures
    UsedSpaceKind eFound;
};

const ImageCase IMAGE_CASES[] = {
    {"FAT12, 2 KiB clusters across chunk boundaries", IMAGE_FAT12, 512, 2048, 4 * MIB + 3 * 512, nullptr,
     USED_SPACE_FAT12},
    {"FAT12, 4K sectors, 128 KiB clusters", IMAGE_FAT12, 4096, 131072, 16 * MIB + 3 * 4096, nullptr, USED_SPACE_FAT12},
    {"FAT16, 2 KiB clusters", IMAGE_FAT16, 512, 2048, 16 * MIB + 3 * 512, nullptr, USED_SPACE_FAT16},
    {"FAT16, 4K sectors", IMAGE_FAT16, 4096, 4096, 32 * MIB + 3 * 4096, nullptr, USED_SPACE_FAT16},
    {"FAT32, 512-byte clusters", IMAGE_FAT32, 512, 512, 40 * MIB + 3 * 512, nullptr, USED_SPACE_FAT32},
    {"exFAT, 4 KiB clusters", IMAGE_EXFAT, 512, 4096, 0, "exfat-512-4k", USED_SPACE_EXFAT},
    {"exFAT, 4K sectors, 128 KiB clusters", IMAGE_EXFAT, 4096, 131072, 0, "exfat-4096-128k", USED_SPACE_EXFAT},
    {"NTFS, 512-byte clusters", IMAGE_NTFS, 512, 512, 24 * MIB + 3 * 512, nullptr, USED_SPACE_NTFS},
    {"NTFS, 4K sectors, 128 KiB clusters", IMAGE_NTFS, 4096, 131072, 24 * MIB + 3 * 4096, nullptr, USED_SPACE_NTFS},
};

// A dirty target of the source's length that gets the marked chunks alone.
void CopyMarkedChunks(const CChunkMap& map, const std::string& strSource, const std::filesystem::path& target)
{
    FillDirty(target, int64_t(strSource.size()));
    for (int64_t n = map.NextMarked(0); n < map.ChunkCount(); n = map.NextMarked(n + 1))
        WriteBytesAt(target, uint64_t(map.ChunkOffset(n)),
                     strSource.substr(size_t(map.ChunkOffset(n)), size_t(map.ChunkLength(n))));
}

::testing::AssertionResult MakeCase(const ImageCase& c, const std::filesystem::path& image, ImageContent& content)
{
    if (c.pszFixture != nullptr)
        return UnpackExfatFixture(c.pszFixture, image, content);
    return MakeImage(c.eKind, c.nSectorBytes, c.nClusterBytes, c.nBytes, image, content);
}

TEST(UsedSpaceMapTest, TheMarkedChunksAloneMakeTheSameVolumeOnADirtyTarget)
{
    for (const ImageCase& c : IMAGE_CASES) {
        SCOPED_TRACE(c.pszName);
        CTempFolder folder;
        const std::filesystem::path source = folder.Path() / "source.img";
        ImageContent content;
        ASSERT_TRUE(MakeCase(c, source, content));
        ASSERT_TRUE(IsConsistent(c.eKind, source));
        ASSERT_TRUE(FilesReadBack(c.eKind, source, content));
        const std::string strSource = ReadTestFile(source);
        ASSERT_NE(0, strSource.size() % CHUNK) << "the last chunk is to be a short one";

        CChunkMap map;
        UsedSpaceKind eKind = USED_SPACE_UNKNOWN;
        ASSERT_EQ(USED_SPACE_MAPPED, Map(strSource, map, &eKind));
        EXPECT_EQ(c.eFound, eKind);
        EXPECT_TRUE(map.IsMarked(0));
        EXPECT_LT(map.MarkedBytes(), int64_t(strSource.size()) * 3 / 4);

        const std::filesystem::path target = folder.Path() / "target.img";
        CopyMarkedChunks(map, strSource, target);
        EXPECT_TRUE(IsConsistent(c.eKind, target));
        EXPECT_TRUE(FilesReadBack(c.eKind, target, content));
        // The last chunk, where NTFS keeps its backup boot sector: the tools'
        // checks above pass without it.
        const size_t nLast = strSource.size() - c.nSectorBytes;
        EXPECT_EQ(strSource.substr(nLast), ReadBytesAt(target, nLast, c.nSectorBytes)) << "the volume's last sector";
    }
}

// Little-endian fields patched into a real image.
std::string Le(uint64_t nValue, size_t nBytes)
{
    std::string str;
    for (size_t i = 0; i < nBytes; ++i)
        str += char(nValue >> (8 * i) & 0xFF);
    return str;
}

uint64_t LeAt(const std::string& strImage, size_t nAt, size_t nBytes)
{
    uint64_t n = 0;
    for (size_t i = 0; i < nBytes; ++i)
        n |= uint64_t(uint8_t(strImage[nAt + i])) << (8 * i);
    return n;
}

// Where $Bitmap's run list starts in the image: its MFT record's unnamed
// $DATA, found by the attributes' types and lengths.
size_t NtfsBitmapRuns(const std::string& strImage, size_t* pAttributeEnd = nullptr)
{
    const uint64_t nCluster = LeAt(strImage, 11, 2) * uint8_t(strImage[13]);
    const int8_t nPerRecord = int8_t(strImage[0x40]);
    const uint64_t nRecordBytes = nPerRecord > 0 ? nPerRecord * nCluster : uint64_t(1) << -nPerRecord;
    const size_t nRecord = size_t(LeAt(strImage, 0x30, 8) * nCluster + 6 * nRecordBytes);
    size_t nAttr = nRecord + LeAt(strImage, nRecord + 0x14, 2);
    while (LeAt(strImage, nAttr, 4) != 0x80)
        nAttr += LeAt(strImage, nAttr + 4, 4);
    if (pAttributeEnd != nullptr)
        *pAttributeEnd = nAttr + LeAt(strImage, nAttr + 4, 4);
    return nAttr + LeAt(strImage, nAttr + 0x20, 2);
}

// exFAT's first Allocation Bitmap entry in the root directory.
size_t ExfatBitmapEntry(const std::string& strImage)
{
    const uint64_t nSector = uint64_t(1) << uint8_t(strImage[108]);
    const uint64_t nCluster = nSector << uint8_t(strImage[109]);
    size_t nEntry = size_t(LeAt(strImage, 88, 4) * nSector + (LeAt(strImage, 96, 4) - 2) * nCluster);
    while (uint8_t(strImage[nEntry]) != 0x81)
        nEntry += 32;
    return nEntry;
}

struct Patch {
    const char* pszName;
    ImageCase image;
    // The image's bytes to change, given the image.
    std::function<void(std::string&)> patch;
    UsedSpaceResult eResult;
};

TEST(UsedSpaceMapTest, StructuresThatDoNotAddUpGiveTheWholeVolume)
{
    const ImageCase& fat16 = IMAGE_CASES[2];
    const ImageCase& fat32 = IMAGE_CASES[4];
    const ImageCase& exfat = IMAGE_CASES[5];
    const ImageCase& ntfs = IMAGE_CASES[7];
    const Patch patches[] = {
        {"FAT32 TotSec32 past the volume's end", fat32,
         [](std::string& s) { s.replace(32, 4, Le(s.size() / 512 + 1, 4)); }, USED_SPACE_WHOLE},
        {"FAT16 FATSz16 too small for its clusters", fat16, [](std::string& s) { s.replace(22, 2, Le(1, 2)); },
         USED_SPACE_WHOLE},
        {"FAT16 no root directory entries", fat16, [](std::string& s) { s.replace(17, 2, Le(0, 2)); },
         USED_SPACE_WHOLE},
        {"FAT16 no jump", fat16, [](std::string& s) { s[0] = 0; }, USED_SPACE_WHOLE},
        {"exFAT bitmap shorter than the cluster count", exfat,
         [](std::string& s) { s.replace(ExfatBitmapEntry(s) + 24, 8, Le((LeAt(s, 92, 4) + 7) / 8 - 1, 8)); },
         USED_SPACE_WHOLE},
        {"exFAT ClusterCount past the volume", exfat,
         [](std::string& s) { s.replace(92, 4, Le(LeAt(s, 92, 4) + 1000, 4)); }, USED_SPACE_WHOLE},
        {"exFAT root directory chained into itself", exfat,
         [](std::string& s) {
             const size_t nRoot = size_t(LeAt(s, 96, 4));
             s.replace(size_t((LeAt(s, 80, 4) << uint8_t(s[108])) + nRoot * 4), 4, Le(nRoot, 4));
             // The directory's end marker gone, so the walk follows the chain.
             const size_t nEnd = ExfatBitmapEntry(s) + 64;
             for (size_t i = nEnd; i < nEnd + 4096 - 96; i += 32)
                 s[i] = char(0xC0);
         },
         USED_SPACE_WHOLE},
        {"NTFS $Bitmap run past the volume", ntfs,
         [](std::string& s) {
             const size_t nRuns = NtfsBitmapRuns(s);
             s.replace(nRuns + 2, 4, Le(60000, 3) + std::string(1, '\0'));
             s[nRuns] = '\x31';
         },
         USED_SPACE_WHOLE},
        // Each keeps the run's own length, one byte in mkntfs's list. Signed,
        // this offset goes 16 clusters before cluster 0; unsigned, it would
        // be inside the volume.
        {"NTFS $Bitmap run before cluster 0", ntfs,
         [](std::string& s) {
             const size_t nRuns = NtfsBitmapRuns(s);
             s.replace(nRuns + 2, 2, std::string("\xF0\0", 2));
             s[nRuns] = '\x11';
         },
         USED_SPACE_WHOLE},
        {"NTFS $Bitmap sparse run", ntfs, [](std::string& s) { s[NtfsBitmapRuns(s)] = '\x01'; },
         USED_SPACE_WHOLE},
        {"NTFS update sequence torn", ntfs,
         [](std::string& s) {
             const size_t nRecord = NtfsBitmapRuns(s) & ~size_t(511);
             s[nRecord + 1022] = char(s[nRecord + 1022] ^ 0x55);
         },
         USED_SPACE_WHOLE},
        {"zeros", fat16, [](std::string& s) { s.replace(0, 65536, 65536, '\0'); }, USED_SPACE_WHOLE},
        {"ext4's superblock, no boot sector", fat16,
         [](std::string& s) {
             s.replace(0, 2048, 2048, '\0');
             s.replace(1024 + 0x38, 2, "\x53\xEF");
         },
         USED_SPACE_WHOLE},
        {"random first sector", fat16,
         [](std::string& s) {
             for (size_t i = 0; i < 512; ++i)
                 s[i] = char((i * 2654435761u) >> 13);
         },
         USED_SPACE_WHOLE},
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE(p.pszName);
        CTempFolder folder;
        ImageContent content;
        ASSERT_TRUE(MakeCase(p.image, folder.Path() / "source.img", content));
        std::string strImage = ReadTestFile(folder.Path() / "source.img");
        CChunkMap map;
        ASSERT_EQ(USED_SPACE_MAPPED, Map(strImage, map)) << "before the patch";
        p.patch(strImage);
        EXPECT_EQ(p.eResult, Map(strImage, map));
        EXPECT_EQ(map.ChunkCount(), map.MarkedChunks()) << "a map that is not mapped copies everything";
    }
}

// A file's runs need not ascend: each run's start is a signed distance from
// the previous one's. Here $Bitmap's two halves change places on the volume
// and its run list says so, the second run pointing back before the first.
TEST(UsedSpaceMapTest, ARunBeforeThePreviousOneIsReadWhereItPoints)
{
    const ImageCase& c = IMAGE_CASES[7];
    CTempFolder folder;
    const std::filesystem::path source = folder.Path() / "source.img";
    ImageContent content;
    ASSERT_TRUE(MakeCase(c, source, content));
    std::string strImage = ReadTestFile(source);

    size_t nAttributeEnd = 0;
    const size_t nRuns = NtfsBitmapRuns(strImage, &nAttributeEnd);
    const uint8_t nHeader = uint8_t(strImage[nRuns]);
    const size_t nLengthBytes = nHeader & 0x0F, nOffsetBytes = nHeader >> 4;
    const uint64_t nClusters = LeAt(strImage, nRuns + 1, nLengthBytes);
    const uint64_t nStart = LeAt(strImage, nRuns + 1 + nLengthBytes, nOffsetBytes);
    ASSERT_EQ(0, strImage[nRuns + 1 + nLengthBytes + nOffsetBytes]) << "one run, as mkntfs makes it";
    ASSERT_GE(nClusters, 4u);
    ASSERT_LE(nClusters, 128u) << "the run back fits one byte";
    const uint64_t nFirst = nClusters / 2, nSecond = nClusters - nFirst;
    ASSERT_LT(nStart + nSecond, uint64_t(1) << (8 * nOffsetBytes - 1)) << "the first run's start stays positive";

    const std::string strRuns = std::string(1, char(nOffsetBytes << 4 | 1)) + Le(nFirst, 1)
        + Le(nStart + nSecond, nOffsetBytes) + "\x11" + Le(nSecond, 1) + Le(256 - nSecond, 1) + std::string(1, '\0');
    ASSERT_LE(nRuns + strRuns.size(), nAttributeEnd) << "the new run list fits the attribute";
    const size_t nRecord = nRuns & ~size_t(511);
    ASSERT_LT(nRuns + strRuns.size(), nRecord + 510) << "clear of the update sequence's place";
    strImage.replace(nRuns, strRuns.size(), strRuns);
    const size_t nAt = size_t(nStart * c.nClusterBytes), nHalf = size_t(nFirst * c.nClusterBytes);
    const std::string strBitmap = strImage.substr(nAt, size_t(nClusters * c.nClusterBytes));
    strImage.replace(nAt, strBitmap.size(), strBitmap.substr(nHalf) + strBitmap.substr(0, nHalf));
    WriteTestFile(source, strImage);
    ASSERT_TRUE(IsConsistent(c.eKind, source)) << "ntfs-3g reads the moved $Bitmap";

    CChunkMap map;
    ASSERT_EQ(USED_SPACE_MAPPED, Map(strImage, map));
    const std::filesystem::path target = folder.Path() / "target.img";
    CopyMarkedChunks(map, strImage, target);
    EXPECT_TRUE(IsConsistent(c.eKind, target));
    EXPECT_TRUE(FilesReadBack(c.eKind, target, content));
}

} // namespace
