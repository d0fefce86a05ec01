#include "bay/simulated_bay.h"

#include <atomic>
#include <thread>

#include "bay_test_support.h"
#include "engine/aligned_buffer.h"
#include "platform/folder_tree.h"
#include "platform/raw_volumes.h"
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

TEST_F(BayRawVolumeTest, AnImageIsAVolumeThatNeitherGrowsNorTakesFreeBytes)
{
    const std::string strImage = Pattern(100000);
    WriteFile("e.img", strImage);
    MakeFolder("f");
    CSimulatedBay bay(Describe("[E:]\nimage = e.img\nsize = 1M\nfree = 0\n[F:]\nfolder = f\nsize = 1M\n[N:]\nsize = 1M\n"));
    IRawVolumes& raw = bay.RawVolumes();
    for (const wchar_t* pszDevice : {L"F:", L"N:", L"G:", L"E:\\x", L"E"})
        EXPECT_EQ(nullptr, raw.OpenVolume(pszDevice)) << pszDevice[0];

    const std::unique_ptr<IRawVolume> first = raw.OpenVolume(L"E:");
    const std::unique_ptr<IRawVolume> second = raw.OpenVolume(L"e:\\");
    ASSERT_TRUE(first && second);
    int64_t nLength = 0;
    EXPECT_TRUE(first->GetLength(nLength));
    EXPECT_EQ(100000, nLength);
    EXPECT_EQ(strImage.substr(0, 65536), ReadSome(*first, 65536));
    EXPECT_EQ(strImage.substr(65536), ReadSome(*first, 65536)) << "34464 bytes left";
    EXPECT_EQ("", ReadSome(*first, 65536)) << "at the end";
    EXPECT_EQ(100000u, bay.BytesRead(L'e'));

    // The second open starts at 0 whatever the first did.
    uint32_t nWritten = 0;
    EXPECT_TRUE(WriteText(*second, "WXYZ", nWritten)) << "free = 0 does not stop a raw write";
    EXPECT_EQ(4u, nWritten);
    EXPECT_EQ(99994u, ReadSome(*second, 99994).size());
    EXPECT_FALSE(WriteText(*second, "123", nWritten)) << "one byte past the end";
    EXPECT_EQ(0u, nWritten);
    EXPECT_TRUE(WriteText(*second, "!!", nWritten)) << "the failed write left the position";
    EXPECT_EQ("WXYZ" + strImage.substr(4, 99994) + "!!", ReadFile("e.img"));
    EXPECT_EQ(0u, bay.Volumes().GetVolumeFreeBytes(L'E' - L'A'));

    EXPECT_TRUE(first->SeekToStart());
    EXPECT_EQ("WXYZ", ReadSome(*first, 4)) << "another open sees the write";
    EXPECT_EQ(199998u, bay.BytesRead(L'E'));
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
    EXPECT_FALSE(volume->Read(buffer.data() + 512, 4096, nDone)) << "a buffer off its sector";
    EXPECT_FALSE(volume->Write(buffer.data() + 512, 4096, nDone)) << "a buffer off its sector";
    EXPECT_TRUE(volume->Read(buffer.data() + 4096, 4096, nDone));
    EXPECT_EQ(4096u, nDone);
}

TEST_F(BayRawVolumeTest, ReadsFailFromTheReadThatCrossesTheirBound)
{
    WriteFile("e.img", Pattern(1000));
    CSimulatedBay bay(Describe("[E:]\nimage = e.img\nread-fail-after = 100\n"));
    const std::unique_ptr<IRawVolume> volume = bay.RawVolumes().OpenVolume(L"E:");
    const std::unique_ptr<IRawVolume> other = bay.RawVolumes().OpenVolume(L"E:");
    ASSERT_TRUE(volume && other);
    EXPECT_EQ(60u, ReadSome(*volume, 60).size());
    EXPECT_EQ(40u, ReadSome(*volume, 40).size()) << "up to the bound";
    EXPECT_EQ("(fails)", ReadSome(*volume, 1));
    EXPECT_TRUE(volume->SeekToStart());
    EXPECT_EQ("(fails)", ReadSome(*volume, 1)) << "every later read";
    EXPECT_EQ("(fails)", ReadSome(*other, 1)) << "on every open";
    EXPECT_EQ(100u, bay.BytesRead(L'E'));
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
        EXPECT_FALSE(WriteText(*writer, "w", nWritten));
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
        EXPECT_EQ(c.bRemoved ? "(fails)" : "w", ReadSome(*other, 1));
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
            EXPECT_TRUE(volume->SeekToStart());
            std::string strExpected;
            for (size_t nAt = 0; nAt < 65536; ++nAt)
                strExpected += c.strStored[nAt % c.nStored];
            EXPECT_TRUE(ReadSome(*volume, 65536) == strExpected) << "every offset reads what is stored modulo";
            EXPECT_EQ("", ReadSome(*volume, 4096)) << "and the end is where the length says";
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
    EXPECT_TRUE(volume->SeekToStart());
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
    EXPECT_EQ(std::string(4, '\0'), ReadSome(*volume, 4));
    EXPECT_EQ(4u, bay.BytesRead(L'E'));
}

TEST_F(BayRawVolumeTest, OneReaderAndTwentyTwoWritersAtOnceWhileTheUiAsks)
{
    constexpr int nTargets = 22;
    constexpr uint32_t nChunk = 65536;
    const std::string strSource = Pattern(300000);
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
        for (std::string strGot = "x"; !strGot.empty();) {
            strGot = ReadSome(*source, 4096);
            ASSERT_NE("(fails)", strGot);
        }
    });
    for (int i = 0; i < nTargets; ++i) {
        threads.emplace_back([&, i] {
            const std::wstring strDevice = std::wstring(1, static_cast<wchar_t>(L'E' + i)) + L":";
            const std::unique_ptr<IRawVolume> target = bay.RawVolumes().OpenVolume(strDevice);
            ASSERT_TRUE(target && target->Lock() && target->Dismount() && target->SeekToStart());
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

    EXPECT_EQ(300000u, bay.BytesRead(L'D'));
    for (int i = 0; i < nTargets; ++i)
        EXPECT_TRUE(strSource == ReadFile(std::string(1, static_cast<char>('E' + i)) + ".img")) << i;
}

}  // namespace
