#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "base/win32/handles_win32.h"
#include "engine/aligned_buffer.h"
#include "platform/system_error.h"
#include "platform/win32/folder_tree_win32.h"
#include "platform/win32/system_messages_win32.h"
#include "support/import_patch_win32.h"

namespace {

// Trees are built and read back with the system's own calls, not with the
// class under test.
void WriteBytes(const std::wstring& strPath, const std::vector<char>& bytes)
{
    CUniqueFileHandle file(
        ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << "error " << ::GetLastError();
    DWORD nWritten = 0;
    ASSERT_TRUE(bytes.empty() || ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &nWritten,
                                             nullptr));
    ASSERT_EQ(nWritten, bytes.size());
}

std::vector<char> ReadBytes(const std::wstring& strPath)
{
    CUniqueFileHandle file(::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot open a file to compare");
    std::vector<char> bytes;
    char buffer[4096];
    DWORD nRead = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &nRead, nullptr) && nRead > 0)
        bytes.insert(bytes.end(), buffer, buffer + nRead);
    return bytes;
}

std::vector<char> Pattern(size_t nSize, unsigned nSeed)
{
    std::vector<char> bytes(nSize);
    for (size_t i = 0; i < nSize; ++i)
        bytes[i] = static_cast<char>((i * 31 + nSeed) % 251);
    return bytes;
}

