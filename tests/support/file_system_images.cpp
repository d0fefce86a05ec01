#include "support/file_system_images.h"

#include <fstream>
#include <map>
#include <numeric>

#include "support/file_system_tools.h"
#include "support/test_files.h"

namespace {

constexpr uint32_t FIXTURE_SECTOR_BYTES = 512;

void FillPattern(const std::filesystem::path& image, int64_t nBytes, const std::string& strPattern)
{
    std::string strBlock;
    while (strBlock.size() < (1u << 20))
        strBlock += strPattern;
    strBlock.resize(1u << 20);
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    for (int64_t nDone = 0; nDone < nBytes; nDone += static_cast<int64_t>(strBlock.size()))
        out.write(strBlock.data(), static_cast<std::streamsize>(std::min<int64_t>(strBlock.size(), nBytes - nDone)));
}

// Files of every size class: under a sector, around a chunk, many chunks.
struct PlannedFile {
    const char* pszPath;
    uint64_t nBytes;
    bool bLive;
};

constexpr PlannedFile FAT_FILES[] = {
    {"OLD/STALE1.BIN", 150000, false},  {"DOCS/REPORT.TXT", 3000, true},
    {"DOCS/NOTES/PLAN.TXT", 70000, true}, {"OLD/STALE2.BIN", 300000, false},
    {"MEDIA/CLIP01.BIN", 400000, true}, {"MEDIA/CLIP02.BIN", 131072, true},
    {"README.TXT", 600, true},
};
// ntfscp makes no folders. Each file is larger than an MFT record can hold,
// so none is resident.
constexpr PlannedFile NTFS_FILES[] = {
    {"STALE1.BIN", 150000, false}, {"REPORT.TXT", 3000, true},   {"PLAN.TXT", 70000, true},
    {"STALE2.BIN", 300000, false}, {"CLIP01.BIN", 400000, true}, {"CLIP02.BIN", 131072, true},
};

::testing::AssertionResult Ran(const std::string& strCommand)
{
    const ToolResult result = RunTool(strCommand);
    if (result.nStatus == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << strCommand << ": " << result.nStatus << "\n" << result.strOutput;
}

::testing::AssertionResult FillFat(const std::filesystem::path& image, const std::filesystem::path& scratch,
                                   ImageContent& content)
{
    const std::string strImage = " -i " + Quoted(image) + " ";
    for (const char* pszFolder : {"OLD", "DOCS", "DOCS/NOTES", "MEDIA"}) {
        if (auto made = Ran("mmd" + strImage + "::/" + pszFolder); !made)
            return made;
    }
    for (const PlannedFile& file : FAT_FILES) {
        const std::filesystem::path local = scratch / "file.bin";
        WriteTestFile(local, FixtureContent(file.pszPath, file.nBytes));
        if (auto copied = Ran("mcopy" + strImage + Quoted(local) + " ::/" + file.pszPath); !copied)
            return copied;
        if (file.bLive)
            content.m_files.push_back({file.pszPath, file.nBytes});
    }
    for (const PlannedFile& file : FAT_FILES) {
        if (!file.bLive) {
            if (auto deleted = Ran("mdel" + strImage + "::/" + file.pszPath); !deleted)
                return deleted;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult FillNtfs(const std::filesystem::path& image, const std::filesystem::path& scratch,
                                    ImageContent& content)
{
    for (const PlannedFile& file : NTFS_FILES) {
        const std::filesystem::path local = scratch / "file.bin";
        WriteTestFile(local, FixtureContent(file.pszPath, file.nBytes));
        if (auto copied = Ran("ntfscp -q " + Quoted(image) + " " + Quoted(local) + " /" + file.pszPath); !copied)
            return copied;
        if (file.bLive)
            content.m_files.push_back({file.pszPath, file.nBytes});
    }
    const std::string strListing = RunTool("ntfsls -i " + Quoted(image)).strOutput;
    for (const PlannedFile& file : NTFS_FILES) {
        if (file.bLive)
            continue;
        const size_t nAt = strListing.find(std::string(" ") + file.pszPath);
        if (nAt == std::string::npos)
            return ::testing::AssertionFailure() << file.pszPath << " not in\n" << strListing;
        const size_t nLine = strListing.rfind('\n', nAt) + 1;
        const std::string strInode = strListing.substr(nLine, nAt - nLine);
        if (auto emptied = Ran("ntfstruncate " + Quoted(image) + " " + strInode + " 0x80 0"); !emptied)
            return emptied;
    }
    return ::testing::AssertionSuccess();
}

} // namespace

std::string FixtureContent(const std::string& strPath, uint64_t nBytes)
{
    const uint32_t nSeed =
        std::accumulate(strPath.begin(), strPath.end(), 0u, [](uint32_t n, char ch) { return n + uint8_t(ch); }) % 251;
    std::string strContent;
    strContent.reserve(nBytes + FIXTURE_SECTOR_BYTES);
    for (uint64_t nSector = 0; strContent.size() < nBytes; ++nSector) {
        std::string strSector = "CORVANTIS " + strPath + " SECTOR " + std::to_string(nSector) + "\n";
        for (size_t i = strSector.size(); i < FIXTURE_SECTOR_BYTES; ++i)
            strSector += static_cast<char>((nSeed + nSector * 13 + i * 7) & 0xFF);
        strContent += strSector;
    }
    strContent.resize(nBytes);
    return strContent;
}

::testing::AssertionResult MakeImage(ImageKind eKind, uint32_t nSectorBytes, uint32_t nClusterBytes, int64_t nBytes,
                                     const std::filesystem::path& image, ImageContent& content)
{
    FillPattern(image, nBytes, "STALE BYTES OF AN EARLIER LIFE ");
    const std::filesystem::path scratch = image.string() + ".files";
    std::filesystem::create_directories(scratch);
    const std::string strSectors = std::to_string(nSectorBytes);
    if (eKind == IMAGE_NTFS) {
        if (auto made = Ran("mkfs.ntfs -F -f -Q -q -s " + strSectors + " -c " + std::to_string(nClusterBytes) + " "
                            + Quoted(image));
            !made)
            return made;
        return FillNtfs(image, scratch, content);
    }
    const char* pszBits = eKind == IMAGE_FAT12 ? "12" : eKind == IMAGE_FAT16 ? "16" : "32";
    if (auto made = Ran(std::string("mkfs.fat -F ") + pszBits + " -S " + strSectors + " -s "
                        + std::to_string(nClusterBytes / nSectorBytes) + " " + Quoted(image));
        !made)
        return made;
    return FillFat(image, scratch, content);
}

::testing::AssertionResult UnpackExfatFixture(const std::string& strName, const std::filesystem::path& image,
                                              ImageContent& content)
{
    const std::filesystem::path fixtures = CORVANTIS_FIXTURES_DIR;
    if (auto unpacked = Ran("xz -dc " + Quoted(fixtures / (strName + ".img.xz")) + " > " + Quoted(image));
        !unpacked)
        return unpacked;
    std::ifstream manifest(fixtures / "exfat-manifest.txt");
    std::string strFixture, strPath;
    uint64_t nBytes = 0;
    while (manifest >> strFixture >> strPath >> nBytes) {
        if (strFixture == strName)
            content.m_files.push_back({strPath, nBytes});
    }
    if (content.m_files.empty())
        return ::testing::AssertionFailure() << "no live files of " << strName << " in the manifest";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsConsistent(ImageKind eKind, const std::filesystem::path& image)
{
    if (eKind == IMAGE_EXFAT)
        return Ran("fsck.exfat -n " + Quoted(image));
    if (eKind == IMAGE_NTFS)
        return Ran("ntfsfix -n " + Quoted(image));
    return IsClean(image);
}

::testing::AssertionResult FilesReadBack(ImageKind eKind, const std::filesystem::path& image,
                                         const ImageContent& content)
{
    if (eKind != IMAGE_EXFAT) {
        for (const ImageFile& file : content.m_files) {
            const std::string strRead = eKind == IMAGE_NTFS
                                            ? RunTool("ntfscat " + Quoted(image) + " /" + file.m_strPath).strOutput
                                            : RunTool("mtype -i " + Quoted(image) + " ::/" + file.m_strPath).strOutput;
            if (strRead != FixtureContent(file.m_strPath, file.m_nBytes))
                return ::testing::AssertionFailure() << file.m_strPath << " reads back " << strRead.size()
                                                     << " bytes, not its own " << file.m_nBytes;
        }
        return ::testing::AssertionSuccess();
    }
    // Where each sector's header is in the image, then every sector of
    // every live file compared whole.
    const std::string strImage = ReadTestFile(image);
    std::map<std::string, size_t> sectors;
    for (size_t nAt = 0; nAt + FIXTURE_SECTOR_BYTES <= strImage.size(); nAt += FIXTURE_SECTOR_BYTES) {
        if (strImage.compare(nAt, 10, "CORVANTIS ") == 0)
            sectors[strImage.substr(nAt, strImage.find('\n', nAt) - nAt)] = nAt;
    }
    for (const ImageFile& file : content.m_files) {
        const std::string strContent = FixtureContent(file.m_strPath, file.m_nBytes);
        for (size_t nSector = 0; nSector * FIXTURE_SECTOR_BYTES < strContent.size(); ++nSector) {
            const std::string strPart = strContent.substr(nSector * FIXTURE_SECTOR_BYTES, FIXTURE_SECTOR_BYTES);
            const size_t nHeaderEnd = strPart.find('\n');
            if (nHeaderEnd == std::string::npos)
                return ::testing::AssertionFailure() << file.m_strPath << " ends in a sector too short for its header";
            const auto found = sectors.find(strPart.substr(0, nHeaderEnd));
            if (found == sectors.end() || strImage.compare(found->second, strPart.size(), strPart) != 0)
                return ::testing::AssertionFailure() << file.m_strPath << " sector " << nSector << " not in the image";
        }
    }
    return ::testing::AssertionSuccess();
}

void FillDirty(const std::filesystem::path& image, int64_t nBytes)
{
    FillPattern(image, nBytes, "\xD1RTY\x5A\xA5-");
}
