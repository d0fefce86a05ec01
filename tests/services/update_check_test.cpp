// The update check against a release server of the test's own on 127.0.0.1,
// with start-up's prompt on top of it: what it downloads, when it asks,
// what the answer changes, and how the updater is started. A recording
// program stands in for both the program (its version resource says
// "1, 0, 0, 4") and the updater.

#include "app/win32/update_prompt_win32.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <iterator>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/win32/handles_win32.h"
#include "support/child_process_win32.h"
#include "support/gui_wait_win32.h"
#include "support/loopback_http_server_win32.h"
#include "support/refused_system_library_win32.h"
#include "support/test_files.h"
#include "support/window_search_win32.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr wchar_t kMachineKey[] = L"SOFTWARE\\Fennelbridge\\CORVANTIS USB Copy";
constexpr wchar_t kAutoUpdate[] = L"AutoUpdate";
constexpr wchar_t kCaption[] = L"CORVANTIS USB Copy";
constexpr wchar_t kPickerTitle[] = L"Select Folder";
constexpr char kUrlPath[] = "http://dl.example/usbcopy/1.0.0.5";
// The longest a check may take here: its download's own deadline, a prompt
// and a picker, with room to spare.
constexpr std::chrono::milliseconds kCheckBound{45000};

// The download's bounds in the tests of slow servers: each receive 1 s, the
// whole download 3 s; a check held to them returns well within
// kShortCheckBound, and the test's server holds a client twice as long.
const DownloadTiming kShortTiming{std::chrono::milliseconds{2000}, std::chrono::milliseconds{1000},
                                  std::chrono::milliseconds{3000}};
constexpr std::chrono::milliseconds kShortCheckBound{15000};

// What the machine held before the test, put back afterwards.
class CMachineKeySnapshot {
public:
    CMachineKeySnapshot()
    {
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            return;
        CUniqueRegKey key(hKey);
        m_bKey = true;
        DWORD nSize = 0;
        if (RegQueryValueExW(key.get(), kAutoUpdate, nullptr, &m_nType, nullptr, &nSize) == ERROR_SUCCESS) {
            m_value.emplace(nSize, 0);
            RegQueryValueExW(key.get(), kAutoUpdate, nullptr, &m_nType, m_value->data(), &nSize);
        }
    }
    ~CMachineKeySnapshot()
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMachineKey);
        if (!m_bKey)
            return;
        HKEY hKey = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMachineKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr);
        CUniqueRegKey key(hKey);
        if (key && m_value)
            RegSetValueExW(key.get(), kAutoUpdate, 0, m_nType, m_value->data(), static_cast<DWORD>(m_value->size()));
    }

private:
    bool m_bKey = false;
    DWORD m_nType = REG_NONE;
    std::optional<std::vector<BYTE>> m_value;
};

// The value as an administrator leaves it: a number, a text, or (REG_NONE)
// none at all under an existing key.
void SetAutoUpdateValue(DWORD nType, DWORD nNumber, const wchar_t* pszText = L"")
{
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMachineKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &hKey, nullptr));
    CUniqueRegKey key(hKey);
    RegDeleteValueW(key.get(), kAutoUpdate);
    if (nType == REG_NONE)
        return;
    const bool bNumber = nType == REG_DWORD;
    const void* pData = bNumber ? static_cast<const void*>(&nNumber) : pszText;
    const size_t nSize = bNumber ? sizeof(nNumber) : (wcslen(pszText) + 1) * sizeof(wchar_t);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), kAutoUpdate, 0, nType, static_cast<const BYTE*>(pData),
                                            static_cast<DWORD>(nSize)));
}

// The stored number, or nothing when the value is missing or not a DWORD.
std::optional<DWORD> StoredAutoUpdate()
{
    DWORD nType = REG_NONE, nValue = 0, nSize = sizeof(nValue);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kMachineKey, kAutoUpdate, RRF_RT_ANY, &nType, &nValue, &nSize)
            != ERROR_SUCCESS
        || nType != REG_DWORD)
        return std::nullopt;
    return nValue;
}

