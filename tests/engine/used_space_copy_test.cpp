// Sector Copy with "Used space only", through the real run over the bay:
// real file systems made by the Linux tools, copied onto dirty drives, each
// drive checked by the file system's own checker and read back file by file.

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "engine/sector_copy.h"
#include "engine/used_space_map.h"
#include "support/file_system_images.h"
#include "support/file_system_tools.h"
#include "support/run_harness.h"

namespace {

using Statuses = std::vector<std::wstring>;

constexpr int64_t CHUNK = SECTOR_CHUNK_SIZE;
constexpr int64_t MIB = 1024 * 1024;

const char kInternalDisk[] = "type = fixed\nbus = sata\nmedia = fixed\n";

std::string ImageDrive(char chLetter, const std::string& strKeys)
{
    const std::string strName(1, static_cast<char>(chLetter - 'A' + 'a'));
    return std::string("[") + chLetter + ":]\nimage = " + strName + ".img\nsize = 1G\n" + strKeys;
}

std::filesystem::path ImageOf(CRunHarness& run, char chLetter)
{
    return run.Root() / (std::string(1, static_cast<char>(chLetter - 'A' + 'a')) + ".img");
}

// The map the copy should follow, read from the image file itself.
UsedSpaceResult MapOfImage(const std::string& strImage, CChunkMap& map)
{
    const VolumeByteReader read = [&strImage](int64_t nOffset, uint32_t nBytes, uint8_t* pOut) {
        if (nOffset < 0 || nOffset + nBytes > static_cast<int64_t>(strImage.size()))
            return false;
        std::memcpy(pOut, strImage.data() + nOffset, nBytes);
        return true;
    };
    return MapUsedChunks(read, static_cast<int64_t>(strImage.size()), CHUNK, map);
}

struct CopyCase {
    const char* pszName;
    ImageKind eKind;
    uint32_t nSectorBytes;
    uint32_t nClusterBytes;
    int64_t nBytes;
    const char* pszFixture;   // exFAT: unpacked from tests/fixtures
    bool bVerify;
};

const CopyCase COPY_CASES[] = {
    {"FAT12, 2 KiB clusters", IMAGE_FAT12, 512, 2048, 4 * MIB + 3 * 512, nullptr, false},
    {"FAT16, 4K sectors", IMAGE_FAT16, 4096, 4096, 32 * MIB + 3 * 4096, nullptr, true},
    {"FAT32, 512-byte clusters", IMAGE_FAT32, 512, 512, 40 * MIB + 3 * 512, nullptr, true},
    {"exFAT, 4 KiB clusters", IMAGE_EXFAT, 512, 4096, 0, "exfat-512-4k", false},
    {"exFAT, 4K sectors, 128 KiB clusters", IMAGE_EXFAT, 4096, 131072, 0, "exfat-4096-128k", true},
    {"NTFS, 512-byte clusters", IMAGE_NTFS, 512, 512, 24 * MIB + 3 * 512, nullptr, false},
    {"NTFS, 4K sectors, 128 KiB clusters", IMAGE_NTFS, 4096, 131072, 24 * MIB + 3 * 4096, nullptr, true},
};

// E: as long as the source, F: three chunks longer, G: a sector short (E1,
// untouched); with Verify H: a worn stick that stores the second half of
// what it is given wrong (E8). All but G dirty before the copy.
TEST(UsedSpaceCopyTest, EachFileSystemReachesDirtyDrivesAsTheSameVolumeFromItsUsedChunksAlone)
{
    for (const CopyCase& c : COPY_CASES) {
        SCOPED_TRACE(std::string(c.pszName) + (c.bVerify ? ", with Verify" : ""));
        CRunHarness run;
        const std::filesystem::path source = ImageOf(run, 'S');
        ImageContent content;
        ASSERT_TRUE(c.pszFixture != nullptr ? UnpackExfatFixture(c.pszFixture, source, content)
                                            : MakeImage(c.eKind, c.nSectorBytes, c.nClusterBytes, c.nBytes, source,
                                                        content));
        const std::string strSource = ReadTestFile(source);
        const int64_t nLength = static_cast<int64_t>(strSource.size());
        CChunkMap map;
        ASSERT_EQ(USED_SPACE_MAPPED, MapOfImage(strSource, map));
        ASSERT_LT(map.MarkedBytes(), nLength / 2) << "a source mostly free";

        const std::string strSector = "sector-size = " + std::to_string(c.nSectorBytes) + "\n";
        const std::vector<char> targets = c.bVerify ? std::vector<char>{'E', 'F', 'G', 'H'}
                                                    : std::vector<char>{'E', 'F', 'G'};
        FillDirty(ImageOf(run, 'E'), nLength);
        FillDirty(ImageOf(run, 'F'), nLength + 3 * CHUNK);
        FillDirty(ImageOf(run, 'G'), nLength - c.nSectorBytes);
        FillDirty(ImageOf(run, 'H'), nLength);
        const std::string strDirty = ReadTestFile(ImageOf(run, 'F'));
        const std::string strShort = ReadTestFile(ImageOf(run, 'G'));
        std::string strBay = ImageDrive('S', kInternalDisk + strSector);
        for (char ch : targets)
            strBay += ImageDrive(ch, strSector
                                         + (ch == 'H' ? "corrupt-after = " + std::to_string(map.MarkedBytes() / 2) + "\n"
                                                      : std::string()));
        run.UseBay(strBay);
        run.m_request.m_strSourcePath = L"S:\\";
        run.m_request.m_nVerify = c.bVerify ? 1 : 0;
        run.m_request.m_nUsedSpaceOnly = 1;

        run.Run(TASK_SECTOR_COPY);

        EXPECT_EQ(c.bVerify ? (Statuses{L"OK", L"OK", L"E1", L"E8"}) : (Statuses{L"OK", L"OK", L"E1"}),
                  run.Statuses());
        for (char ch : {'E', 'F'}) {
            SCOPED_TRACE(std::string(1, ch) + ":");
            const std::filesystem::path target = ImageOf(run, ch);
            // ntfs-3g looks for NTFS's backup boot sector in the device's last
            // sector, which on a longer drive lies past the copied volume,
            // whole copy or not.
            if (c.eKind != IMAGE_NTFS || ch == 'E') {
                EXPECT_TRUE(IsConsistent(c.eKind, target));
            }
            EXPECT_TRUE(FilesReadBack(c.eKind, target, content));
            EXPECT_EQ(static_cast<uint64_t>(map.MarkedBytes()), run.Bay().BytesWritten(ch)) << "the used chunks only";
            // Chunk by chunk: the used ones are the source's, the rest keep
            // the dirt, and so does everything past the source's end.
            const std::string strTarget = ReadTestFile(target);
            ASSERT_EQ(strDirty.size() - (ch == 'E' ? 3 * CHUNK : 0), strTarget.size());
            int64_t nWrong = 0;
            for (int64_t n = 0; n < map.ChunkCount(); ++n) {
                const std::string& strExpected = map.IsMarked(n) ? strSource : strDirty;
                nWrong += strTarget.compare(static_cast<size_t>(map.ChunkOffset(n)),
                                            static_cast<size_t>(map.ChunkLength(n)), strExpected,
                                            static_cast<size_t>(map.ChunkOffset(n)),
                                            static_cast<size_t>(map.ChunkLength(n)))
                          != 0;
            }
            EXPECT_EQ(0, nWrong) << "chunks neither the source's nor left as they were";
            EXPECT_TRUE(strTarget.compare(strSource.size(), std::string::npos, strDirty, strSource.size(),
                                          strTarget.size() - strSource.size())
                        == 0);
        }
        EXPECT_TRUE(ReadTestFile(ImageOf(run, 'G')) == strShort) << "a drive too short is never written";
        for (size_t i = 0; i < 2; ++i)
            EXPECT_EQ(100, run.m_slots.bars[i].GetPos()) << "the bar runs over the bytes to copy";
        EXPECT_LT(run.Bay().BytesRead(L'S'), static_cast<uint64_t>(nLength)) << "the free space is not read";
        EXPECT_TRUE(ReadTestFile(source) == strSource) << "the source is never written";
    }
}

// Nothing it can read, or structures that do not add up: the whole volume,
// byte for byte, as without the box.
TEST(UsedSpaceCopyTest, ASourceWithoutAFileSystemItReadsIsCopiedWhole)
{
    struct SpoiltCase {
        const char* pszName;
        std::function<void(const std::filesystem::path&)> spoil;
    };
    const SpoiltCase cases[] = {
        {"no file system", [](const std::filesystem::path& image) { FillDirty(image, 8 * MIB + 3 * 512); }},
        {"FAT32 counting twice its sectors",
         [](const std::filesystem::path& image) {
             ImageContent content;
             ASSERT_TRUE(MakeImage(IMAGE_FAT32, 512, 512, 40 * MIB + 3 * 512, image, content));
             const uint32_t nSectors = static_cast<uint32_t>(2 * (40 * MIB + 3 * 512) / 512);
             std::string strField(4, '\0');
             for (int i = 0; i < 4; ++i)
                 strField[static_cast<size_t>(i)] = static_cast<char>(nSectors >> (8 * i));
             WriteBytesAt(image, 32, strField);
         }},
    };
    for (const SpoiltCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CRunHarness run;
        c.spoil(ImageOf(run, 'S'));
        const std::string strSource = ReadTestFile(ImageOf(run, 'S'));
        FillDirty(ImageOf(run, 'E'), static_cast<int64_t>(strSource.size()));
        std::string strDirty = ReadTestFile(ImageOf(run, 'E'));
        for (char& ch : strDirty)
            ch = static_cast<char>(~ch);
        WriteTestFile(ImageOf(run, 'E'), strDirty);
        run.UseBay(ImageDrive('S', kInternalDisk) + ImageDrive('E', ""));
        run.m_request.m_strSourcePath = L"S:\\";
        run.m_request.m_nUsedSpaceOnly = 1;

        run.Run(TASK_SECTOR_COPY);

        EXPECT_EQ((Statuses{L"OK"}), run.Statuses());
        EXPECT_TRUE(ReadTestFile(ImageOf(run, 'E')) == strSource);
        EXPECT_EQ(strSource.size(), run.Bay().BytesWritten(L'E'));
    }
}

// A cancel while the used chunks are written, or while they are read back:
// every drive ends with E5, as in a full copy.
TEST(UsedSpaceCopyTest, ACancelWhileWritingOrCheckingEndsEveryDriveWithE5)
{
    for (const bool bVerify : {false, true}) {
        SCOPED_TRACE(bVerify ? "while checking" : "while writing");
        CRunHarness run;
        ImageContent content;
        ASSERT_TRUE(MakeImage(IMAGE_FAT32, 512, 512, 40 * MIB + 3 * 512, ImageOf(run, 'S'), content));
        const int64_t nLength = static_cast<int64_t>(std::filesystem::file_size(ImageOf(run, 'S')));
        FillDirty(ImageOf(run, 'E'), nLength);
        FillDirty(ImageOf(run, 'F'), nLength);
        // F: slow, so that the cancel finds it still at work.
        run.UseBay(ImageDrive('S', kInternalDisk) + ImageDrive('E', "") + ImageDrive('F', "speed = 4M\n"));
        run.m_slots.bars[0].m_onSet = [&run, bVerify](int nPos) {
            if (nPos > (bVerify ? 60 : 10))
                run.Control().RequestCancel();
        };
        run.m_request.m_strSourcePath = L"S:\\";
        run.m_request.m_nVerify = bVerify ? 1 : 0;
        run.m_request.m_nUsedSpaceOnly = 1;

        run.Run(TASK_SECTOR_COPY);

        EXPECT_EQ((Statuses{L"E5", L"E5"}), run.Statuses());
        EXPECT_LT(run.m_slots.bars[0].GetPos(), 100);
    }
}

}  // namespace
