#include "bay/simulated_bay.h"

#include <atomic>
#include <thread>

#include "bay/bay_state.h"
#include "bay_test_support.h"
#include "engine/aligned_buffer.h"
#include "platform/folder_tree.h"
#include "platform/raw_volumes.h"
#include "platform/system_error.h"
#include "platform/volume_queries.h"

namespace {

using BayRawVolumeTest = CBayFolderTest;

std::string Pattern(size_t nBytes)
{
    std::string str(nBytes, '\0');
    for (size_t i = 0; i < nBytes; ++i)
        str[i] = static_cast<char>('a' + i % 26);
    return str;
}

// What one Read gave: "(fails)", or the bytes. Through a buffer that starts
// on a sector, as a volume handle demands.
std::string ReadSome(IRawVolume& volume, uint32_t nBytes)
{
    CAlignedBuffer buffer;
    buffer.Allocate(nBytes);
    uint32_t nRead = 12345;
    if (!volume.Read(buffer.data(), nBytes, nRead))
        return "(fails)";
    return std::string(reinterpret_cast<const char*>(buffer.data()), nRead);
}

bool WriteText(IRawVolume& volume, const std::string& str, uint32_t& nWritten)
{
    CAlignedBuffer buffer;
    buffer.Allocate(str.size());
    std::copy(str.begin(), str.end(), buffer.data());
    return volume.Write(buffer.data(), static_cast<uint32_t>(str.size()), nWritten);
}

// A volume ends on a sector, and Windows moves nothing of a transfer that
// would cross that end, nor of one that is not whole sectors: the last read
// of a volume asks for exactly what is left.
TEST_F(BayRawVolumeTest, AnImageIsAVolumeOfWholeSectorsThatNeitherGrowsNorTakesFreeBytes)
{
    for (const uint32_t nSector : {512u, 4096u}) {
        SCOPED_TRACE(nSector);
        // A chunk and three sectors, and a few bytes that make no sector.
        const uint32_t nLength = 65536 + 3 * nSector;
        const std::string strImage = Pattern(nLength + 100);
        WriteFile("e.img", strImage);
        MakeFolder("f");
        CSimulatedBay bay(Describe("[E:]\nimage = e.img\nsize = 1M\nfree = 0\nsector-size = " + std::to_string(nSector)
                                   + "\n[F:]\nfolder = f\nsize = 1M\n[N:]\nsize = 1M\n"));
        IRawVolumes& raw = bay.RawVolumes();
        for (const wchar_t* pszDevice : {L"F:", L"N:", L"G:", L"E:\\x", L"E"})
            EXPECT_EQ(nullptr, raw.OpenVolume(pszDevice)) << pszDevice[0];

        const std::unique_ptr<IRawVolume> first = raw.OpenVolume(L"E:");
        const std::unique_ptr<IRawVolume> second = raw.OpenVolume(L"e:\\");
        ASSERT_TRUE(first && second);
        int64_t nGot = 0;
        EXPECT_TRUE(first->GetLength(nGot));
        EXPECT_EQ(nLength, nGot) << "whole sectors only";
        EXPECT_EQ(strImage.substr(0, 65536), ReadSome(*first, 65536));
        EXPECT_EQ("(fails)", ReadSome(*first, 65536)) << "a read across the end moves nothing";
        EXPECT_EQ("(fails)", ReadSome(*first, nSector / 2)) << "half a sector";
        EXPECT_EQ(strImage.substr(65536, 3 * nSector), ReadSome(*first, 3 * nSector)) << "exactly what is left";
        EXPECT_EQ("(fails)", ReadSome(*first, nSector)) << "past the end";
        EXPECT_EQ(nLength, bay.BytesRead(L'e'));

        // The second open starts at 0 whatever the first did.
        uint32_t nWritten = 0;
        EXPECT_TRUE(WriteText(*second, std::string(nSector, 'W'), nWritten)) << "free = 0 does not stop a raw write";
        EXPECT_EQ(nSector, nWritten);
        EXPECT_FALSE(WriteText(*second, "WXYZ", nWritten)) << "not a whole sector";
        EXPECT_EQ(65536u, ReadSome(*second, 65536).size());
        EXPECT_FALSE(WriteText(*second, std::string(3 * nSector, '!'), nWritten)) << "one sector past the end";
        EXPECT_EQ(0u, nWritten);
        EXPECT_TRUE(WriteText(*second, std::string(2 * nSector, '!'), nWritten)) << "the failed write left the position";
        EXPECT_TRUE(ReadFile("e.img")
                    == std::string(nSector, 'W') + strImage.substr(nSector, 65536) + std::string(2 * nSector, '!')
                           + strImage.substr(nLength));
        EXPECT_EQ(0u, bay.Volumes().GetVolumeFreeBytes(L'E' - L'A'));

        EXPECT_TRUE(first->SeekTo(0));
        EXPECT_EQ(std::string(nSector, 'W'), ReadSome(*first, nSector)) << "another open sees the write";

        // Any position on a sector, past the end too, where a transfer fails;
        // none off a sector or before the start, and a refused one stays put.
        EXPECT_TRUE(first->SeekTo(nLength + nSector));
        EXPECT_EQ("(fails)", ReadSome(*first, nSector)) << "past the end";
        EXPECT_TRUE(first->SeekTo(65536 + nSector));
        EXPECT_FALSE(first->SeekTo(65536 + nSector + 512 / 2));
        EXPECT_EQ(SYSERR_INVALID_PARAMETER, TakeSeamError());
        EXPECT_FALSE(first->SeekTo(-static_cast<int64_t>(nSector)));
        EXPECT_EQ(SYSERR_NEGATIVE_SEEK, TakeSeamError());
        EXPECT_TRUE(ReadFile("e.img").substr(65536 + nSector, nSector) == ReadSome(*first, nSector));
    }
}

// A stick keeps what was written to it in its cache until its volume is
// flushed: pulled out before that, the raw sectors written hold something
// else, and the files and folders copied are gone.
TEST_F(BayRawVolumeTest, APulledDriveKeepsOnlyWhatWasFlushed)
{
    WriteFile("e.img", std::string(4 * 65536, '.'));
    MakeFolder("f");
    WriteFile("f/old.txt", "kept");
    WriteFile("src.txt", "copied");
    CSimulatedBay bay(Describe("[E:]\nimage = e.img\nsize = 1M\n[F:]\nfolder = f\nsize = 1M\n"));
    {
        const std::unique_ptr<IRawVolume> volume = bay.RawVolumes().OpenVolume(L"E:");
        ASSERT_TRUE(volume && volume->Lock() && volume->Dismount());
        uint32_t nWritten = 0;
        ASSERT_TRUE(WriteText(*volume, std::string(65536, 'a'), nWritten));
        ASSERT_TRUE(volume->Flush());
        ASSERT_TRUE(WriteText(*volume, std::string(65536, 'b'), nWritten));
    }
    IFolderTree& folders = bay.Folders();
    ASSERT_TRUE(folders.MakeFolder(L"F:\\flushed"));
    ASSERT_TRUE(folders.CopyOneFile(Host("src.txt"), L"F:\\flushed\\a.txt", nullptr, nullptr, nullptr));
    ASSERT_TRUE(folders.FlushVolume(L"F:\\"));
    ASSERT_TRUE(folders.MakeFolder(L"F:\\late"));
    ASSERT_TRUE(folders.CopyOneFile(Host("src.txt"), L"F:\\late\\b.txt", nullptr, nullptr, nullptr));
    ASSERT_TRUE(folders.CopyOneFile(Host("src.txt"), L"F:\\c.txt", nullptr, nullptr, nullptr));
    EXPECT_EQ("copied", ReadFile("f/c.txt")) << "before the pull, the cache answers";

    bay.ReplugAll();

    EXPECT_TRUE(ReadFile("e.img")
                == std::string(65536, 'a') + std::string(65536, BAY_LOST_BYTE) + std::string(2 * 65536, '.'))
        << "closing the volume is no flush";
    EXPECT_EQ((std::vector<std::string>{"flushed/", "flushed/a.txt=copied", "old.txt=kept"}),
              TreeListing(m_root / "f"));
    EXPECT_TRUE(folders.PathExists(L"F:\\")) << "plugged in again";
}

TEST_F(BayRawVolumeTest, OneOpenHoldsTheLockAndRefusalsAreCountedExactly)
{
    WriteFile("e.img", std::string(4096, 'e'));
    WriteFile("f.img", std::string(4096, 'f'));
    CSimulatedBay bay(Describe("[E:]\nimage = e.img\nopen-refusals = 2\nlock-refusals = 1\n[F:]\nimage = f.img\n"));
    IRawVolumes& raw = bay.RawVolumes();
    EXPECT_EQ(nullptr, raw.OpenVolume(L"E:"));
    EXPECT_EQ(nullptr, raw.OpenVolume(L"E:"));
    std::unique_ptr<IRawVolume> holder = raw.OpenVolume(L"E:");
    ASSERT_NE(nullptr, holder) << "the third open";
    EXPECT_FALSE(holder->Lock()) << "the one refused lock";
    EXPECT_TRUE(holder->Lock());
    EXPECT_TRUE(holder->Dismount());

    const std::unique_ptr<IRawVolume> waiter = raw.OpenVolume(L"E:");
    ASSERT_NE(nullptr, waiter);
    EXPECT_FALSE(waiter->Lock()) << "the holder has it";
    const std::unique_ptr<IRawVolume> other = raw.OpenVolume(L"F:");
    ASSERT_NE(nullptr, other) << "refusals are the drive's own";
    EXPECT_TRUE(other->Lock()) << "locks are the drive's own";
    holder.reset();
    EXPECT_TRUE(waiter->Lock()) << "closing the holder ended its lock";
}

TEST_F(BayRawVolumeTest, RawWritesLastOnlyOnADismountedVolumeAndComeOnlyFromSectorAlignedBuffers)
{
    WriteFile("e.img", "");
    CSimulatedBay bay(Describe("[E:]\nimage = e.img\nsize = 1M\n"));
    for (const bool bDismount : {false, true}) {
        WriteFile("e.img", std::string(8192, 'o'));
        {
            const std::unique_ptr<IRawVolume> volume = bay.RawVolumes().OpenVolume(L"E:");
            ASSERT_TRUE(volume && volume->Lock());
            if (bDismount) {
                ASSERT_TRUE(volume->Dismount());
            }
            uint32_t nWritten = 0;
            ASSERT_TRUE(WriteText(*volume, std::string(8192, 'n'), nWritten));
            EXPECT_EQ(std::string(8192, 'n'), ReadFile("e.img")) << "written while open";
        }
        // The file system that stayed mounted writes its view of the first
        // 4096 bytes back when the volume closes.
        EXPECT_EQ(bDismount ? std::string(8192, 'n') : std::string(4096, 'o') + std::string(4096, 'n'),
                  ReadFile("e.img"))
            << (bDismount ? "dismounted" : "still mounted");
    }

    const std::unique_ptr<IRawVolume> volume = bay.RawVolumes().OpenVolume(L"E:");
    ASSERT_NE(nullptr, volume);
    CAlignedBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(2 * 4096));
    uint32_t nDone = 0;
    EXPECT_FALSE(volume->Read(buffer.data() + 256, 4096, nDone)) << "a buffer off its sector";
    EXPECT_FALSE(volume->Write(buffer.data() + 256, 4096, nDone)) << "a buffer off its sector";
    EXPECT_TRUE(volume->Read(buffer.data() + 4096, 4096, nDone));
    EXPECT_EQ(4096u, nDone);
}