void RemoveTree(const std::wstring& strFolder)
{
    WIN32_FIND_DATAW data{};
    CUniqueFindHandle find(::FindFirstFileW((strFolder + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring strName = data.cFileName;
            if (strName == L"." || strName == L"..")
                continue;
            const std::wstring strPath = strFolder + L"\\" + strName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(strPath);
            else
                ::DeleteFileW(strPath.c_str());
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryW(strFolder.c_str());
}

// A folder of its own under the temporary folder, removed with all it holds.
class CScratchFolder {
public:
    CScratchFolder()
    {
        std::wstring strTemp(MAX_PATH + 1, L'\0');
        strTemp.resize(::GetTempPathW(static_cast<DWORD>(strTemp.size()), strTemp.data()));
        static int s_nNext = 0;
        m_strPath = strTemp + L"corvantis_tree_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                    std::to_wstring(++s_nNext);
        RemoveTree(m_strPath);
        if (!::CreateDirectoryW(m_strPath.c_str(), nullptr))
            throw std::runtime_error("cannot make a scratch folder");
    }
    ~CScratchFolder() { RemoveTree(m_strPath); }

    std::wstring operator/(const std::wstring& strName) const { return m_strPath + L"\\" + strName; }
    const std::wstring& Path() const { return m_strPath; }

private:
    std::wstring m_strPath;
};

// Name, folder flag and size (files only; folders compare as 0), sorted by
// name: the system's order is its own.
using Listed = std::tuple<std::wstring, bool, int64_t>;

std::vector<Listed> Sorted(const std::vector<FolderEntry>& entries)
{
    std::vector<Listed> listed;
    for (const FolderEntry& entry : entries)
        listed.emplace_back(entry.strName, entry.bFolder, entry.bFolder ? 0 : entry.nSize);
    std::sort(listed.begin(), listed.end());
    return listed;
}

std::vector<Listed> ListSorted(CWin32FolderTree& tree, const std::wstring& strFolder)
{
    std::vector<FolderEntry> entries;
    EXPECT_EQ(FOLDER_LISTED, tree.ListFolder(strFolder, entries)) << "listing a folder of the tree";
    return Sorted(entries);
}

const std::wstring NON_ASCII_NAME = L"Gr\u00F6\u00DFe_\u65E5\u672C.txt";

// src\ a.txt (3), empty.bin (0), the non-ASCII file (70000: more than one
// copy block), sub\b.dat (1000), sub\deeper\c.txt (5), hollow\ (empty).
void BuildTree(const std::wstring& strRoot)
{
    ASSERT_TRUE(::CreateDirectoryW(strRoot.c_str(), nullptr));
    WriteBytes(strRoot + L"\\a.txt", {'a', 'b', 'c'});
    WriteBytes(strRoot + L"\\empty.bin", {});
    WriteBytes(strRoot + L"\\" + NON_ASCII_NAME, Pattern(70000, 7));
    ASSERT_TRUE(::CreateDirectoryW((strRoot + L"\\sub").c_str(), nullptr));
    WriteBytes(strRoot + L"\\sub\\b.dat", Pattern(1000, 3));
    ASSERT_TRUE(::CreateDirectoryW((strRoot + L"\\sub\\deeper").c_str(), nullptr));
    WriteBytes(strRoot + L"\\sub\\deeper\\c.txt", {'h', 'e', 'l', 'l', 'o'});
    ASSERT_TRUE(::CreateDirectoryW((strRoot + L"\\hollow").c_str(), nullptr));
}

int CountProgress(int64_t /*nTransferred*/, void* pContext)
{
    ++*static_cast<int*>(pContext);
    return COPY_PROGRESS_CONTINUE;
}

// The file copy's walk, in small: every folder made, every file copied.
void CopyTree(CWin32FolderTree& tree, const std::wstring& strFrom, const std::wstring& strTo)
{
    std::vector<FolderEntry> entries;
    ASSERT_EQ(FOLDER_LISTED, tree.ListFolder(strFrom, entries));
    for (const FolderEntry& entry : entries) {
        if (entry.strName == L"." || entry.strName == L"..")
            continue;
        const std::wstring strSource = strFrom + L"\\" + entry.strName;
        const std::wstring strTarget = strTo + L"\\" + entry.strName;
        if (entry.bFolder) {
            ASSERT_TRUE(tree.MakeFolder(strTarget));
            CopyTree(tree, strSource, strTarget);
        } else {
            // Wine never calls the routine nor reads the flag: only the
            // copying itself is checked here.
            int nCalls = 0;
            const std::atomic<int32_t> nCancel{0};
            ASSERT_TRUE(tree.CopyOneFile(strSource, strTarget, &CountProgress, &nCalls, &nCancel));
        }
    }
}

TEST(FolderTreeWin32, ListsEveryEntryWithItsKindAndSize)
{
    CScratchFolder scratch;
    const std::wstring strSource = scratch / L"src";
    BuildTree(strSource);
    CWin32FolderTree tree;

    const std::vector<Listed> expected{
        {L".", true, 0},
        {L"..", true, 0},
        {L"Gr\u00F6\u00DFe_\u65E5\u672C.txt", false, 70000},
        {L"a.txt", false, 3},
        {L"empty.bin", false, 0},
        {L"hollow", true, 0},
        {L"sub", true, 0},
    };
    std::vector<FolderEntry> entries;
    ASSERT_EQ(FOLDER_LISTED, tree.ListFolder(strSource, entries));
    EXPECT_EQ(Sorted(entries), expected);
    // Listing the same folder again replaces what the vector held.
    ASSERT_EQ(FOLDER_LISTED, tree.ListFolder(strSource + L"\\", entries));
    EXPECT_EQ(Sorted(entries), expected);

    ASSERT_EQ(FOLDER_LISTED, tree.ListFolder(strSource + L"\\hollow", entries));
    EXPECT_EQ(Sorted(entries), (std::vector<Listed>{{L".", true, 0}, {L"..", true, 0}}));

    // A root, given with its backslash.
    ASSERT_EQ(FOLDER_LISTED, tree.ListFolder(L"C:\\", entries));
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const FolderEntry& entry) {
        return entry.bFolder && ::lstrcmpiW(entry.strName.c_str(), L"windows") == 0;
    }));
}

