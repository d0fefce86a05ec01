#pragma once
// The Linux file system tools from tests: dosfstools, mtools, exfatprogs
// and ntfs-3g, run through the shell with their output and exit status.

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

// A tool's output (standard error too) and exit status. A tool that is
// missing fails the test: these checks never pass unseen.
struct ToolResult {
    int nStatus = -1;
    std::string strOutput;
};

inline ToolResult RunTool(const std::string& strCommand)
{
    ToolResult result;
    FILE* pPipe = ::popen(("MTOOLS_SKIP_CHECK=1 " + strCommand + " 2>&1").c_str(), "r");
    if (pPipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    for (size_t nRead; (nRead = std::fread(buffer.data(), 1, buffer.size(), pPipe)) > 0;)
        result.strOutput.append(buffer.data(), nRead);
    const int nWait = ::pclose(pPipe);
#if defined(_WIN32)
    result.nStatus = nWait;
#else
    result.nStatus = WIFEXITED(nWait) ? WEXITSTATUS(nWait) : -1;
#endif
    EXPECT_NE(127, result.nStatus) << "missing tool (scripts/install-deps.sh installs it): " << strCommand;
    return result;
}

inline std::string Quoted(const std::filesystem::path& path)
{
    return "'" + path.string() + "'";
}

// fsck.fat -n exits 0 even on what it calls mostly harmless (a backup boot
// sector that differs): a clean volume is one it has nothing to say about
// but its banner and the count of files and clusters.
inline ::testing::AssertionResult IsClean(const std::filesystem::path& image)
{
    const ToolResult check = RunTool("fsck.fat -n " + Quoted(image));
    if (check.nStatus == 0 && std::count(check.strOutput.begin(), check.strOutput.end(), '\n') == 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "fsck.fat: " << check.nStatus << "\n" << check.strOutput;
}

inline std::string ReadBytesAt(const std::filesystem::path& file, uint64_t nOffset, size_t nBytes)
{
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(nOffset));
    std::string strBytes(nBytes, '\0');
    in.read(strBytes.data(), static_cast<std::streamsize>(nBytes));
    return strBytes;
}

inline void WriteBytesAt(const std::filesystem::path& file, uint64_t nOffset, const std::string& strBytes)
{
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(nOffset));
    out.write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
}