TEST_F(BayRawVolumeTest, ReadsFailFromTheReadThatCrossesTheirBound)
{
    WriteFile("e.img", Pattern(10 * 512));
    CSimulatedBay bay(Describe("[E:]\nimage = e.img\nread-fail-after = 2560\n"));
    const std::unique_ptr<IRawVolume> volume = bay.RawVolumes().OpenVolume(L"E:");
    const std::unique_ptr<IRawVolume> other = bay.RawVolumes().OpenVolume(L"E:");
    ASSERT_TRUE(volume && other);
    EXPECT_EQ(1536u, ReadSome(*volume, 1536).size());
    EXPECT_EQ(1024u, ReadSome(*volume, 1024).size()) << "up to the bound";
    EXPECT_EQ("(fails)", ReadSome(*volume, 512));
    EXPECT_TRUE(volume->SeekTo(0));
    EXPECT_EQ("(fails)", ReadSome(*volume, 512)) << "every later read";
    EXPECT_EQ("(fails)", ReadSome(*other, 512)) << "on every open";
    EXPECT_EQ(2560u, bay.BytesRead(L'E'));
}

TEST_F(BayRawVolumeTest, AWriteCrossingItsBoundFailsAndRemoveAfterPullsTheStickOut)
{
    struct BoundCase {
        const char* pszKey;
        bool bRemoved;
    };
    for (const BoundCase& c : {BoundCase{"fail-after = 64K", false}, BoundCase{"remove-after = 64K", true}}) {
        SCOPED_TRACE(c.pszKey);
        WriteFile("e.img", std::string(200000, '.'));
        CSimulatedBay bay(Describe(std::string("[E:]\nimage = e.img\nsize = 1G\n") + c.pszKey + "\n[F:]\nsize = 1M\n"));
        const std::unique_ptr<IRawVolume> writer = bay.RawVolumes().OpenVolume(L"E:");
        const std::unique_ptr<IRawVolume> other = bay.RawVolumes().OpenVolume(L"E:");
        ASSERT_TRUE(writer && other);
        uint32_t nWritten = 0;
        EXPECT_TRUE(WriteText(*writer, std::string(65536, 'w'), nWritten));
        EXPECT_EQ(0x30u, bay.Volumes().GetLogicalDrives()) << "still there at the bound";
        EXPECT_FALSE(WriteText(*writer, std::string(512, 'w'), nWritten));
        EXPECT_EQ(0u, nWritten);
        EXPECT_FALSE(WriteText(*other, "", nWritten)) << "every later write";
        EXPECT_EQ(std::string(65536, 'w') + std::string(134464, '.'), ReadFile("e.img"));

        IVolumeQueries& volumes = bay.Volumes();
        std::wstring strText;
        int64_t nLength = 0;
        EXPECT_EQ(c.bRemoved ? 0x20u : 0x30u, volumes.GetLogicalDrives());
        EXPECT_EQ(c.bRemoved ? DRIVE_KIND_NO_ROOT_DIR : DRIVE_KIND_REMOVABLE, volumes.GetDriveKind(L'E' - L'A'));
        EXPECT_EQ(!c.bRemoved, volumes.QueryDosDevicePath(L'E' - L'A', strText));
        EXPECT_EQ(c.bRemoved ? BUS_KIND_UNKNOWN : BUS_KIND_USB, volumes.QueryBusType(L'E' - L'A'));
        EXPECT_EQ(c.bRemoved ? MEDIA_KIND_UNKNOWN : MEDIA_KIND_REMOVABLE, volumes.QueryMediaType(L'E' - L'A'));
        EXPECT_EQ(c.bRemoved ? 0u : 1073741824u, volumes.GetVolumeTotalBytes(L'E' - L'A'));
        EXPECT_EQ(c.bRemoved ? 0u : 1073741824u, volumes.GetVolumeFreeBytes(L'E' - L'A'));
        EXPECT_EQ(!c.bRemoved, volumes.GetFileSystemName(L'E' - L'A', strText));
        EXPECT_EQ(!c.bRemoved, bay.Folders().PathExists(L"E:\\"));
        EXPECT_EQ(!c.bRemoved, bay.RawVolumes().OpenVolume(L"E:") != nullptr);
        EXPECT_EQ(c.bRemoved ? "(fails)" : std::string(512, 'w'), ReadSome(*other, 512));
        EXPECT_EQ(!c.bRemoved, other->Lock());
        EXPECT_EQ(!c.bRemoved, other->GetLength(nLength));
    }
}