TEST(FolderTreeWin32, SizesBeyondFourGiBTakeTheHighWord)
{
    CScratchFolder scratch;
    {
        // Sparse: the length is set, nothing is written.
        CUniqueFileHandle file(::CreateFileW((scratch / L"big.img").c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER size;
        size.QuadPart = 5368709121LL;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.get()));
    }
    CWin32FolderTree tree;
    std::vector<FolderEntry> entries;
    ASSERT_EQ(FOLDER_LISTED, tree.ListFolder(scratch.Path(), entries));
    const auto big = std::find_if(entries.begin(), entries.end(),
                                  [](const FolderEntry& entry) { return entry.strName == L"big.img"; });
    ASSERT_NE(big, entries.end());
    EXPECT_EQ(big->nSize, 5368709121LL);
}

TEST(FolderTreeWin32, CopiesATreeFileByFileByteForByte)
{
    CScratchFolder scratch;
    const std::wstring strSource = scratch / L"src";
    const std::wstring strTarget = scratch / L"dst";
    BuildTree(strSource);
    ASSERT_TRUE(::CreateDirectoryW(strTarget.c_str(), nullptr));

    CWin32FolderTree tree;
    CopyTree(tree, strSource, strTarget);

    for (const wchar_t* pszFolder : {L"", L"\\sub", L"\\sub\\deeper", L"\\hollow"})
        EXPECT_EQ(ListSorted(tree, strTarget + pszFolder), ListSorted(tree, strSource + pszFolder));
    for (const std::wstring& strFile :
         {std::wstring(L"\\a.txt"), std::wstring(L"\\empty.bin"), L"\\" + NON_ASCII_NAME,
          std::wstring(L"\\sub\\b.dat"), std::wstring(L"\\sub\\deeper\\c.txt")})
        EXPECT_EQ(ReadBytes(strTarget + strFile), ReadBytes(strSource + strFile));
    EXPECT_EQ(ReadBytes(strTarget + L"\\" + NON_ASCII_NAME), Pattern(70000, 7));
}

TEST(FolderTreeWin32, CopyReplacesAnExistingFile)
{
    CScratchFolder scratch;
    WriteBytes(scratch / L"new.txt", {'n', 'e', 'w'});
    WriteBytes(scratch / L"old.txt", Pattern(5000, 1));
    CWin32FolderTree tree;

    // Neither a routine nor a cancel flag: the system copies unwatched.
    ASSERT_TRUE(tree.CopyOneFile(scratch / L"new.txt", scratch / L"old.txt", nullptr, nullptr, nullptr));
    EXPECT_EQ(ReadBytes(scratch / L"old.txt"), (std::vector<char>{'n', 'e', 'w'}));

    EXPECT_FALSE(tree.CopyOneFile(scratch / L"missing.txt", scratch / L"old.txt", nullptr, nullptr, nullptr));
    EXPECT_EQ(ReadBytes(scratch / L"old.txt"), (std::vector<char>{'n', 'e', 'w'}));
}

// ReadFile held to what Windows demands of a handle opened with
// FILE_FLAG_NO_BUFFERING: the buffer starts on a sector, and the transfer
// starts at a sector's offset in the file and is whole sectors long (4096
// covers every sector size in use); otherwise ERROR_INVALID_PARAMETER.
// Wine 8 does not demand it: it opens such a file without O_DIRECT, reads
// through the host's cache and takes any buffer, offset and length. So the
// rules stand in front of Wine's ReadFile here.
using ReadFileFunction = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
ReadFileFunction g_pSystemReadFile = nullptr;