std::string ReleaseFile(const std::string& strVersion, const std::string& strUrlPath = kUrlPath)
{
    return "[Information]\r\nVersion=" + strVersion + "\r\nURLPath=" + strUrlPath + "\r\n";
}

std::wstring ChildWithText(HWND hParent, const std::wstring& strText)
{
    struct Search {
        const std::wstring& strText;
        bool bFound;
    } search{strText, false};
    EnumChildWindows(
        hParent,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lParam);
            s.bFound = s.bFound || WindowText(hWnd) == s.strText;
            return !s.bFound;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.bFound ? strText : std::wstring();
}

// How the test answers the prompt and the folder picker, and what it saw.
struct PromptScript {
    bool bTick = false;
    int nButton = 1154;        // OK; 1155 is Cancel
    std::wstring strPick;      // empty: cancel the picker
};

struct PromptSeen {
    bool bPrompt = false;
    std::wstring strCaption, strQuestion, strDontShow, strOk, strCancel;
    bool bTopmost = false;
    bool bPicker = false;
    std::wstring strPickerTitle;
};

// Answers from a thread of its own while the check runs modally on the
// test's thread; runs until the check has returned.
class CPromptAnswerer {
public:
    explicit CPromptAnswerer(PromptScript script) : m_script(std::move(script)), m_thread([this] { Run(); }) {}
    PromptSeen Finish()
    {
        m_bStop = true;
        m_thread.join();
        return m_seen;
    }

private:
    void Run()
    {
        HWND hPrompt = nullptr;
        // Past it, whatever holds the check is cancelled so that it returns
        // and the test ends with what it waited for.
        const auto deadline = std::chrono::steady_clock::now() + kCheckBound;
        bool bGaveUp = false;
        while (!m_bStop) {
            if (!bGaveUp && std::chrono::steady_clock::now() >= deadline) {
                bGaveUp = true;
                ADD_FAILURE() << DescribeFailedWait("the update check to return", kCheckBound);
                for (HWND hWnd : TopLevelWindows()) {
                    if (WindowProcessId(hWnd) == GetCurrentProcessId() && WindowClassName(hWnd) == L"#32770")
                        PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                }
            }
            if (hPrompt == nullptr) {
                for (HWND hWnd : FindDialogWindows(kCaption, GetCurrentProcessId())) {
                    if (IsWindowVisible(hWnd) && GetDlgItem(hWnd, 1152) != nullptr)
                        hPrompt = hWnd;
                }
                if (hPrompt != nullptr)
                    AnswerPrompt(hPrompt);
            } else if (!m_seen.bPicker) {
                if (HWND hPicker = FindFolderPicker(hPrompt))
                    AnswerPicker(hPicker);
            }
            std::this_thread::sleep_for(20ms);
        }
    }

