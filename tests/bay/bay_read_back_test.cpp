#include <chrono>
#include <memory>

#include "bay/bay_folder_tree.h"
#include "bay/bay_raw_volumes.h"
#include "bay/bay_state.h"
#include "bay_test_support.h"
#include "engine/aligned_buffer.h"

namespace {

using BayReadBackTest = CBayFolderTest;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// What one Read gave: "(fails)", or the bytes. The buffer starts nOffset
// bytes past a sector's start.
std::string ReadSome(IFileReader& reader, uint32_t nBytes, size_t nOffset = 0)
{
    CAlignedBuffer buffer;
    buffer.Allocate(nOffset + nBytes + 1);
    uint32_t nRead = 12345;
    if (!reader.Read(buffer.data() + nOffset, nBytes, nRead))
        return "(fails)";
    return std::string(reinterpret_cast<const char*>(buffer.data() + nOffset), nRead);
}

std::string ReadSome(IRawVolume& volume, uint32_t nBytes)
{
    CAlignedBuffer buffer;
    buffer.Allocate(nBytes);
    uint32_t nRead = 12345;
    if (!volume.Read(buffer.data(), nBytes, nRead))
        return "(fails)";
    return std::string(reinterpret_cast<const char*>(buffer.data()), nRead);
}

TEST_F(BayReadBackTest, ReadsOfOneDriveQueueAtItsReadSpeedWhileOtherDrivesReadAtOnce)
{
    // At 1 KiB a second a MiB takes 1024 s: nothing here waits, and no pause
    // of the machine between two calls comes near a read's length.
    WriteFile("e.img", "");
    MakeFolder("f");
    MakeFolder("g");
    CBayState state(Describe("[E:]\nimage = e.img\nread-speed = 1K\nspeed = 1M\n"
                             "[F:]\nfolder = f\nread-speed = 1K\n[G:]\nfolder = g\nspeed = 1K\n"));
    steady_clock::time_point e1, e2, f1, g1;
    const auto before = steady_clock::now();
    ASSERT_TRUE(state.TakeRead(L'E', 1048576, e1));
    ASSERT_TRUE(state.TakeRead(L'E', 524288, e2));
    ASSERT_TRUE(state.TakeRead(L'F', 1048576, f1));
    ASSERT_TRUE(state.TakeRead(L'G', 1048576, g1));
    const auto after = steady_clock::now();

    EXPECT_GE(e1, before + seconds(1024));
    EXPECT_LE(e1, after + seconds(1024));
    EXPECT_EQ(e1 + seconds(512), e2) << "the second read of a drive waits for its first";
    EXPECT_EQ(e2, state.ReadsDoneAt(L'E'));
    EXPECT_LE(f1, after + seconds(1024)) << "another drive reads at once";
    EXPECT_GE(f1, before + seconds(1024));
    EXPECT_LE(g1, after) << "a drive without a read speed reads at the host's pace, whatever its write speed";
    EXPECT_EQ(steady_clock::time_point(), state.ReadsDoneAt(L'G'));
    EXPECT_EQ(steady_clock::time_point(), state.WritesDoneAt(L'E')) << "reads keep a clock apart from writes";
    EXPECT_EQ(1572864u, state.BytesRead(L'E'));
}

TEST_F(BayReadBackTest, ReadersWaitForTheDriveAndOnlyADrivesFilesCount)
{
    // 256 KiB at 4 MiB a second: each read is scheduled to take 62.5 ms.
    const std::string strContent(262144, 'r');
    WriteFile("e.img", strContent);
    MakeFolder("f");
    WriteFile("f/copy", strContent + "tail");
    WriteFile("host", strContent);
    CBayState state(Describe("[E:]\nimage = e.img\nread-speed = 4M\n[F:]\nfolder = f\nread-speed = 4M\n"));
    CBayRawVolumes raw(state);
    CBayFolderTree folders(state);
    const milliseconds scheduled(62);

    const std::unique_ptr<IRawVolume> volume = raw.OpenVolume(L"E:");
    ASSERT_NE(nullptr, volume);
    auto before = steady_clock::now();
    EXPECT_TRUE(ReadSome(*volume, 262144) == strContent);
    EXPECT_GE(state.ReadsDoneAt(L'E'), before + scheduled);
    EXPECT_LE(state.ReadsDoneAt(L'E'), steady_clock::now()) << "the raw read returned once the drive had read it";
    EXPECT_EQ(262144u, state.BytesRead(L'E'));

    for (const bool bPastCache : {true, false}) {
        SCOPED_TRACE(bPastCache ? "past the cache" : "through the cache");
        const auto nReadBefore = state.BytesRead(L'F');
        const std::unique_ptr<IFileReader> reader = folders.OpenFileForReading(L"F:\\copy", bPastCache);
        ASSERT_NE(nullptr, reader);
        before = steady_clock::now();
        EXPECT_TRUE(ReadSome(*reader, 1048576) == strContent + "tail") << "a short last read";
        EXPECT_GE(state.ReadsDoneAt(L'F'), before + scheduled);
        EXPECT_LE(state.ReadsDoneAt(L'F'), steady_clock::now()) << "the file read returned once the drive had read it";
        EXPECT_EQ("", ReadSome(*reader, 1048576)) << "then the end";
        EXPECT_EQ(nReadBefore + 262148u, state.BytesRead(L'F')) << "the bytes the file gave, not the ones asked";
    }

    const auto eDone = state.ReadsDoneAt(L'E');
    const auto fDone = state.ReadsDoneAt(L'F');
    const std::unique_ptr<IFileReader> host = folders.OpenFileForReading(Host("host"), true);
    ASSERT_NE(nullptr, host);
    EXPECT_TRUE(ReadSome(*host, 1048576) == strContent);
    EXPECT_EQ(eDone, state.ReadsDoneAt(L'E'));
    EXPECT_EQ(fDone, state.ReadsDoneAt(L'F'));
    EXPECT_EQ(262144u + 2 * 262148u, state.BytesRead(L'E') + state.BytesRead(L'F')) << "the source side counts nowhere";

    EXPECT_EQ(nullptr, folders.OpenFileForReading(L"F:\\missing", false));
    EXPECT_EQ(nullptr, folders.OpenFileForReading(L"F:\\", false));
    EXPECT_EQ(nullptr, folders.OpenFileForReading(L"E:\\copy", false)) << "an image drive has no files";
}

TEST_F(BayReadBackTest, PastTheCacheOnlyWholeSectorsIntoSectorAlignedBuffersAreRead)
{
    const std::string strContent = std::string(5000, 'a') + std::string(5000, 'b');
    MakeFolder("e");
    WriteFile("e/file", strContent);
    WriteFile("host", strContent);
    CSimulatedBay bay(Describe("[E:]\nfolder = e\n"));
    struct AlignCase {
        bool bPastCache;
        size_t nOffset;
        uint32_t nBytes;
        bool bRead;
    } const cases[] = {
        {true, 0, 4096, true},     {true, 0, 1048576, true}, {true, 256, 4096, false},
        {true, 4095, 4096, false}, {true, 0, 4095, false},   {true, 0, 6000, false},
        {false, 1, 1000, true},    {false, 0, 4095, true},
    };
    for (const std::wstring& strPath : {std::wstring(L"E:\\file"), Host("host")}) {
        for (const AlignCase& c : cases) {
            SCOPED_TRACE(std::string(c.bPastCache ? "past the cache" : "through the cache") + ", offset "
                         + std::to_string(c.nOffset) + ", " + std::to_string(c.nBytes) + " bytes, "
                         + (strPath[0] == L'E' ? "drive" : "host"));
            const uint64_t nReadBefore = bay.BytesRead(L'E');
            const std::unique_ptr<IFileReader> reader = bay.Folders().OpenFileForReading(strPath, c.bPastCache);
            ASSERT_NE(nullptr, reader);
            const std::string strGot = ReadSome(*reader, c.nBytes, c.nOffset);
            if (c.bRead) {
                EXPECT_TRUE(strGot == strContent.substr(0, c.nBytes));
            } else {
                EXPECT_EQ("(fails)", strGot);
                EXPECT_EQ(nReadBefore, bay.BytesRead(L'E')) << "a refused read counts nothing";
                EXPECT_TRUE(ReadSome(*reader, 4096) == strContent.substr(0, 4096)) << "nor moves the position";
            }
        }
    }
}

TEST_F(BayReadBackTest, AFolderDrivesReadsFailFromTheReadThatCrossesTheirBound)
{
    MakeFolder("e");
    WriteFile("e/a", std::string(65536, 'a'));
    WriteFile("e/b", std::string(65536, 'b'));
    WriteFile("small", "s");
    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 16M\nread-fail-after = 100K\n"));
    IFolderTree& folders = bay.Folders();

    const std::unique_ptr<IFileReader> a = folders.OpenFileForReading(L"E:\\a", true);
    const std::unique_ptr<IFileReader> b = folders.OpenFileForReading(L"E:\\b", true);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(65536u, ReadSome(*a, 65536).size());
    EXPECT_EQ(36864u, ReadSome(*b, 36864).size()) << "up to the bound";
    EXPECT_EQ("(fails)", ReadSome(*b, 4096));
    EXPECT_EQ("(fails)", ReadSome(*a, 4096)) << "every later read, even at the end of a file";
    const std::unique_ptr<IFileReader> later = folders.OpenFileForReading(L"E:\\a", false);
    ASSERT_NE(nullptr, later) << "the file still opens";
    EXPECT_EQ("(fails)", ReadSome(*later, 1));
    EXPECT_EQ(102400u, bay.BytesRead(L'E'));
    EXPECT_TRUE(folders.CopyOneFile(Host("small"), L"E:\\c", nullptr, nullptr, nullptr)) << "writes go on";
}

TEST_F(BayReadBackTest, APulledStickFailsTheReadsOfItsOpenFiles)
{
    MakeFolder("e");
    WriteFile("e/a", std::string(65536, 'a'));
    WriteFile("mib", std::string(1048576, 'm'));
    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 16M\nremove-after = 1000K\n"));
    IFolderTree& folders = bay.Folders();
    const std::unique_ptr<IFileReader> reader = folders.OpenFileForReading(L"E:\\a", true);
    ASSERT_NE(nullptr, reader);
    EXPECT_EQ(4096u, ReadSome(*reader, 4096).size());

    EXPECT_FALSE(folders.CopyOneFile(Host("mib"), L"E:\\b", nullptr, nullptr, nullptr)) << "the write that pulls it";
    EXPECT_EQ("(fails)", ReadSome(*reader, 4096));
    EXPECT_EQ(nullptr, folders.OpenFileForReading(L"E:\\a", true));
    EXPECT_EQ(0u, bay.Volumes().GetLogicalDrives());
    EXPECT_EQ(4096u, bay.BytesRead(L'E'));
}

}  // namespace