BOOL WINAPI ReadFileOnSectors(HANDLE hFile, LPVOID pBuffer, DWORD nBytes, LPDWORD pnRead, LPOVERLAPPED pOverlapped)
{
    LARGE_INTEGER zero{}, position{};
    if (!::SetFilePointerEx(hFile, zero, &position, FILE_CURRENT))
        return FALSE;
    if (reinterpret_cast<uintptr_t>(pBuffer) % 4096 != 0 || nBytes % 4096 != 0 || position.QuadPart % 4096 != 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return g_pSystemReadFile(hFile, pBuffer, nBytes, pnRead, pOverlapped);
}

// CreateFileW that notes the flags it was given: Wine shows no sign of
// FILE_FLAG_NO_BUFFERING, so the reader's request is checked where it is made.
using CreateFileFunction = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
CreateFileFunction g_pSystemCreateFile = nullptr;
DWORD g_dwFlagsSeen = 0;

HANDLE WINAPI CreateFileNotingFlags(LPCWSTR pszName, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                                    DWORD dwDisposition, DWORD dwFlags, HANDLE hTemplate)
{
    g_dwFlagsSeen = dwFlags;
    return g_pSystemCreateFile(pszName, dwAccess, dwShare, pSecurity, dwDisposition, dwFlags, hTemplate);
}

TEST(FolderTreeWin32, ReadsAFileWholeInSectorAlignedMegabytesPastTheCacheOrThroughIt)
{
    // The system's own, which the patched imports no longer reach.
    const HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    g_pSystemReadFile =
        reinterpret_cast<ReadFileFunction>(reinterpret_cast<void*>(::GetProcAddress(hKernel, "ReadFile")));
    g_pSystemCreateFile =
        reinterpret_cast<CreateFileFunction>(reinterpret_cast<void*>(::GetProcAddress(hKernel, "CreateFileW")));
    ASSERT_TRUE(g_pSystemReadFile && g_pSystemCreateFile);
    CScratchFolder scratch;
    CWin32FolderTree tree;
    CAlignedBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(1048576));
    struct LengthCase {
        size_t nLength;
        std::vector<uint32_t> reads;   // what each 1 MiB request gives, up to the first 0
    } const cases[] = {
        {70000, {70000, 0}},
        {1048576 + 70000, {1048576, 70000, 0}},
        {2 * 1048576, {1048576, 1048576, 0}},
        {0, {0}},
    };
    for (const LengthCase& c : cases) {
        const std::vector<char> bytes = Pattern(c.nLength, 5);
        WriteBytes(scratch / L"file.bin", bytes);
        for (const bool bPastCache : {true, false}) {
            SCOPED_TRACE(std::to_string(c.nLength) + (bPastCache ? " bytes past the cache" : " bytes through it"));
            std::unique_ptr<IFileReader> reader;
            {
                CImportPatch patch("CreateFileW", reinterpret_cast<void*>(&CreateFileNotingFlags));
                ASSERT_TRUE(patch.Applied());
                reader = tree.OpenFileForReading(scratch / L"file.bin", bPastCache);
            }
            ASSERT_NE(nullptr, reader);
            EXPECT_EQ(bPastCache, (g_dwFlagsSeen & FILE_FLAG_NO_BUFFERING) != 0);
            std::vector<uint32_t> reads;
            std::vector<char> back;
            {
                std::unique_ptr<CImportPatch> pPatch;
                if (bPastCache) {
                    pPatch = std::make_unique<CImportPatch>("ReadFile", reinterpret_cast<void*>(&ReadFileOnSectors));
                    ASSERT_TRUE(pPatch->Applied());
                }
                uint32_t nRead = 1;
                while (nRead != 0 && reads.size() < 8) {
                    ASSERT_TRUE(reader->Read(buffer.data(), 1048576, nRead)) << "error " << ::GetLastError();
                    reads.push_back(nRead);
                    back.insert(back.end(), buffer.data(), buffer.data() + nRead);
                }
                ASSERT_TRUE(reader->Read(buffer.data(), 1048576, nRead)) << "the end stays the end";
                EXPECT_EQ(0u, nRead);
            }
            EXPECT_EQ(c.reads, reads);
            EXPECT_TRUE(back == bytes);
        }
    }

    EXPECT_EQ(nullptr, tree.OpenFileForReading(scratch / L"missing.bin", true));
    EXPECT_EQ(nullptr, tree.OpenFileForReading(scratch / L"missing.bin", false));
    EXPECT_EQ(nullptr, tree.OpenFileForReading(scratch.Path(), false)) << "a folder is no file to read";
}