std::string Seeded(size_t nBytes, unsigned nSeed)
{
    std::string str(nBytes, '\0');
    for (size_t i = 0; i < nBytes; ++i)
        str[i] = static_cast<char>((i * 7 + nSeed * 53) % 251);
    return str;
}

TEST_F(BayRawVolumeTest, ACounterfeitStickReportsItsFullLengthAndWritesOverItsStart)
{
    // Four blocks of 16 KiB fill the 64 KiB volume; what survives at each
    // stored byte is the last block written over it, here always the fourth.
    const std::string strFourth = Seeded(16384, 4);
    struct WrapCase {
        const char* pszKey;
        size_t nStored;
        std::string strStored;   // the image's first nStored bytes afterwards
    } const cases[] = {
        {"wrap-at = 16K", 16384, strFourth},
        // The fourth block starts at 48K = 4 x 12K; its last 4 KiB wrap onto the first.
        {"wrap-at = 12K", 12288, strFourth.substr(12288) + strFourth.substr(4096, 8192)},
        // Not even a sector: a single write wraps three times.
        {"wrap-at = 5000", 5000, strFourth.substr(15848) + strFourth.substr(11384, 4464)},
        {"wrap-at = 1M", 65536, Seeded(16384, 1) + Seeded(16384, 2) + Seeded(16384, 3) + strFourth},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.pszKey);
        WriteFile("e.img", std::string(65536, '.'));
        CSimulatedBay bay(Describe(std::string("[E:]\nimage = e.img\nsize = 64G\n") + c.pszKey + "\n"));
        {
            const std::unique_ptr<IRawVolume> volume = bay.RawVolumes().OpenVolume(L"E:");
            ASSERT_TRUE(volume && volume->Lock() && volume->Dismount());
            int64_t nLength = 0;
            EXPECT_TRUE(volume->GetLength(nLength));
            EXPECT_EQ(65536, nLength);
            for (unsigned nBlock = 1; nBlock <= 4; ++nBlock) {
                uint32_t nWritten = 0;
                EXPECT_TRUE(WriteText(*volume, Seeded(16384, nBlock), nWritten));
                EXPECT_EQ(16384u, nWritten);
            }
            EXPECT_TRUE(volume->SeekTo(0));
            std::string strExpected;
            for (size_t nAt = 0; nAt < 65536; ++nAt)
                strExpected += c.strStored[nAt % c.nStored];
            EXPECT_TRUE(ReadSome(*volume, 65536) == strExpected) << "every offset reads what is stored modulo";
            EXPECT_EQ("(fails)", ReadSome(*volume, 4096)) << "and the end is where the length says";
        }
        EXPECT_TRUE(ReadFile("e.img") == c.strStored + std::string(65536 - c.nStored, '.'))
            << "the image past the stored bytes is never touched";
        EXPECT_EQ(68719476736u, bay.Volumes().GetVolumeTotalBytes(L'E' - L'A'));
    }
}

