// The product's raw volumes on drive letters that Wine opens as image files.
// The fixture (tests/scripts/raw_volume_links.sh) links R: and T: of the
// prefix to r.img and t.img in raw-volumes\ beside this executable; each
// test writes the images it needs. There Wine opens, locks, seeks, reads and
// writes; it can neither dismount a file nor tell its length, and refuses
// the extended access that the lock asks for.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "base/win32/handles_win32.h"
#include "bay/simulated_bay.h"
#include "engine/run_control.h"
#include "engine/sector_copy.h"
#include "framework/afx_app.h"
#include "platform/run_timing.h"
#include "platform/sleeper.h"
#include "platform/win32/raw_volumes_win32.h"

namespace {

constexpr uint32_t CHUNK = 65536;

std::wstring ImagePath(wchar_t chLetter)
{
    std::wstring strExe = AfxGetModuleFileName(nullptr);
    strExe.erase(strExe.find_last_of(L'\\') + 1);
    return strExe + L"raw-volumes\\" + static_cast<wchar_t>(chLetter - L'A' + L'a') + L".img";
}

// Offsets repeat their byte only every 251, which no chunk size divides: a
// chunk at the wrong offset shows.
std::vector<char> Pattern(size_t nSize, unsigned nSeed)
{
    std::vector<char> bytes(nSize);
    for (size_t i = 0; i < nSize; ++i)
        bytes[i] = static_cast<char>((i * 31 + nSeed) % 251);
    return bytes;
}

std::vector<char> Slice(const std::vector<char>& bytes, size_t nOffset, size_t nLength)
{
    return std::vector<char>(bytes.begin() + static_cast<ptrdiff_t>(nOffset),
                             bytes.begin() + static_cast<ptrdiff_t>(nOffset + nLength));
}

// Empty when the bytes are the expected ones; else where they part, which
// says more than a dump of 64 KiB.
std::string Mismatch(const std::vector<char>& actual, const std::vector<char>& expected)
{
    const auto parted = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    if (parted.first == actual.end() && parted.second == expected.end())
        return {};
    return std::to_string(actual.size()) + " bytes where " + std::to_string(expected.size())
        + " were expected, first different at byte " + std::to_string(parted.first - actual.begin());
}

// Images are written and read back with the system's own file calls, not
// through the volume under test.
bool MakeImage(wchar_t chLetter, const std::vector<char>& bytes)
{
    CUniqueFileHandle file(::CreateFileW(ImagePath(chLetter).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ADD_FAILURE() << "error " << ::GetLastError() << " creating the image of " << static_cast<char>(chLetter)
                      << ": (RawVolumeLinks.Make makes its folder)";
        return false;
    }
    DWORD nWritten = 0;
    const BOOL bOk = bytes.empty()
        || ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &nWritten, nullptr);
    EXPECT_TRUE(bOk && nWritten == bytes.size()) << "error " << ::GetLastError() << " writing the image";
    return bOk && nWritten == bytes.size();
}

std::vector<char> ReadImage(wchar_t chLetter)
{
    CUniqueFileHandle file(::CreateFileW(ImagePath(chLetter).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<char> bytes;
    if (!file) {
        ADD_FAILURE() << "error " << ::GetLastError() << " opening the image of " << static_cast<char>(chLetter);
        return bytes;
    }
    char buffer[CHUNK];
    DWORD nRead = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &nRead, nullptr) && nRead > 0)
        bytes.insert(bytes.end(), buffer, buffer + nRead);
    return bytes;
}

// Opened, locked and at its first byte, as the sector copy holds a volume.
std::unique_ptr<IRawVolume> OpenHeld(CWin32RawVolumes& volumes, const wchar_t* pszDevice)
{
    std::unique_ptr<IRawVolume> volume = volumes.OpenVolume(pszDevice);
    if (!volume) {
        ADD_FAILURE() << "no raw volume " << static_cast<char>(pszDevice[0])
                      << ": (RawVolumeLinks.Make links it to its image)";
        return nullptr;
    }
    EXPECT_TRUE(volume->Lock());
    EXPECT_TRUE(volume->SeekTo(0));
    return volume;
}

// A letter with neither a drive nor a raw link.
std::wstring AbsentDevice()
{
    const DWORD dwDrives = ::GetLogicalDrives();
    for (wchar_t chLetter = L'Y'; chLetter > L'D'; --chLetter) {
        if (chLetter != L'R' && chLetter != L'T' && (dwDrives & (1u << (chLetter - L'A'))) == 0)
            return std::wstring{chLetter, L':'};
    }
    return {};
}

TEST(RawVolumesWin32, WhatAVolumeOnAnImageAnswers)
{
    ASSERT_TRUE(MakeImage(L'R', Pattern(3 * CHUNK, 1)));
    CWin32RawVolumes volumes;

    // Every form of a path on the volume opens the device, not a folder.
    for (const wchar_t* pszPath : {L"R:", L"r:", L"R:\\", L"R:\\no such folder"})
        EXPECT_NE(volumes.OpenVolume(pszPath), nullptr) << pszPath;
    const std::wstring strAbsent = AbsentDevice();
    ASSERT_FALSE(strAbsent.empty());
    for (const std::wstring& strPath : {strAbsent, std::wstring(L""), std::wstring(L"\\\\server\\share\\")})
        EXPECT_EQ(volumes.OpenVolume(strPath), nullptr) << "\"" << strPath << "\"";

    std::unique_ptr<IRawVolume> volume = volumes.OpenVolume(L"R:");
    ASSERT_NE(volume, nullptr);
    // Wine refuses the extended access (ERROR_NOT_SUPPORTED); the lock holds
    // all the same.
    EXPECT_TRUE(volume->Lock());
    // ERROR_INVALID_PARAMETER: only a block device can be dismounted.
    EXPECT_FALSE(volume->Dismount());
    // ERROR_NOT_SUPPORTED; the length stays as it was.
    int64_t nLength = -7;
    EXPECT_FALSE(volume->GetLength(nLength));
    EXPECT_EQ(nLength, -7);
    EXPECT_TRUE(volume->SeekTo(0));
}

TEST(RawVolumesWin32, ReadsGiveWholeChunksThenTheShortRestThenNothing)
{
    struct Case {
        size_t nImageSize;
        std::vector<uint32_t> reads;   // the bytes each 64 KiB read gives
    };
    const Case cases[] = {
        {2 * CHUNK, {CHUNK, CHUNK, 0, 0}},
        {2 * CHUNK + 1000, {CHUNK, CHUNK, 1000, 0, 0}},
        {512, {512, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("image of " + std::to_string(c.nImageSize) + " bytes");
        const std::vector<char> image = Pattern(c.nImageSize, 2);
        ASSERT_TRUE(MakeImage(L'R', image));
        CWin32RawVolumes volumes;
        std::unique_ptr<IRawVolume> volume = OpenHeld(volumes, L"R:");
        ASSERT_NE(volume, nullptr);

        std::vector<char> buffer(CHUNK);
        size_t nOffset = 0;
        for (uint32_t nExpected : c.reads) {
            uint32_t nRead = 12345;
            ASSERT_TRUE(volume->Read(buffer.data(), CHUNK, nRead)) << "at " << nOffset;
            ASSERT_EQ(nRead, nExpected) << "at " << nOffset;
            EXPECT_EQ(Mismatch(Slice(buffer, 0, nRead), Slice(image, nOffset, nRead)), "") << "at " << nOffset;
            nOffset += nRead;
        }

        // Back at the first byte after the end was reached.
        uint32_t nRead = 0;
        ASSERT_TRUE(volume->SeekTo(0));
        ASSERT_TRUE(volume->Read(buffer.data(), CHUNK, nRead));
        EXPECT_EQ(nRead, c.reads.front());
        EXPECT_EQ(Mismatch(Slice(buffer, 0, nRead), Slice(image, 0, nRead)), "");
    }
}

TEST(RawVolumesWin32, WrittenChunksLandAtTheirOffsetsAndAShortLastOneEndsTheImage)
{
    const size_t nSize = 3 * CHUNK + 2 * 512;
    ASSERT_TRUE(MakeImage(L'T', std::vector<char>(nSize, '\0')));
    const std::vector<char> first = Pattern(nSize, 3);
    const std::vector<char> second = Pattern(CHUNK, 4);
    {
        CWin32RawVolumes volumes;
        std::unique_ptr<IRawVolume> volume = OpenHeld(volumes, L"T:");
        ASSERT_NE(volume, nullptr);
        for (size_t nOffset = 0; nOffset < nSize; nOffset += CHUNK) {
            const uint32_t nBytes = static_cast<uint32_t>(std::min<size_t>(CHUNK, nSize - nOffset));
            uint32_t nWritten = 0;
            ASSERT_TRUE(volume->Write(first.data() + nOffset, nBytes, nWritten)) << "at " << nOffset;
            ASSERT_EQ(nWritten, nBytes) << "at " << nOffset;
        }
        // A second pass starts at the first byte again.
        uint32_t nWritten = 0;
        ASSERT_TRUE(volume->SeekTo(0));
        ASSERT_TRUE(volume->Write(second.data(), CHUNK, nWritten));
        ASSERT_EQ(nWritten, CHUNK);
        EXPECT_TRUE(volume->Flush());
    }

    std::vector<char> expected = second;
    expected.insert(expected.end(), first.begin() + CHUNK, first.end());
    EXPECT_EQ(Mismatch(ReadImage(L'T'), expected), "");
}

// The product's raw volumes in all but the dismount, which the sector copy
// demands and Wine cannot do on a file: it is asked, and its refusal passed
// over.
class CWineImageVolumes : public IRawVolumes {
public:
    std::unique_ptr<IRawVolume> OpenVolume(const std::wstring& strDevice) override
    {
        std::unique_ptr<IRawVolume> volume = m_volumes.OpenVolume(strDevice);
        return volume ? std::make_unique<CVolume>(std::move(volume)) : nullptr;
    }

private:
    class CVolume : public IRawVolume {
    public:
        explicit CVolume(std::unique_ptr<IRawVolume> volume) : m_volume(std::move(volume)) {}
        bool Lock() override { return m_volume->Lock(); }
        bool Dismount() override
        {
            m_volume->Dismount();
            return true;
        }
        bool SeekTo(int64_t nOffset) override { return m_volume->SeekTo(nOffset); }
        bool Read(void* pBuffer, uint32_t nBytes, uint32_t& nRead) override
        {
            return m_volume->Read(pBuffer, nBytes, nRead);
        }
        bool Write(const void* pBuffer, uint32_t nBytes, uint32_t& nWritten) override
        {
            return m_volume->Write(pBuffer, nBytes, nWritten);
        }
        bool Flush() override { return m_volume->Flush(); }
        bool GetLength(int64_t& nBytes) override { return m_volume->GetLength(nBytes); }
        bool GetSectorSize(uint32_t& nBytes) override { return m_volume->GetSectorSize(nBytes); }
        bool GetPartitionOffset(int64_t& nBytes) override { return m_volume->GetPartitionOffset(nBytes); }

    private:
        std::unique_ptr<IRawVolume> m_volume;
    };

    CWin32RawVolumes m_volumes;
};

TEST(RawVolumesWin32, SectorCopyMakesTheTargetImageTheSourceImage)
{
    // Five whole chunks and a short one, of whole sectors as a volume is.
    const size_t nSize = 5 * CHUNK + 3 * 512;
    const std::vector<char> source = Pattern(nSize, 5);
    ASSERT_TRUE(MakeImage(L'R', source));
    ASSERT_TRUE(MakeImage(L'T', std::vector<char>(nSize, '\0')));

    // Wine knows nothing of these letters but their raw links: the bay tells
    // the engine that they exist and how big they are, which is the length
    // the copy takes where the volume cannot tell its own.
    BayDescription description;
    std::string strError;
    const std::string strSize = std::to_string(nSize);
    ASSERT_TRUE(ParseBayDescription("[R:]\nsize = " + strSize + "\n[T:]\nsize = " + strSize + "\n",
                                    std::filesystem::path(L"C:\\"), description, strError))
        << strError;
    CSimulatedBay bay(std::move(description));
    CWineImageVolumes rawVolumes;
    CThreadSleeper sleeper;
    RunTiming timing;
    timing.m_sectorPoll = std::chrono::milliseconds(1);
    timing.m_nVolumeAttempts = 1;
    timing.m_volumeRetryPause = std::chrono::milliseconds(1);
    CRunControl control;

    CSectorCopy copy(bay.Volumes(), rawVolumes, sleeper, timing);
    ASSERT_EQ(copy.StartSectorCopy(L"R:\\", 1, &control, static_cast<int32_t>(CHUNK)), 1);
    EXPECT_EQ(copy.GetTotalBytes(), static_cast<int64_t>(nSize));
    std::future<int> writer =
        std::async(std::launch::async, [&] { return copy.CopySectorsToDrive(L"T:\\", 1, nullptr); });
    if (writer.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "waited 20 s in vain for the writer onto T: to end; cancelling it";
        control.RequestCancel();
    }
    EXPECT_EQ(writer.get(), 1);
    EXPECT_EQ(copy.ResetSectorCopy(), 1);

    EXPECT_EQ(Mismatch(ReadImage(L'R'), source), "") << "the source changed";
    EXPECT_EQ(Mismatch(ReadImage(L'T'), source), "");
}

}  // namespace