TEST(FolderTreeWin32, MakeFolderRefusesWhatExistsAndPathExistsAgrees)
{
    CScratchFolder scratch;
    CWin32FolderTree tree;
    const std::wstring strFolder = scratch / L"made";

    EXPECT_FALSE(tree.PathExists(strFolder));
    EXPECT_TRUE(tree.MakeFolder(strFolder));
    EXPECT_TRUE(tree.PathExists(strFolder));
    EXPECT_FALSE(tree.MakeFolder(strFolder));
    EXPECT_TRUE(tree.PathExists(strFolder));

    WriteBytes(scratch / L"file.txt", {'x'});
    EXPECT_FALSE(tree.MakeFolder(scratch / L"file.txt"));
    EXPECT_TRUE(tree.PathExists(scratch / L"file.txt"));

    EXPECT_FALSE(tree.MakeFolder(scratch / L"no\\parent"));
    EXPECT_FALSE(tree.PathExists(scratch / L"no\\parent"));
    EXPECT_FALSE(tree.PathExists(scratch / L"no"));
}

TEST(FolderTreeWin32, PathsThatNameNoFolderFailCleanly)
{
    CScratchFolder scratch;
    WriteBytes(scratch / L"file.txt", {'x'});
    CWin32FolderTree tree;
    std::vector<FolderEntry> entries{{L"stale", false, 1}};

    EXPECT_EQ(FOLDER_NOT_FOUND, tree.ListFolder(scratch / L"missing", entries));
    EXPECT_TRUE(entries.empty());
    // An empty path would become "\*", the current drive's root.
    EXPECT_EQ(FOLDER_LIST_FAILED, tree.ListFolder(L"", entries));
    EXPECT_TRUE(entries.empty());

    // A name of 290 characters is more than any file system keeps (255):
    // every call fails, and nothing is cut short into a path that works.
    const std::wstring strLong = scratch / std::wstring(290, L'n');
    EXPECT_NE(FOLDER_LISTED, tree.ListFolder(strLong, entries));
    EXPECT_FALSE(tree.MakeFolder(strLong));
    EXPECT_FALSE(tree.PathExists(strLong));
    EXPECT_FALSE(tree.CopyOneFile(scratch / L"file.txt", strLong, nullptr, nullptr, nullptr));
    EXPECT_FALSE(tree.CopyOneFile(strLong, scratch / L"copy.txt", nullptr, nullptr, nullptr));
    EXPECT_FALSE(tree.PathExists(scratch / L"copy.txt"));
    ASSERT_EQ(FOLDER_LISTED, tree.ListFolder(scratch.Path(), entries));
    EXPECT_EQ(entries.size(), 3u) << "only ., .. and file.txt";
}

// Without "\\?\" Windows stops at MAX_PATH; in that form it takes the path
// as it stands, so the form must be full and its separators single (Wine
// refuses "\\?\C:\a\\b" with ERROR_INVALID_NAME).
TEST(FolderTreeWin32, EveryPathGoesToTheSystemInItsExtendedForm)
{
    const std::pair<const wchar_t*, const wchar_t*> forms[] = {
        {L"E:\\", L"\\\\?\\E:\\"},
        {L"E:\\\\top.txt", L"\\\\?\\E:\\top.txt"},
        {L"E:/a/./b/../c", L"\\\\?\\E:\\a\\c"},
        {L"\\\\server\\share\\d", L"\\\\?\\UNC\\server\\share\\d"},
        {L"\\\\?\\E:\\as is", L"\\\\?\\E:\\as is"},
        {L"\\\\.\\E:", L"\\\\.\\E:"},
    };
    for (const auto& [pszPath, pszExtended] : forms)
        EXPECT_EQ(std::wstring(pszExtended), ExtendedLengthPath(pszPath));
}

// The system's own functions, which a patched import no longer reaches.
template <class Fn>
Fn SystemFunction(const char* pszName)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), pszName)));
}

