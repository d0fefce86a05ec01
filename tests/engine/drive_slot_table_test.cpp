#include "engine/drive_slot_table.h"

#include <string>

#include <gtest/gtest.h>

#include "bay/simulated_bay.h"
#include "engine/run_control.h"
#include "engine/task_request.h"
#include "support/memory_slot_views.h"
#include "support/recording_volumes.h"

namespace {

BayDescription ParseOrDie(const std::string& strText)
{
    BayDescription description;
    std::string strError;
    EXPECT_TRUE(ParseBayDescription(strText, "/bay", description, strError)) << strError;
    return description;
}

std::string UsbStick(char chLetter)
{
    return std::string("[") + chLetter + ":]\ntype = removable\nbus = usb\nmedia = removable\nsize = 8G\n";
}

// A machine with drives that must qualify and drives that must not.
const char kMixedBay[] =
    "[C:]\ntype = fixed\nbus = sata\nmedia = fixed\nsize = 256G\n"            // internal disk
    "[E:]\ntype = removable\nbus = usb\nmedia = removable\nsize = 8G\n"      // USB stick
    "[F:]\ntype = cdrom\nbus = ata\nmedia = dvd-rom\nsize = 4G\n"            // DVD drive
    "[G:]\ntype = fixed\nbus = usb\nmedia = fixed\nsize = 1T\n"              // USB hard disk
    "[H:]\ntype = removable\nbus = sd\nmedia = removable\nsize = 32G\n"      // card reader, not USB
    "[I:]\ntype = removable\nbus = usb\nmedia = removable\nsize = 0\n"       // no media
    "[J:]\ntype = removable\nbus = usb\nmedia = removable\nsize = 2G\ndevice = \\Device\\Floppy0\n"
    "[K:]\ntype = removable\nbus = unknown\nmedia = removable\nsize = 2G\n"  // bus query fails
    "[L:]\ntype = remote\nbus = usb\nmedia = removable\nsize = 2G\n";       // network share

class DriveSlotTableTest : public ::testing::Test {
protected:
    void UseBay(const std::string& strText)
    {
        m_bay = std::make_unique<CSimulatedBay>(ParseOrDie(strText));
        m_volumes.SetInner(&m_bay->Volumes());
        m_volumes.m_asked.clear();
    }

    std::vector<std::wstring> Letters() const
    {
        std::vector<std::wstring> letters;
        for (const auto& view : m_slots.letters)
            letters.push_back(view.GetText());
        return letters;
    }

    void Scribble()
    {
        for (int i = 0; i < MAX_DRIVE_SLOTS; ++i) {
            m_slots.bars[i].SetPos(55);
            m_slots.statuses[i].SetText(L"E7");
        }
    }

    std::unique_ptr<CSimulatedBay> m_bay;
    CRecordingVolumes m_volumes{nullptr};
    TaskRequest m_request;
    // Whether a run exists, as the dialog would answer.
    class CRunPresence : public IRunPresence {
    public:
        bool IsRunActive() const override { return bActive; }
        bool bActive = false;
    } m_runs;
    CMemorySlots m_slots;
    CDriveSlotTable m_table{m_volumes, m_request, m_runs};