    void AnswerPrompt(HWND hPrompt)
    {
        m_seen.bPrompt = true;
        m_seen.strCaption = WindowText(hPrompt);
        m_seen.strQuestion = WindowText(GetDlgItem(hPrompt, 1153));
        m_seen.strDontShow = WindowText(GetDlgItem(hPrompt, 1152));
        m_seen.strOk = WindowText(GetDlgItem(hPrompt, 1154));
        m_seen.strCancel = WindowText(GetDlgItem(hPrompt, 1155));
        m_seen.bTopmost = (GetWindowLongPtrW(hPrompt, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        if (m_script.bTick)
            SendMessageW(GetDlgItem(hPrompt, 1152), BM_CLICK, 0, 0);
        PostMessageW(hPrompt, WM_COMMAND, MAKEWPARAM(m_script.nButton, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hPrompt, m_script.nButton)));
    }

    void AnswerPicker(HWND hPicker)
    {
        m_seen.bPicker = true;
        m_seen.strPickerTitle = ChildWithText(hPicker, kPickerTitle);
        if (m_script.strPick.empty()) {
            PostMessageW(hPicker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        }
        SendMessageW(hPicker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(m_script.strPick.c_str()));
        PostMessageW(hPicker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }

    PromptScript m_script;
    PromptSeen m_seen;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(0, m_server.Port()) << "the release server did not start";
        SetAutoUpdateValue(REG_DWORD, 1);
        fs::copy_file(WindowsPath(RECORD_UPDATER_EXE), ProgramPath());
        fs::copy_file(WindowsPath(RECORD_UPDATER_EXE), m_folder.Path() / "TORQA_Update.exe");
        WriteConfig(m_server.Url(L"/current-release.ini"));
    }

    void WriteConfig(const std::wstring& strUrl)
    {
        WriteTestFile(m_folder.Path() / "TORQA.ini",
                      "[TORQA]\r\nDownloadURL=" + fs::path(strUrl).string() + "\r\n");
    }
    void Offer(const std::string& strBody, int nStatus = 200)
    {
        m_server.SetAnswer("/current-release.ini", {nStatus, strBody, false});
    }
    fs::path ProgramPath() const { return m_folder.Path() / "CorvantisUsbCopy.exe"; }
    fs::path ReleasePath() const { return m_folder.Path() / "current-release.ini"; }
    fs::path ParametersPath() const { return m_folder.Path() / "updater-parameters.txt"; }

    // Runs the check as the recording program while the script answers.
    int RunCheck(const PromptScript& script, PromptSeen& seen, const DownloadTiming& timing = DownloadTiming{})
    {
        CPromptAnswerer answerer(script);
        const int nResult = CheckForUpdateOf(ProgramPath().wstring(), kPickerTitle, timing);
        seen = answerer.Finish();
        return nResult;
    }

    // What the updater was started with; empty, and a failure, when it was
    // not started. The updater moves its file in place whole, but under Wine
    // the move keeps the file open a moment after it has appeared, and a
    // read then is refused: what is waited for is a file that can be read.
    std::string WaitForUpdaterParameters()
    {
        std::string strParameters;
        WaitFor("the updater's parameters", [&] {
            std::ifstream in(ParametersPath(), std::ios::binary);
            if (!in)
                return false;
            strParameters.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return true;
        });
        return strParameters;
    }

    // The product itself, in a folder of its own whose TORQA.ini names the
    // test's server.
    fs::path InstallProduct() const
    {
        const fs::path product = m_folder.Path() / "Product" / "CorvantisUsbCopy.exe";
        fs::create_directories(product.parent_path());
        fs::copy_file(WindowsPath(CORVANTIS_PRODUCT_EXE), product);
        WriteTestFile(product.parent_path() / "TORQA.ini",
                      "[TORQA]\r\nDownloadURL=" + fs::path(m_server.Url(L"/current-release.ini")).string() + "\r\n");
        return product;
    }

    // The server saw the client go away from the answers it held, the
    // expected number of times in all.
    bool WaitForAbandonedAnswers(int nExpected)
    {
        return WaitFor("the server to see its client leave (" + std::to_string(nExpected) + " in all)",
                       [&] { return m_server.AbandonedAnswers() == nExpected; }, std::chrono::milliseconds{5000});
    }

    CMachineKeySnapshot m_machine;
    CTempFolder m_folder;
    // Wine's picker, told to select a folder below the user's Temp, at times
    // stops at the profile folder and selects nothing; below C:\ it does not.
    CTempFolder m_downloads{L"C:\\"};
    CLoopbackHttpServer m_server;
};

TEST_F(UpdateCheckTest, NewerReleaseLeadsThroughPromptAndPickerToTheUpdater)
{
    Offer(ReleaseFile("1.0.0.5"));
    const std::string strDownloads = m_downloads.Path().string();
    const struct {
        std::wstring strPick;
        std::string strExpected;
    } kCases[] = {
        {m_downloads.Path().wstring(),
         "Fennelbridge-SH \"http://dl.example/usbcopy/1.0.0.5\" \"" + strDownloads + "\" 1033"},
        {L"C:\\", "Fennelbridge-SH \"http://dl.example/usbcopy/1.0.0.5\" \"C:\" 1033"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.strExpected);
        fs::remove(ParametersPath());
        PromptSeen seen;
        EXPECT_EQ(0, RunCheck({false, 1154, c.strPick}, seen));
        EXPECT_TRUE(seen.bPrompt);
        EXPECT_EQ(L"CORVANTIS USB Copy", seen.strCaption);
        EXPECT_EQ(L"Will you download a new version of CORVANTIS USB Copy ?", seen.strQuestion);
        EXPECT_EQ(L"Do not show this message again", seen.strDontShow);
        EXPECT_EQ(L"OK", seen.strOk);
        EXPECT_EQ(L"Cancel", seen.strCancel);
        EXPECT_TRUE(seen.bTopmost);
        EXPECT_TRUE(seen.bPicker);
        EXPECT_EQ(L"Select Folder", seen.strPickerTitle);
        EXPECT_EQ(c.strExpected, WaitForUpdaterParameters());
    }
    EXPECT_EQ(std::vector<std::string>({"/current-release.ini", "/current-release.ini"}), m_server.RequestedPaths());
    EXPECT_EQ(1u, StoredAutoUpdate()) << "the box was not ticked";

    // An updater that is not there was not started, whatever was answered.
    // The last one started may still be ending after it wrote its file, and
    // the image of a running program cannot be deleted.
    WaitFor("the updater to end and its file to go", [&] {
        std::error_code error;
        return fs::remove(m_folder.Path() / "TORQA_Update.exe", error);
    });
    PromptSeen seen;
    EXPECT_EQ(-1, RunCheck({false, 1154, m_downloads.Path().wstring()}, seen));
    EXPECT_TRUE(seen.bPicker);
}

TEST_F(UpdateCheckTest, NothingIsShownOrStartedUnlessANewerReleaseArrivesWhole)
{
    const struct {
        const char* pszWhat;
        int nStatus;
        std::string strBody;
    } kCases[] = {
        {"same version", 200, ReleaseFile("1.0.0.4")},
        {"older version", 200, ReleaseFile("1.0.0.3")},
        {"older major", 200, ReleaseFile("0.9.9.9")},
        {"not found", 404, ReleaseFile("1.0.0.5")},
        {"server error", 500, ReleaseFile("1.0.0.5")},
        {"no location", 200, "[Information]\r\nVersion=1.0.0.5\r\n"},
        {"quote in the location", 200, ReleaseFile("1.0.0.5", "http://x/\" /silent \"C:\\evil")},
        {"location ends in a backslash", 200, ReleaseFile("1.0.0.5", "http://x/dir\\")},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        Offer(c.strBody, c.nStatus);
        PromptSeen seen;
        EXPECT_EQ(-1, RunCheck({}, seen));
        EXPECT_FALSE(seen.bPrompt);
    }
    EXPECT_EQ(std::size(kCases), m_server.RequestedPaths().size());

    // Turned off by an administrator after start-up had read it.
    Offer(ReleaseFile("1.0.0.5"));
    SetAutoUpdateValue(REG_DWORD, 0);
    PromptSeen seen;
    EXPECT_EQ(-1, RunCheck({}, seen));
    EXPECT_FALSE(seen.bPrompt);
    EXPECT_FALSE(fs::exists(ParametersPath()));
}

TEST_F(UpdateCheckTest, TickedBoxTurnsTheCheckOffOnlyWithOk)
{
    Offer(ReleaseFile("1.0.0.5"));
    PromptSeen seen;
    EXPECT_EQ(-1, RunCheck({true, 1155, L""}, seen));
    EXPECT_TRUE(seen.bPrompt);
    EXPECT_FALSE(seen.bPicker) << "Cancel ends the check";
    EXPECT_EQ(1u, StoredAutoUpdate()) << "Cancel ignores the box";

    EXPECT_EQ(-1, RunCheck({true, 1154, L""}, seen)) << "the picker was cancelled";
    EXPECT_TRUE(seen.bPicker) << "OK opens the picker, ticked or not";
    EXPECT_EQ(0u, StoredAutoUpdate());
    EXPECT_FALSE(fs::exists(ParametersPath()));
}

// WinINet and version.dll come from the system's folder only; where either
// cannot be had, the check ends as silently as on any other failure.
TEST_F(UpdateCheckTest, WithoutTheSystemsWinInetOrVersionDllTheCheckEndsSilently)
{
    Offer(ReleaseFile("1.0.0.5"));
    const struct {
        const wchar_t* pszDll;
        size_t nRequests;
    } kCases[] = {{L"wininet.dll", 0}, {L"version.dll", 1}};
    size_t nExpected = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(fs::path(c.pszDll).string());
        CRefusedSystemLibrary refused(c.pszDll);
        ASSERT_TRUE(refused.Applied());
        PromptSeen seen;
        EXPECT_EQ(-1, RunCheck({}, seen));
        EXPECT_FALSE(seen.bPrompt);
        nExpected += c.nRequests;
        EXPECT_EQ(nExpected, m_server.RequestedPaths().size());
    }

    // With both at hand the same offer is made.
    PromptSeen seen;
    EXPECT_EQ(-1, RunCheck({}, seen)) << "the picker was cancelled";
    EXPECT_TRUE(seen.bPrompt);
    EXPECT_FALSE(fs::exists(ParametersPath()));
}

TEST_F(UpdateCheckTest, DownloadUrlEndsBeforeItsFirstPercentEscape)
{
    WriteConfig(m_server.Url(L"/release%2Dnotes/current.ini"));
    m_server.SetAnswer("/release", {200, ReleaseFile("1.0.0.4"), false});
    PromptSeen seen;
    EXPECT_EQ(-1, RunCheck({}, seen));
    EXPECT_EQ(std::vector<std::string>({"/release"}), m_server.RequestedPaths());
    EXPECT_EQ(ReleaseFile("1.0.0.4"), ReadTestFile(ReleasePath()));
}

TEST_F(UpdateCheckTest, EachDownloadReplacesTheReleaseFileWithinItsSizeLimit)
{
    WriteTestFile(ReleasePath(), ReleaseFile("9.9.9.9", "http://stale.example/left-over-from-a-longer-file"));
    PromptSeen seen;
    for (const char* pszVersion : {"1.0.0.3", "1.0.0.4"}) {
        Offer(ReleaseFile(pszVersion));
        EXPECT_EQ(-1, RunCheck({}, seen));
        EXPECT_EQ(ReleaseFile(pszVersion), ReadTestFile(ReleasePath()));
    }

    // Exactly the limit is still a release description.
    std::string strFull = ReleaseFile("1.0.0.4") + ";";
    strFull += std::string(1024 * 1024 - strFull.size(), 'p');
    Offer(strFull);
    EXPECT_EQ(-1, RunCheck({}, seen));
    {
        // A description that cannot be replaced must not be read as the new one.
        WriteTestFile(ReleasePath(), ReleaseFile("9.9.9.9"));
        CUniqueFileHandle held(
            CreateFileW(ReleasePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        Offer(ReleaseFile("1.0.0.4"));
        EXPECT_EQ(-1, RunCheck({}, seen));
        EXPECT_FALSE(seen.bPrompt);
    }

    // One byte more, or a body that never ends, is dropped with its file.
    Offer(strFull + "p");
    EXPECT_EQ(-1, RunCheck({}, seen));
    EXPECT_FALSE(fs::exists(ReleasePath()));
    m_server.SetAnswer("/current-release.ini", {200, ReleaseFile("1.0.0.5"), true});
    EXPECT_EQ(-1, RunCheck({}, seen));
    EXPECT_FALSE(seen.bPrompt);
    EXPECT_FALSE(fs::exists(ReleasePath()));

    // So is a body that ends short of the length its head declared: what
    // came may stop inside the location handed to the updater.
    const std::string strNewer = ReleaseFile("1.0.0.5");
    m_server.SetAnswer("/current-release.ini",
                       {200, strNewer, false, false, std::chrono::milliseconds{0}, strNewer.find("usbcopy")});
    EXPECT_EQ(-1, RunCheck({}, seen));
    EXPECT_FALSE(seen.bPrompt);
    EXPECT_FALSE(fs::exists(ReleasePath()));
}

// The product's own start-up asks the server only when AutoUpdate is a
// number other than 0.
TEST_F(UpdateCheckTest, ProductStartUpAsksTheServerOnlyWhenAutoUpdateIsOn)
{
    const fs::path product = InstallProduct();
    Offer(ReleaseFile("0.0.0.1"));

    const struct {
        const char* pszWhat;
        DWORD nType;
        DWORD nNumber;
        const wchar_t* pszText;
        size_t nRequests;
    } kCases[] = {
        {"value missing", REG_NONE, 0, L"", 0},
        {"zero", REG_DWORD, 0, L"", 0},
        {"zero typed as text", REG_SZ, 0, L"0", 0},
        {"one", REG_DWORD, 1, L"", 1},
    };
    size_t nExpected = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        SetAutoUpdateValue(c.nType, c.nNumber, c.pszText);
        CChildProcess program(product.wstring());
        ASSERT_TRUE(program.Started());
        HWND hDlg = WaitForDialogWindow(kCaption, program.ProcessId());
        ASSERT_NE(nullptr, hDlg) << "start-up went on to the main dialog";
        nExpected += c.nRequests;
        EXPECT_EQ(nExpected, m_server.RequestedPaths().size());
        PostMessageW(hDlg, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, program.WaitForExit());
    }
}

// The product gives the connection and each receive 10 s, and the whole
// download 30 s.
TEST(DownloadTimingTest, TheProductsBoundsAreTenSecondsEachAndThirtyInAll)
{
    const DownloadTiming product;
    EXPECT_EQ(10000, product.m_connectTimeout.count());
    EXPECT_EQ(10000, product.m_receiveTimeout.count());
    EXPECT_EQ(30000, product.m_deadline.count());
}

// A server that accepts and then says nothing, stops after the head, or
// sends a byte now and then: the check gives up within its bounds, as
// silently as on any other failure, and leaves no part of the file.
TEST_F(UpdateCheckTest, AServerThatStallsOrDripsCannotHoldTheCheck)
{
    // Newer and whole, were it to arrive: about 27 s at a byte every 250 ms.
    const std::string strBody = ReleaseFile("1.0.0.5") + ";" + std::string(40, 'p');
    const struct {
        const char* pszWhat;
        CLoopbackHttpServer::Answer answer;
    } kCases[] = {
        {"nothing after accepting", {200, strBody, false, true, std::chrono::milliseconds{0}}},
        {"the head, then nothing", {200, strBody, false, false, std::chrono::milliseconds{60000}}},
        {"a byte every 250 ms", {200, strBody, false, false, std::chrono::milliseconds{250}}},
    };
    int nAbandoned = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        m_server.SetAnswer("/current-release.ini", c.answer);
        PromptSeen seen;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(-1, RunCheck({}, seen, kShortTiming));
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(elapsed.count(), kShortCheckBound.count()) << "milliseconds the check took";
        EXPECT_TRUE(WaitForAbandonedAnswers(++nAbandoned)) << "the check waited until the server let go";
        EXPECT_FALSE(seen.bPrompt);
        EXPECT_FALSE(fs::exists(ReleasePath()));
    }
    EXPECT_EQ(std::size(kCases), m_server.RequestedPaths().size());
}

// Start-up asks a server that accepts and then says nothing: the product's
// own bound (10 s) ends the check, and the main dialog comes before the
// test's wait (20 s) or the server's hold (30 s) runs out.
TEST_F(UpdateCheckTest, ProductStartUpGoesOnPastAServerThatSaysNothing)
{
    const fs::path product = InstallProduct();
    m_server.SetAnswer("/current-release.ini",
                       {200, ReleaseFile("1.0.0.5"), false, true, std::chrono::milliseconds{0}});
    CChildProcess program(product.wstring());
    ASSERT_TRUE(program.Started());
    HWND hDlg = WaitForDialogWindow(kCaption, program.ProcessId());
    ASSERT_NE(nullptr, hDlg) << "start-up went on to the main dialog";
    EXPECT_TRUE(WaitForAbandonedAnswers(1)) << "the product gave up before the server let go";
    EXPECT_EQ(std::vector<std::string>({"/current-release.ini"}), m_server.RequestedPaths());
    PostMessageW(hDlg, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.WaitForExit());
}

// Run once per user language: the prompt speaks the user's language, even
// though this process never chose an interface language of its own, and the
// updater is told that language's number.
class DownloadAlarmLanguage : public UpdateCheckTest {};

TEST_F(DownloadAlarmLanguage, PromptAndUpdaterFollowTheUsersLanguage)
{
    wchar_t szLocale[64] = {};
    ASSERT_NE(0u, GetEnvironmentVariableW(L"LC_ALL", szLocale, 64)) << "CTest sets the user's locale";
    const std::wstring strLocale = szLocale;
    const struct {
        const wchar_t* pszLocale;
        LANGID nLangId;
        const wchar_t* pszQuestion;
        const wchar_t* pszDontShow;
        const wchar_t* pszOk;
        const wchar_t* pszCancel;
    } kLanguages[] = {
        {L"ko_KR", 0x0412, L"CORVANTIS USB Copy 최신 버전을 다운로드 하시겠습니까?", L"이 메시지를 다시 표시하지 않음",
         L"확인", L"취소"},
        {L"ja_JP", 0x0411, L"CORVANTIS USB Copyの最新バージョンをダウンロードしますか？",
         L"今後、このメッセー ジを表示しない", L"OK", L"キャンセル"},
        {L"de_DE", 0x0407, L"Will you download a new version of CORVANTIS USB Copy ?",
         L"Do not show this message again", L"OK", L"Cancel"},
        {L"C", 0x0409, L"Will you download a new version of CORVANTIS USB Copy ?", L"Do not show this message again",
         L"OK", L"Cancel"},
    };
    const auto* pLanguage = std::find_if(std::begin(kLanguages), std::end(kLanguages),
                                         [&](const auto& l) { return strLocale.rfind(l.pszLocale, 0) == 0; });
    ASSERT_NE(std::end(kLanguages), pLanguage) << "no expectation for this locale";
    ASSERT_EQ(pLanguage->nLangId, GetUserDefaultLangID()) << "Wine took the locale";

    Offer(ReleaseFile("1.0.0.5"));
    PromptSeen seen;
    EXPECT_EQ(0, RunCheck({false, 1154, m_downloads.Path().wstring()}, seen));
    EXPECT_EQ(pLanguage->pszQuestion, seen.strQuestion);
    EXPECT_EQ(pLanguage->pszDontShow, seen.strDontShow);
    EXPECT_EQ(pLanguage->pszOk, seen.strOk);
    EXPECT_EQ(pLanguage->pszCancel, seen.strCancel);
    EXPECT_EQ(L"CORVANTIS USB Copy", seen.strCaption) << "the template's caption in every language";
    const std::string strParameters = WaitForUpdaterParameters();
    EXPECT_EQ(std::to_string(pLanguage->nLangId), strParameters.substr(strParameters.rfind(' ') + 1))
        << "the last parameter is the language";
}

}  // namespace