std::wstring g_strMadeFolder;
BOOL WINAPI RecordingCreateDirectory(LPCWSTR pszPath, LPSECURITY_ATTRIBUTES pSecurity)
{
    g_strMadeFolder = pszPath;
    return SystemFunction<decltype(&::CreateDirectoryW)>("CreateDirectoryW")(pszPath, pSecurity);
}

// Wine takes long paths even without the prefix, so the tree's calls are
// watched too: what reaches the system is the extended form. Each level is
// joined with a doubled separator, as a copy joins a root to a name.
TEST(FolderTreeWin32, ATreeDeeperThanMaxPathIsMadeCopiedListedAndRead)
{
    CScratchFolder scratch;
    WriteBytes(scratch / L"src.bin", Pattern(5000, 9));
    CWin32FolderTree tree;
    std::wstring strDeep = scratch.Path();
    {
        CImportPatch patch("CreateDirectoryW", reinterpret_cast<void*>(&RecordingCreateDirectory));
        ASSERT_TRUE(patch.Applied());
        for (wchar_t ch : {L'a', L'b', L'c'}) {
            strDeep += L"\\\\" + std::wstring(100, ch);
            ASSERT_TRUE(tree.MakeFolder(strDeep)) << strDeep.size();
            EXPECT_EQ(ExtendedLengthPath(strDeep), g_strMadeFolder);
            EXPECT_EQ(0u, g_strMadeFolder.rfind(L"\\\\?\\", 0));
        }
    }
    const std::wstring strFile = strDeep + L"\\f.bin";
    ASSERT_GT(strFile.size(), 300u);
    ASSERT_TRUE(tree.CopyOneFile(scratch / L"src.bin", strFile, nullptr, nullptr, nullptr));
    EXPECT_TRUE(tree.PathExists(strFile));
    EXPECT_EQ((std::vector<Listed>{{L".", true, 0}, {L"..", true, 0}, {L"f.bin", false, 5000}}), ListSorted(tree, strDeep));
    const std::unique_ptr<IFileReader> reader = tree.OpenFileForReading(strFile, false);
    ASSERT_NE(reader, nullptr);
    std::vector<char> bytes(8192);
    uint32_t nRead = 0;
    ASSERT_TRUE(reader->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), nRead));
    bytes.resize(nRead);
    EXPECT_EQ(Pattern(5000, 9), bytes);
}

// FindFirstFileW and FindNextFileW as the system answers when a folder is
// denied, gone or on a device that fails: the first g_nNextsLeft calls of
// FindNextFileW go to the system's own (which the patched import no longer
// reaches), the next fails with g_nNextError; FindFirstFileW fails with
// g_nFirstError.
int g_nNextsLeft = 0;
DWORD g_nNextError = ERROR_SUCCESS;
DWORD g_nFirstError = ERROR_SUCCESS;
using FindNextFileFn = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
const auto g_pfnSystemFindNext = reinterpret_cast<FindNextFileFn>(
    reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "FindNextFileW")));
BOOL WINAPI FindNextFileThatBreaksOff(HANDLE hFind, LPWIN32_FIND_DATAW pData)
{
    if (g_nNextsLeft-- > 0)
        return g_pfnSystemFindNext(hFind, pData);
    ::SetLastError(g_nNextError);
    return FALSE;
}
HANDLE WINAPI FindFirstFileThatFails(LPCWSTR, LPWIN32_FIND_DATAW)
{
    ::SetLastError(g_nFirstError);
    return INVALID_HANDLE_VALUE;
}