    void SetUp() override { m_slots.BindTo(m_table); }
};

TEST_F(DriveSlotTableTest, OnlyUsbDrivesWithMediaFillSlotsInLetterOrder)
{
    UseBay(kMixedBay);
    Scribble();
    EXPECT_EQ(1, m_table.RefreshDriveSlots());

    ASSERT_EQ(2, m_table.GetDriveCount());
    EXPECT_EQ(4, m_table.GetDriveIndex(0));
    EXPECT_EQ(6, m_table.GetDriveIndex(1));
    std::vector<std::wstring> expected(MAX_DRIVE_SLOTS, L"--");
    expected[0] = L"E:";
    expected[1] = L"G:";
    EXPECT_EQ(expected, Letters());
    for (int i = 0; i < MAX_DRIVE_SLOTS; ++i) {
        EXPECT_EQ(0, m_slots.bars[i].GetPos()) << i;
        EXPECT_EQ(L"", m_slots.statuses[i].GetText()) << i;
    }

    // What the scan spared the drives it turned down.
    EXPECT_EQ("type", m_volumes.AskedOf(L'F')) << "DVD drive";
    EXPECT_EQ("type", m_volumes.AskedOf(L'L')) << "network share";
    EXPECT_EQ("type dos", m_volumes.AskedOf(L'J')) << "floppy drive";
    EXPECT_EQ("type dos bus", m_volumes.AskedOf(L'K')) << "failed bus query";
    EXPECT_EQ("type dos bus media", m_volumes.AskedOf(L'H')) << "card reader";
}

TEST_F(DriveSlotTableTest, MalformedRootsAreNotDrives)
{
    UseBay(UsbStick('E'));
    EXPECT_EQ(1, m_table.IsUsableUsbDrive(L"E:"));
    for (const wchar_t* pszRoot : {L"", L"E", L"E:\\", L"1:", L"EE", L":E"})
        EXPECT_EQ(0, m_table.IsUsableUsbDrive(pszRoot)) << "root \"" << std::string(pszRoot, pszRoot + wcslen(pszRoot)) << "\"";
}

TEST_F(DriveSlotTableTest, TwentyThreeUsableDrivesFillTwentyTwoSlotsAndTheLastIsNotExamined)
{
    std::string strBay;
    for (char ch = 'A'; ch <= 'W'; ++ch)
        strBay += UsbStick(ch);
    UseBay(strBay);

    m_table.RefreshDriveSlots();

    EXPECT_EQ(MAX_DRIVE_SLOTS, m_table.GetDriveCount());
    EXPECT_EQ(L"A:", m_slots.letters[0].GetText());
    EXPECT_EQ(L"V:", m_slots.letters[21].GetText());
    EXPECT_EQ("type dos bus media total", m_volumes.AskedOf(L'V'));
    EXPECT_EQ("", m_volumes.AskedOf(L'W'));
}

TEST_F(DriveSlotTableTest, EachScanLeavesOutTheDriveOfTheSourceAsItIsThen)
{
    UseBay(UsbStick('E') + UsbStick('F'));
    m_request.m_strSourcePath = L"e:\\photos";
    m_table.RefreshDriveSlots();
    EXPECT_EQ(L"F:", m_slots.letters[0].GetText());
    EXPECT_EQ(L"--", m_slots.letters[1].GetText());

    m_request.m_strSourcePath.clear();
    m_table.RefreshDriveSlots();
    EXPECT_EQ(L"E:", m_slots.letters[0].GetText());
    EXPECT_EQ(L"F:", m_slots.letters[1].GetText());
}

TEST_F(DriveSlotTableTest, RescanReplacesTheWholeTable)
{
    UseBay(UsbStick('E') + UsbStick('F') + UsbStick('G'));
    m_table.RefreshDriveSlots();
    ASSERT_EQ(3, m_table.GetDriveCount());
    m_slots.statuses[2].SetText(L"OK");

    UseBay(UsbStick('E') + UsbStick('G'));   // F: pulled out
    m_table.RefreshDriveSlots();

    EXPECT_EQ(2, m_table.GetDriveCount());
    EXPECT_EQ(L"G:", m_slots.letters[1].GetText());
    EXPECT_EQ(L"--", m_slots.letters[2].GetText());
    EXPECT_EQ(L"", m_slots.statuses[2].GetText());

    UseBay("");
    m_table.RefreshDriveSlots();
    EXPECT_EQ(0, m_table.GetDriveCount());
    EXPECT_EQ(std::vector<std::wstring>(MAX_DRIVE_SLOTS, L"--"), Letters());
}

TEST_F(DriveSlotTableTest, ScanIsRefusedWhileARunExists)
{
    UseBay(UsbStick('E'));
    m_table.RefreshDriveSlots();
    m_slots.statuses[0].SetText(L"E5");
    m_slots.bars[0].SetPos(40);

    m_runs.bActive = true;
    UseBay(UsbStick('E') + UsbStick('F'));
    EXPECT_EQ(0, m_table.RefreshDriveSlots());
    EXPECT_TRUE(m_volumes.m_asked.empty()) << "a refused scan asks nothing";
    EXPECT_EQ(1, m_table.GetDriveCount());
    EXPECT_EQ(L"E5", m_slots.statuses[0].GetText());
    EXPECT_EQ(40, m_slots.bars[0].GetPos());
    EXPECT_EQ(L"--", m_slots.letters[1].GetText());

    m_runs.bActive = false;
    EXPECT_EQ(1, m_table.RefreshDriveSlots());
    EXPECT_EQ(2, m_table.GetDriveCount());
    EXPECT_EQ(L"", m_slots.statuses[0].GetText());
}

}  // namespace
