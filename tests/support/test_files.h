#pragma once
// Files and folders for tests: a temporary folder of the test's own, and
// small readers and writers of whole files and trees.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

// A folder of its own, under the system's temporary folder unless another
// parent is given, removed afterwards. Named after the process too: the same
// test run by another build tree at the same time (another preset, another
// checkout) must not clear this one's folder.
class CTempFolder {
public:
    explicit CTempFolder(const std::filesystem::path& parent = std::filesystem::temp_directory_path())
    {
        static int s_nCount = 0;
        const auto* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string strName = "corvantis-" + std::string(pInfo != nullptr ? pInfo->name() : "test") + "-"
            + std::to_string(getpid()) + "-" + std::to_string(++s_nCount);
        m_path = parent / strName;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~CTempFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline void WriteTestFile(const std::filesystem::path& file, const std::string& strContent)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << strContent;
}

inline std::string ReadTestFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Everything under a folder, sorted: "relative/path=content" for a file,
// "relative/folder/" for a folder.
inline std::vector<std::string> TreeListing(const std::filesystem::path& folder)
{
    std::vector<std::string> listing;
    if (!std::filesystem::exists(folder))
        return listing;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string strRelative = std::filesystem::relative(entry.path(), folder).generic_string();
        listing.push_back(entry.is_directory() ? strRelative + "/" : strRelative + "=" + ReadTestFile(entry.path()));
    }
    std::sort(listing.begin(), listing.end());
    return listing;
}