TEST(FolderTreeWin32, OnlyADeniedListingIsToldAsDeniedAndABrokenOneAsFailed)
{
    CScratchFolder scratch;
    for (const wchar_t* pszName : {L"a.txt", L"b.txt", L"c.txt"})
        WriteBytes(scratch / pszName, {'x'});
    CWin32FolderTree tree;
    TakeSeamError();   // what earlier tests on this thread left
    const struct {
        int nNexts;
        DWORD nError;
        FolderListing expected;
        size_t nEntries;
    } breaks[] = {
        {100, ERROR_SUCCESS, FOLDER_LISTED, 5},   // ".", "..", and the three: the system's own end
        {2, ERROR_NETNAME_DELETED, FOLDER_LIST_FAILED, 0},
        // Denied part-way is no folder denied to everyone.
        {0, ERROR_ACCESS_DENIED, FOLDER_LIST_FAILED, 0},
    };
    for (const auto& c : breaks) {
        g_nNextsLeft = c.nNexts;
        g_nNextError = c.nError;
        std::vector<FolderEntry> entries;
        FolderListing listing = FOLDER_LIST_FAILED;
        {
            CImportPatch patch("FindNextFileW", reinterpret_cast<void*>(&FindNextFileThatBreaksOff));
            ASSERT_TRUE(patch.Applied());
            listing = tree.ListFolder(scratch.Path(), entries);
        }
        EXPECT_EQ(c.expected, listing) << c.nError;
        EXPECT_EQ(c.nEntries, entries.size()) << "a broken listing gives nothing that could pass for the folder";
        EXPECT_EQ(listing == FOLDER_LISTED ? 0u : c.nError, TakeSeamError()) << "the system's reason is kept";
    }
    const std::pair<DWORD, FolderListing> firsts[] = {
        {ERROR_ACCESS_DENIED, FOLDER_ACCESS_DENIED},   {ERROR_PATH_NOT_FOUND, FOLDER_NOT_FOUND},
        {ERROR_NOT_READY, FOLDER_LIST_FAILED},         {ERROR_DEV_NOT_EXIST, FOLDER_LIST_FAILED},
        {ERROR_FILE_NOT_FOUND, FOLDER_LISTED},   // an empty root
    };
    for (const auto& [nError, expected] : firsts) {
        g_nFirstError = nError;
        std::vector<FolderEntry> entries;
        CImportPatch patch("FindFirstFileW", reinterpret_cast<void*>(&FindFirstFileThatFails));
        ASSERT_TRUE(patch.Applied());
        EXPECT_EQ(expected, tree.ListFolder(scratch.Path(), entries)) << nError;
        EXPECT_TRUE(entries.empty());
        EXPECT_EQ(expected == FOLDER_LISTED ? 0u : nError, TakeSeamError()) << nError;
    }
}

// The balloon's line takes the system's own text for a reason: one line,
// without the line break the system ends it with.
TEST(FolderTreeWin32, TheSystemsTextForAReasonIsOneLine)
{
    CWin32SystemMessages messages;
    for (const DWORD nError : {ERROR_NOT_READY, ERROR_WRITE_PROTECT, ERROR_SHARING_VIOLATION}) {
        std::wstring strText;
        ASSERT_TRUE(messages.DescribeError(nError, strText)) << nError;
        EXPECT_FALSE(strText.empty());
        EXPECT_EQ(std::wstring::npos, strText.find_first_of(L"\r\n")) << nError;
    }
    std::wstring strText;
    EXPECT_FALSE(messages.DescribeError(0x2000ABCDu, strText)) << "a number of no system message";
}

// Wine opens "\\.\C:" but its FlushFileBuffers refuses a volume, which
// Windows flushes whole: the flush is watched and answered here.
std::wstring g_strOpened;
DWORD g_nOpenedAccess = 0;
DWORD g_nOpenedShare = 0;
HANDLE g_hOpened = nullptr;
HANDLE g_hFlushed = nullptr;
BOOL g_bFlushAnswer = TRUE;
HANDLE WINAPI RecordingCreateFile(LPCWSTR pszPath, DWORD nAccess, DWORD nShare, LPSECURITY_ATTRIBUTES pSecurity,
                                  DWORD nDisposition, DWORD nFlags, HANDLE hTemplate)
{
    g_strOpened = pszPath;
    g_nOpenedAccess = nAccess;
    g_nOpenedShare = nShare;
    g_hOpened = SystemFunction<decltype(&::CreateFileW)>("CreateFileW")(pszPath, nAccess, nShare, pSecurity,
                                                                          nDisposition, nFlags, hTemplate);
    return g_hOpened;
}
BOOL WINAPI AnsweringFlush(HANDLE hFile)
{
    g_hFlushed = hFile;
    return g_bFlushAnswer;
}