TEST_F(BayRawVolumeTest, AWornStickStoresRawBytesPastItsMarkWrongWhileEveryWriteSucceeds)
{
    // The mark counts every write, also one a mounted file system later
    // writes its view over and writes on an earlier open.
    WriteFile("e.img", std::string(20000, '.'));
    CSimulatedBay bay(Describe("[E:]\nimage = e.img\ncorrupt-after = 10000\n"));
    const std::string strFirst = Seeded(8192, 1);
    const std::string strSecond = Seeded(8192, 2);
    uint32_t nWritten = 0;
    {
        const std::unique_ptr<IRawVolume> earlier = bay.RawVolumes().OpenVolume(L"E:");
        ASSERT_TRUE(earlier && earlier->Lock() && earlier->Dismount());
        EXPECT_TRUE(WriteText(*earlier, strFirst, nWritten));
    }
    const std::unique_ptr<IRawVolume> volume = bay.RawVolumes().OpenVolume(L"E:");
    ASSERT_TRUE(volume && volume->Lock() && volume->Dismount());
    EXPECT_TRUE(WriteText(*volume, strFirst, nWritten));
    EXPECT_TRUE(WriteText(*volume, strSecond, nWritten));
    EXPECT_EQ(8192u, nWritten);
    std::string strStored = strFirst + strSecond;
    for (size_t i = 10000 - 8192; i < strStored.size(); ++i)
        strStored[i] = static_cast<char>(~static_cast<unsigned char>(strStored[i]));
    EXPECT_TRUE(ReadFile("e.img") == strStored + std::string(20000 - 16384, '.'));
    EXPECT_TRUE(volume->SeekTo(0));
    EXPECT_TRUE(ReadSome(*volume, 16384) == strStored) << "reads give back what is stored";
}

