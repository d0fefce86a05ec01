#include "bay/bay_formatter.h"

#include <tuple>

#include "bay_test_support.h"

namespace {

// FormatEx's callback has no context, so the record is the test's one global.
std::vector<std::string> g_calls;
size_t g_nRefuseAtCall = SIZE_MAX;   // the callback answers 0 to this call (1-based)

int RecordingCallback(uint32_t nCommand, uint32_t, void* pData)
{
    if (nCommand == FMIFS_PROGRESS)
        g_calls.push_back("progress:" + std::to_string(*static_cast<uint32_t*>(pData)));
    else if (nCommand == FMIFS_STRUCTURE_PROGRESS)
        g_calls.push_back(pData == nullptr ? "structure" : "structure with data");
    else if (nCommand == FMIFS_OUTPUT)
        g_calls.push_back("text:" + std::string(static_cast<BayFormatTextOutput*>(pData)->pszText,
                                                static_cast<BayFormatTextOutput*>(pData)->nLength));
    else if (nCommand == FMIFS_DONE)
        g_calls.push_back("done:" + std::to_string(*static_cast<unsigned char*>(pData)));
    else
        g_calls.push_back("command " + std::to_string(nCommand));
    return g_calls.size() == g_nRefuseAtCall ? 0 : 1;
}

class BayFormatterTest : public CBayFolderTest {
protected:
    void Start(const std::string& strDrive)
    {
        g_calls.clear();
        g_nRefuseAtCall = SIZE_MAX;
        MakeFolder("e/sub");
        MakeFolder("g");
        WriteFile("e/sub/f", "data");
        WriteFile("src", "0123456789");
        m_pState = std::make_unique<CBayState>(Describe(
            "[E:]\nfolder = e\nsize = 1M\nfree = 100K\nfs = FAT32\nlabel = OLD\ndeclare = sub/f 50K\n" + strDrive
            + "[I:]\nimage = src\nsize = 1M\n[N:]\nsize = 1M\n[G:]\nfolder = g\nsize = 33G\n"));
        m_pFormatter = std::make_unique<CBayFormatter>(*m_pState);
    }

    void Format(const std::wstring& strRoot, const std::wstring& strFileSystem)
    {
        g_calls.clear();
        std::unique_ptr<IFormatLibrary> pLibrary = m_pFormatter->LoadFormatLibrary();
        ASSERT_TRUE(pLibrary && pLibrary->FindFormatEx());
        pLibrary->FormatEx(strRoot, FMIFS_MEDIA_REMOVABLE, strFileSystem, L"NEW", 1, 4096, RecordingCallback);
    }

    // File system, label, free bytes and whether the folder still holds its file.
    std::wstring Volume() const
    {
        std::wstring strFileSystem, strLabel;
        m_pState->FileSystemName(L'E', strFileSystem);
        m_pState->VolumeLabel(L'E', strLabel);
        return strFileSystem + L" " + strLabel + L" " + std::to_wstring(m_pState->FreeBytes(L'E'))
               + (Exists("e/sub/f") ? L" with files" : L" empty");
    }