TEST(FolderTreeWin32, FlushVolumeFlushesTheWholeVolumeOfTheRoot)
{
    CWin32FolderTree tree;
    for (const BOOL bAnswer : {TRUE, FALSE}) {
        g_bFlushAnswer = bAnswer;
        g_hFlushed = nullptr;
        bool bFlushed = false;
        {
            CImportPatch open("CreateFileW", reinterpret_cast<void*>(&RecordingCreateFile));
            CImportPatch flush("FlushFileBuffers", reinterpret_cast<void*>(&AnsweringFlush));
            ASSERT_TRUE(open.Applied() && flush.Applied());
            bFlushed = tree.FlushVolume(L"c:\\sub");
        }
        EXPECT_EQ(bAnswer != FALSE, bFlushed);
        EXPECT_EQ(L"\\\\.\\C:", g_strOpened);
        EXPECT_EQ(static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE), g_nOpenedAccess) << "a flush needs write access";
        EXPECT_EQ(static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE), g_nOpenedShare);
        EXPECT_NE(INVALID_HANDLE_VALUE, g_hOpened);
        EXPECT_EQ(g_hOpened, g_hFlushed);
    }
    EXPECT_FALSE(tree.FlushVolume(L"\\\\server\\share")) << "no volume of a drive letter";
}

// Wine's CopyFileExW never calls its routine, so the routine is driven here
// as the system would drive it.
int g_nAnswer = 0;
int64_t g_nTransferredSeen = -1;
void* g_pContextSeen = nullptr;

int AnsweringRoutine(int64_t nTransferred, void* pContext)
{
    g_nTransferredSeen = nTransferred;
    g_pContextSeen = pContext;
    return g_nAnswer;
}

int ThrowingRoutine(int64_t, void*)
{
    throw std::runtime_error("the routine failed");
}

DWORD Drive(CopyProgressBinding& binding)
{
    LARGE_INTEGER total, transferred, stream, streamTransferred;
    total.QuadPart = 9000000000LL;
    transferred.QuadPart = 5000000123LL;
    stream.QuadPart = 8000000000LL;
    streamTransferred.QuadPart = 77;
    return CopyProgressTrampoline(total, transferred, stream, streamTransferred, 1, CALLBACK_CHUNK_FINISHED, nullptr,
                                  nullptr, &binding);
}

TEST(FolderTreeWin32, ProgressRoutineSeesTheFileSoFarAndItsAnswerStopsTheCopy)
{
    int nContext = 0;
    CopyProgressBinding binding{&AnsweringRoutine, &nContext};

    g_nAnswer = 0;
    EXPECT_EQ(Drive(binding), 0u);   // PROGRESS_CONTINUE
    EXPECT_EQ(g_nTransferredSeen, 5000000123LL);
    EXPECT_EQ(g_pContextSeen, &nContext);

    g_nAnswer = 2;
    EXPECT_EQ(Drive(binding), 2u);   // PROGRESS_STOP
    g_nAnswer = 1;
    EXPECT_EQ(Drive(binding), 1u);   // PROGRESS_CANCEL
    // PROGRESS_QUIET would let the copy go on unwatched; other values mean
    // nothing to the system. Both end the copy.
    g_nAnswer = 3;
    EXPECT_EQ(Drive(binding), 1u);
    g_nAnswer = -1;
    EXPECT_EQ(Drive(binding), 1u);

    CopyProgressBinding throwing{&ThrowingRoutine, nullptr};
    EXPECT_EQ(Drive(throwing), 1u);
}

}  // namespace