TEST_F(BayRawVolumeTest, ASparseTerabyteImageIsMeasuredNotRead)
{
    // One byte at the end makes the sparse file: with mingw, resize_file
    // refuses anything past 2 GiB (its off_t is 32 bits).
    {
        std::ofstream image(m_root / "big.img", std::ios::binary);
        ASSERT_TRUE(image.seekp(1099511627775) && image.put('\0') && image.flush());
    }
    CSimulatedBay bay(Describe("[E:]\nimage = big.img\nsize = 1T\n"));
    const std::unique_ptr<IRawVolume> volume = bay.RawVolumes().OpenVolume(L"E:");
    ASSERT_NE(nullptr, volume);
    int64_t nLength = 0;
    EXPECT_TRUE(volume->GetLength(nLength));
    EXPECT_EQ(1099511627776, nLength);
    EXPECT_EQ(0u, bay.BytesRead(L'E'));
    EXPECT_EQ(std::string(512, '\0'), ReadSome(*volume, 512));
    EXPECT_EQ(512u, bay.BytesRead(L'E'));
}

TEST_F(BayRawVolumeTest, OneReaderAndTwentyTwoWritersAtOnceWhileTheUiAsks)
{
    constexpr int nTargets = 22;
    constexpr uint32_t nChunk = 65536;
    const std::string strSource = Pattern(75 * 4096);
    WriteFile("d.img", strSource);
    std::string strBay = "[D:]\nimage = d.img\n";
    for (int i = 0; i < nTargets; ++i) {
        const char chLetter = static_cast<char>('E' + i);
        WriteFile(std::string(1, chLetter) + ".img", std::string(strSource.size(), '\0'));
        strBay += std::string("[") + chLetter + ":]\nimage = " + chLetter + ".img\nsize = 1M\nspeed = 500M\n";
    }
    CSimulatedBay bay(Describe(strBay));

    std::atomic<bool> bDone{false};
    std::atomic<bool> bObserving{false};
    // The benchmark's view: the source's read count, watched as it grows.
    std::thread observer([&] {
        uint64_t nLastRead = 0;
        while (!bDone) {
            const uint64_t nRead = bay.BytesRead(L'D');
            EXPECT_GE(nRead, nLastRead);
            nLastRead = nRead;
            bObserving = true;
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        const std::unique_ptr<IRawVolume> source = bay.RawVolumes().OpenVolume(L"D:");
        ASSERT_TRUE(source && source->Lock());
        while (!bObserving)
            std::this_thread::yield();
        for (size_t nAt = 0; nAt < strSource.size(); nAt += 4096)
            ASSERT_NE("(fails)", ReadSome(*source, 4096));
    });
    for (int i = 0; i < nTargets; ++i) {
        threads.emplace_back([&, i] {
            const std::wstring strDevice = std::wstring(1, static_cast<wchar_t>(L'E' + i)) + L":";
            const std::unique_ptr<IRawVolume> target = bay.RawVolumes().OpenVolume(strDevice);
            ASSERT_TRUE(target && target->Lock() && target->Dismount() && target->SeekTo(0));
            for (size_t nAt = 0; nAt < strSource.size(); nAt += nChunk) {
                uint32_t nWritten = 0;
                EXPECT_TRUE(WriteText(*target, strSource.substr(nAt, nChunk), nWritten));
            }
        });
    }
    std::thread ui([&] {
        while (!bDone) {
            EXPECT_EQ(0x3FFFFF8u, bay.Volumes().GetLogicalDrives());
            EXPECT_EQ(1048576u, bay.Volumes().GetVolumeFreeBytes(L'Z' - L'A')) << "raw writes take no free bytes";
            std::this_thread::yield();
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    bDone = true;
    ui.join();
    observer.join();

    EXPECT_EQ(strSource.size(), bay.BytesRead(L'D'));
    for (int i = 0; i < nTargets; ++i)
        EXPECT_TRUE(strSource == ReadFile(std::string(1, static_cast<char>('E' + i)) + ".img")) << i;
}

}  // namespace