    std::unique_ptr<CBayState> m_pState;
    std::unique_ptr<CBayFormatter> m_pFormatter;
};

TEST_F(BayFormatterTest, TheDefaultScriptFormatsTheDriveAfresh)
{
    Start("fail-after = 10\n");
    BayWriteTaken taken;
    ASSERT_TRUE(m_pState->TakeWrite(L'E', 8, BayWriteKind::File, taken));
    m_pState->GiveBack(L'E', 8);
    m_pState->DeclareFileSize(m_root / "src", 77);

    Format(L"e:\\", L"ntfs");
    EXPECT_EQ((std::vector<std::string>{"progress:0", "progress:10", "progress:20", "progress:30", "progress:40",
                                        "progress:50", "progress:60", "progress:70", "progress:80", "progress:90",
                                        "progress:100", "structure", "structure", "structure", "done:1"}),
              g_calls);
    EXPECT_EQ(L"ntfs NEW 1048576 empty", Volume()) << "the file system as given";
    EXPECT_TRUE(std::filesystem::is_directory(m_root / "e")) << "the root stays";
    EXPECT_TRUE(m_pState->TakeWrite(L'E', 8, BayWriteKind::File, taken)) << "the count of bytes written starts again";
    EXPECT_FALSE(m_pState->DeclaredSize(m_root / "e" / "sub" / "f").has_value());
    EXPECT_EQ(std::optional<uint64_t>(77), m_pState->DeclaredSize(m_root / "src")) << "not on the drive";

    const std::vector<BayFormatCall> calls = m_pState->FormatCalls();
    ASSERT_EQ(1u, calls.size());
    const BayFormatCall& call = calls[0];
    EXPECT_EQ(L"e:\\ 11 ntfs NEW 1 4096", call.strRoot + L" " + std::to_wstring(call.nMediaFlag) + L" "
              + call.strFileSystem + L" " + call.strLabel + L" " + std::to_wstring(call.nQuickFormat) + L" "
              + std::to_wstring(call.nClusterSize));
}

TEST_F(BayFormatterTest, ScriptsPlayAsWrittenAndOnlyAnAcceptedSuccessFormats)
{
    const std::string strText = "text:Creating file system structures.";
    struct ScriptCase {
        std::string strScript;
        size_t nRefuseAtCall;
        std::vector<std::string> calls;
        bool bFormats;
    };
    const ScriptCase cases[] = {
        {"progress:5 text,structure done:1", SIZE_MAX, {"progress:5", strText, "structure", "done:1"}, true},
        {"progress:5 done:1 progress:99", SIZE_MAX, {"progress:5", "done:1"}, true},
        {"progress:5 text progress:50 done:1", 2, {"progress:5", strText}, false},
        {"progress:5 done:1", 2, {"progress:5", "done:1"}, false},
        {"progress:5 done:0", SIZE_MAX, {"progress:5", "done:0"}, false},
        {"progress:5 progress:100", SIZE_MAX, {"progress:5", "progress:100"}, false},
        {"", SIZE_MAX, {}, false},
    };
    for (const ScriptCase& c : cases) {
        Start("format = " + c.strScript + "\n");
        g_nRefuseAtCall = c.nRefuseAtCall;
        Format(L"E:", L"FAT32");
        EXPECT_EQ(c.calls, g_calls) << c.strScript;
        EXPECT_EQ(c.bFormats ? L"FAT32 NEW 1048576 empty" : L"FAT32 OLD 102400 with files", Volume()) << c.strScript;
    }
}

TEST_F(BayFormatterTest, WhatTheStandInCannotFormatFailsAtOnce)
{
    Start("fail-after = 0\n");
    const std::vector<std::string> plain{"done:0"};
    const std::tuple<std::wstring, std::wstring, std::vector<std::string>> cases[] = {
        {L"E:\\", L"UDF", plain}, {L"E:\\sub", L"FAT32", plain}, {L"I:\\", L"FAT32", plain},
        {L"N:\\", L"FAT32", plain}, {L"F:\\", L"FAT32", plain},
        // FormatEx makes no FAT32 volume above 32 GiB, and says so first.
        {L"G:\\", L"fat32", {"command 19", "done:0"}},
    };
    for (const auto& [strRoot, strFileSystem, calls] : cases) {
        Format(strRoot, strFileSystem);
        EXPECT_EQ(calls, g_calls) << std::filesystem::path(strRoot).string();
        EXPECT_EQ(L"FAT32 OLD 102400 with files", Volume());
    }
    BayWriteTaken taken;
    EXPECT_FALSE(m_pState->TakeWrite(L'E', 1, BayWriteKind::File, taken));
    Format(L"E:\\", L"exFAT");
    EXPECT_EQ(std::vector<std::string>{"done:0"}, g_calls) << "a pulled stick cannot be formatted";
    EXPECT_EQ(7u, m_pState->FormatCalls().size());
}

TEST_F(BayFormatterTest, TheLibraryMayBeMissingOrLackFormatEx)
{
    MakeFolder("e");
    CSimulatedBay bay(Describe("[E:]\nfolder = e\nsize = 1M\n"));
    EXPECT_TRUE(bay.Formatter().LoadFormatLibrary()->FindFormatEx()) << "present unless told";
    bay.SetFormatterPresence(BayFormatterPresence::NoFormatEx);
    EXPECT_FALSE(bay.Formatter().LoadFormatLibrary()->FindFormatEx());
    bay.SetFormatterPresence(BayFormatterPresence::NoLibrary);
    EXPECT_EQ(nullptr, bay.Formatter().LoadFormatLibrary());
    bay.SetFormatterPresence(BayFormatterPresence::Present);
    g_calls.clear();
    bay.Formatter().LoadFormatLibrary()->FormatEx(L"E:\\", 11, L"FAT", L"L", 0, 0, RecordingCallback);
    ASSERT_FALSE(g_calls.empty());
    EXPECT_EQ("done:1", g_calls.back());
    EXPECT_EQ(1u, bay.FormatCalls().size());
}

}  // namespace
