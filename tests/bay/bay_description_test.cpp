#include "bay/bay_description.h"

#include <fstream>

#include <gtest/gtest.h>

namespace {

bool Parse(const std::string& strText, BayDescription& description, std::string& strError)
{
    return ParseBayDescription(strText, "/bays/demo", description, strError);
}

TEST(BayDescriptionTest, ReadsEveryFactOfADrive)
{
    BayDescription bay;
    std::string strError;
    ASSERT_TRUE(Parse("# two drives\n"
                      "[e:]\n"
                      "  folder = sticks/e  \n"
                      "type = fixed\r\n"
                      "device = \\Device\\HarddiskVolume9\n"
                      "bus = USB\n"
                      "media = fixed\n"
                      "size = 16G\n"
                      "free = 1536M\n"
                      "fs = NTFS\n"
                      "label = Ünïcode 标签\n"
                      "\n"
                      "; numbers stand for values without a name\n"
                      "[F]\n"
                      "image = /abs/f.img\n"
                      "type = 6\nbus = 17\nmedia = 54\nsize = 1000\n",
                      bay, strError))
        << strError;
    ASSERT_EQ(2u, bay.drives.size());

    const BayDrive& e = bay.drives[0];
    EXPECT_EQ(L'E', e.chLetter);
    EXPECT_EQ(BayBacking::Folder, e.backing);
    EXPECT_EQ(std::filesystem::path("/bays/demo/sticks/e"), e.backingPath);
    EXPECT_EQ(DRIVE_KIND_FIXED, e.nDriveType);
    EXPECT_EQ(L"\\Device\\HarddiskVolume9", e.strDosDevice);
    EXPECT_EQ(BUS_KIND_USB, e.nBusType);
    EXPECT_EQ(MEDIA_KIND_FIXED, e.nMediaType);
    EXPECT_EQ(16ull << 30, e.nTotalBytes);
    EXPECT_EQ(1536ull << 20, e.nFreeBytes);
    EXPECT_EQ(L"NTFS", e.strFileSystem);
    EXPECT_EQ(L"\u00DCn\u00EFcode \u6807\u7B7E", e.strLabel);

    const BayDrive& f = bay.drives[1];
    EXPECT_EQ(BayBacking::Image, f.backing);
    EXPECT_EQ(std::filesystem::path("/abs/f.img"), f.backingPath);
    EXPECT_EQ(DRIVE_KIND_RAMDISK, f.nDriveType);
    EXPECT_EQ(BUS_KIND_NVME, f.nBusType);
    EXPECT_EQ(MEDIA_KIND_DVD_ROM, f.nMediaType);
    EXPECT_EQ(1000u, f.nTotalBytes);
    EXPECT_EQ(1000u, f.nFreeBytes) << "free defaults to the size";
    EXPECT_EQ(L"\\Device\\HarddiskVolume6", f.strDosDevice) << "a device path of its own by default";
}

TEST(BayDescriptionTest, DefaultsDescribeAnEmptyUsbStick)
{
    BayDescription bay;
    std::string strError;
    ASSERT_TRUE(Parse("[Q:]\n", bay, strError)) << strError;
    const BayDrive& q = bay.drives.at(0);
    EXPECT_EQ(BayBacking::None, q.backing);
    EXPECT_EQ(DRIVE_KIND_REMOVABLE, q.nDriveType);
    EXPECT_EQ(BUS_KIND_USB, q.nBusType);
    EXPECT_EQ(MEDIA_KIND_REMOVABLE, q.nMediaType);
    EXPECT_EQ(0u, q.nTotalBytes);
}

TEST(BayDescriptionTest, MistakesNameTheirLineAndLeaveTheDescriptionAlone)
{
    struct BadCase {
        const char* pszText;
        const char* pszError;
    };
    const BadCase cases[] = {
        {"size = 1G\n", "line 1: a value before the first drive section"},
        {"[E:]\nsize 1G\n", "line 2: expected \"key = value\" or \"[X:]\""},
        {"[E:]\ncolour = red\n", "line 2: unknown key \"colour\""},
        {"[E:]\n[e:]\n", "line 2: drive E: described twice"},
        {"[5:]\n", "line 1: a section names one drive letter, as [E:]"},
        {"[EF:]\n", "line 1: a section names one drive letter, as [E:]"},
        {"[E:\n", "line 1: a section names one drive letter, as [E:]"},
        {"[E:]\nsize = 12X\n", "line 2: bad value for \"size\": \"12X\""},
        {"[E:]\nsize = -1\n", "line 2: bad value for \"size\": \"-1\""},
        {"[E:]\nsize = 99999999999999999999\n", "line 2: bad value for \"size\": \"99999999999999999999\""},
        {"[E:]\nsize = 16777216T\n", "line 2: bad value for \"size\": \"16777216T\""},
        {"[E:]\nbus = firewire\n", "line 2: bad value for \"bus\": \"firewire\""},
        {"[E:]\nmedia = 4294967296\n", "line 2: bad value for \"media\": \"4294967296\""},
        {"[E:]\nfolder = a\nimage = b\n", "line 3: a drive has one backing, a folder or an image"},
        {"[E:]\nlabel = \xff\xfe\n", "line 2: bad value for \"label\": \"\xff\xfe\""},
        {"[E:]\nlabel = \xe6\xa0\n", "line 2: bad value for \"label\": \"\xe6\xa0\""},
        {"[E:]\nsize = 1G\nfree = 2G\n", "drive E: free exceeds size"},
    };
    for (const BadCase& c : cases) {
        BayDescription bay;
        bay.drives.emplace_back();
        std::string strError;
        EXPECT_FALSE(Parse(c.pszText, bay, strError)) << c.pszText;
        EXPECT_EQ(c.pszError, strError) << c.pszText;
        EXPECT_EQ(1u, bay.drives.size()) << "kept as it was: " << c.pszText;
    }
}

TEST(BayDescriptionTest, LoadsRelativeToTheFilesFolder)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "corvantis_bay_load_test";
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / "bay.txt");
        out << "[E:]\nfolder = e\nsize = 1M\n";
    }
    BayDescription bay;
    std::string strError;
    ASSERT_TRUE(LoadBayDescription(dir / "bay.txt", bay, strError)) << strError;
    EXPECT_EQ(dir / "e", bay.drives.at(0).backingPath);

    EXPECT_FALSE(LoadBayDescription(dir / "missing.txt", bay, strError));
    EXPECT_NE(std::string::npos, strError.find("cannot read")) << strError;
    std::filesystem::remove_all(dir);
}

}  // namespace
