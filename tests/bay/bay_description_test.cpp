#include "bay/bay_description.h"

#include "bay_test_support.h"

namespace {

using BayDescriptionTest = CBayFolderTest;

TEST_F(BayDescriptionTest, ReadsEveryFactOfADriveAndDefaultsTheRest)
{
    MakeFolder("sticks/e");
    WriteFile("f.img", "");
    BayDescription bay;
    std::string strError;
    ASSERT_TRUE(ParseBayDescription("\xEF\xBB\xBF# two drives, the text with a byte-order mark\n"
                                    "[e:]\n"
                                    "  folder = sticks/./e/  \n"
                                    "type = fixed\r\n"
                                    "device = \\Device\\HarddiskVolume9\n"
                                    "bus = USB\nmedia = fixed\nsize = 16G\nfree = 1536M\nfs = NTFS\n"
                                    "label = Ünïcode 标签\n"
                                    "speed = 20M\nfail-after = 5000000000\n"
                                    "corrupt-after = 3M\nread-speed = 30m\nread-fail-after = 2G\n"
                                    "declare = video/big file.iso 5000000000\n"
                                    "declare = a\\b 4K\n"
                                    "format = progress:0, text  structure,PROGRESS:100 done:0\n"
                                    "format-step = 250\n"
                                    "\n"
                                    "; numbers stand for values without a name\n"
                                    "[F]\n"
                                    "image = " + (m_root / "f.img").string() + "\n"
                                    "type = 6\nbus = 17\nmedia = 54\nsize = 1000\n"
                                    "open-refusals = 2\nlock-refusals = 3\nread-fail-after = 1K\nremove-after = 2M\n"
                                    "wrap-at = 8K\n",
                                    m_root, bay, strError))
        << strError;
    ASSERT_EQ(2u, bay.drives.size());

    const BayDrive& e = bay.drives[0];
    EXPECT_EQ(L'E', e.chLetter);
    EXPECT_EQ(BayBacking::Folder, e.backing);
    EXPECT_EQ(m_root / "sticks" / "e", e.backingPath);
    EXPECT_EQ(DRIVE_KIND_FIXED, e.nDriveType);
    EXPECT_EQ(L"\\Device\\HarddiskVolume9", e.strDosDevice);
    EXPECT_EQ(BUS_KIND_USB, e.nBusType);
    EXPECT_EQ(MEDIA_KIND_FIXED, e.nMediaType);
    EXPECT_EQ(17179869184u, e.nTotalBytes);
    EXPECT_EQ(1610612736u, e.nFreeBytes);
    EXPECT_EQ(L"NTFS", e.strFileSystem);
    EXPECT_EQ(L"\u00DCn\u00EFcode \u6807\u7B7E", e.strLabel);
    EXPECT_EQ(20971520u, e.nWriteSpeed);
    EXPECT_EQ(std::optional<uint64_t>(5000000000u), e.failAfterBytes);
    EXPECT_EQ(std::optional<uint64_t>(3145728u), e.corruptAfterBytes);
    EXPECT_EQ(31457280u, e.nReadSpeed);
    EXPECT_EQ(std::optional<uint64_t>(2147483648u), e.readFailAfterBytes) << "a folder drive's reads fail too";
    EXPECT_FALSE(e.wrapAtBytes.has_value());
    ASSERT_EQ(2u, e.declaredSizes.size());
    EXPECT_EQ(std::filesystem::path("video") / "big file.iso", e.declaredSizes[0].relativePath);
    EXPECT_EQ(5000000000u, e.declaredSizes[0].nBytes);
    EXPECT_EQ(std::filesystem::path("a") / "b", e.declaredSizes[1].relativePath);
    EXPECT_EQ(4096u, e.declaredSizes[1].nBytes);
    EXPECT_EQ((std::vector<BayFormatStep>{{BayFormatStepKind::Progress, 0}, {BayFormatStepKind::Text, 0},
                                          {BayFormatStepKind::Structure, 0}, {BayFormatStepKind::Progress, 100},
                                          {BayFormatStepKind::Done, 0}}),
              e.formatScript);
    EXPECT_EQ(250u, e.nFormatStepMs);

    const BayDrive& f = bay.drives[1];
    EXPECT_EQ(BayBacking::Image, f.backing);
    EXPECT_EQ(m_root / "f.img", f.backingPath);
    EXPECT_EQ(DRIVE_KIND_RAMDISK, f.nDriveType);
    EXPECT_EQ(BUS_KIND_NVME, f.nBusType);
    EXPECT_EQ(MEDIA_KIND_DVD_ROM, f.nMediaType);
    EXPECT_EQ(1000u, f.nTotalBytes);
    EXPECT_EQ(1000u, f.nFreeBytes) << "free defaults to the size";
    EXPECT_EQ(L"\\Device\\HarddiskVolume6", f.strDosDevice) << "a device path of its own by default";
    EXPECT_EQ(L"FAT32", f.strFileSystem);
    EXPECT_EQ(0u, f.nWriteSpeed);
    EXPECT_FALSE(f.failAfterBytes.has_value());
    EXPECT_EQ(2u, f.nOpenRefusals);
    EXPECT_EQ(3u, f.nLockRefusals);
    EXPECT_EQ(std::optional<uint64_t>(1024u), f.readFailAfterBytes);
    EXPECT_EQ(std::optional<uint64_t>(2097152u), f.removeAfterBytes);
    EXPECT_EQ(std::optional<uint64_t>(8192u), f.wrapAtBytes);
    EXPECT_FALSE(f.corruptAfterBytes.has_value());
    EXPECT_EQ(0u, f.nReadSpeed) << "reads unthrottled unless told";
    EXPECT_FALSE(e.removeAfterBytes.has_value());
    std::vector<BayFormatStep> script;
    for (uint32_t nPercent : {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100})
        script.push_back({BayFormatStepKind::Progress, nPercent});
    script.insert(script.end(), 3, {BayFormatStepKind::Structure, 0});
    script.push_back({BayFormatStepKind::Done, 1});
    EXPECT_EQ(script, f.formatScript) << "formats well unless told";
    EXPECT_EQ(0u, f.nFormatStepMs);
}

TEST_F(BayDescriptionTest, MistakesNameTheirLineAndLeaveTheDescriptionAlone)
{
    MakeFolder("a");
    WriteFile("file", "x");
    struct BadCase {
        std::string strText;
        std::string strError;
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
        {"[E:]\nfolder = a\nimage = file\n", "line 3: a drive has one backing, a folder or an image"},
        // Bytes that are not UTF-8 are shown, not passed on to break the message's conversion.
        {"[E:]\nlabel = \xff\xfe\n", "line 2: bad value for \"label\": \"\\xFF\\xFE\""},
        {"[E:]\nlabel = \xe6\xa0\n", "line 2: bad value for \"label\": \"\\xE6\\xA0\""},
        {"[E:]\n\nfolder = sticks/e\n", "line 3: folder \"sticks/e\" does not exist"},
        {"[E:]\nfolder = file\n", "line 2: folder \"file\" is not a folder"},
        {"[E:]\nimage = e.img\n", "line 2: image \"e.img\" does not exist"},
        {"[E:]\nimage = a\n", "line 2: image \"a\" is not a file"},
        {"[E:]\nfolder =\n", "line 2: bad value for \"folder\": \"\""},
        {"[E:]\nfolder = \xff\n", "line 2: bad value for \"folder\": \"\\xFF\""},
        {"[E:]\nsize = 1G\nfree = 2G\n", "line 3: drive E: free exceeds size"},
        {"[E:]\nfree = 2G\nlabel = x\nsize = 1G\n", "line 2: drive E: free exceeds size"},
        {"[E:]\nspeed = fast\n", "line 2: bad value for \"speed\": \"fast\""},
        {"[E:]\nfail-after = 1Q\n", "line 2: bad value for \"fail-after\": \"1Q\""},
        {"[E:]\nfolder = a\ndeclare = big.iso\n", "line 3: bad value for \"declare\": \"big.iso\""},
        {"[E:]\nfolder = a\ndeclare = ../big.iso 5G\n", "line 3: bad value for \"declare\": \"../big.iso 5G\""},
        {"[E:]\nfolder = a\ndeclare = /big.iso 5G\n", "line 3: bad value for \"declare\": \"/big.iso 5G\""},
        {"[E:]\nfolder = a\ndeclare = C:big.iso 5G\n", "line 3: bad value for \"declare\": \"C:big.iso 5G\""},
        {"[E:]\n\ndeclare = big.iso 5G\n", "line 3: drive E: declares a file size but has no folder"},
        {"[E:]\nfolder = a\nlock-refusals = 1\nopen-refusals = 1\n", "line 3: drive E: sets lock-refusals but has no image"},
        {"[E:]\nfolder = a\nwrap-at = 8G\n", "line 3: drive E: sets wrap-at but has no image"},
        {"[E:]\nwrap-at = 8G\n", "line 2: drive E: sets wrap-at but has no image"},
        {"[E:]\nfolder = a\npartition-offset = 1M\n", "line 3: drive E: sets partition-offset but has no image"},
        {"[E:]\nimage = file\npartition-offset = 1024\nsector-size = 4096\n",
         "line 3: drive E: partition-offset is not whole sectors"},
        {"[E:]\nwrap-at = 0\n", "line 2: bad value for \"wrap-at\": \"0\""},
        {"[E:]\nwrap-at = 8 G\n", "line 2: bad value for \"wrap-at\": \"8 G\""},
        {"[E:]\ncorrupt-after = 1.5G\n", "line 2: bad value for \"corrupt-after\": \"1.5G\""},
        {"[E:]\ncorrupt-after =\n", "line 2: bad value for \"corrupt-after\": \"\""},
        {"[E:]\nread-speed = 99999999999999999999\n", "line 2: bad value for \"read-speed\": \"99999999999999999999\""},
        {"[E:]\nread-fail-after = never\n", "line 2: bad value for \"read-fail-after\": \"never\""},
        {"[E:]\nopen-refusals = 4294967296\n", "line 2: bad value for \"open-refusals\": \"4294967296\""},
        {"[E:]\nremove-after = soon\n", "line 2: bad value for \"remove-after\": \"soon\""},
        {"[E:]\nformat = progress:50 done:2\n", "line 2: bad value for \"format\": \"progress:50 done:2\""},
        {"[E:]\nformat = progress:\n", "line 2: bad value for \"format\": \"progress:\""},
        {"[E:]\nformat-step = 60001\n", "line 2: bad value for \"format-step\": \"60001\""},
        // A runaway line is cut after sixty characters, the last of them two bytes long.
        {"[E:]\nbus = " + std::string(59, 'x') + "\xC3\xA9" + std::string(10 << 20, 'y') + "\n",
         "line 2: bad value for \"bus\": \"" + std::string(59, 'x') + "\xC3\xA9...\""},
    };
    for (const BadCase& c : cases) {
        BayDescription bay;
        bay.drives.emplace_back();
        std::string strError;
        EXPECT_FALSE(ParseBayDescription(c.strText, m_root, bay, strError)) << c.strText;
        EXPECT_EQ(c.strError, strError) << c.strText;
        EXPECT_EQ(1u, bay.drives.size()) << "kept as it was: " << c.strText;
    }
}

TEST_F(BayDescriptionTest, LoadsRelativeToTheFilesFolder)
{
    MakeFolder("e");
    WriteFile("bay.txt", "[E:]\nfolder = e\nsize = 1M\n");
    BayDescription bay;
    std::string strError;
    ASSERT_TRUE(LoadBayDescription(m_root / "bay.txt", bay, strError)) << strError;
    EXPECT_EQ(m_root / "e", bay.drives.at(0).backingPath);

    EXPECT_FALSE(LoadBayDescription(m_root / "missing.txt", bay, strError));
    EXPECT_NE(std::string::npos, strError.find("cannot read")) << strError;
}

}  // namespace
