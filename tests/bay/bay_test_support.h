#pragma once
// What the bay's tests share: a fresh folder per test to back drives with,
// and bays parsed from descriptions that live in it.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "bay/bay_description.h"
#include "bay/bay_text.h"
#include "bay/simulated_bay.h"

class CBayFolderTest : public ::testing::Test {
protected:
    CBayFolderTest()
    {
        std::random_device random;
        m_root = std::filesystem::temp_directory_path() / ("corvantis_bay_" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_root);
    }
    ~CBayFolderTest() override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }

    void MakeFolder(const std::string& strRelative) const { std::filesystem::create_directories(m_root / strRelative); }
    void WriteFile(const std::string& strRelative, const std::string& strContent) const
    {
        std::ofstream(m_root / strRelative, std::ios::binary) << strContent;
    }
    std::string ReadFile(const std::string& strRelative) const
    {
        std::ifstream input(m_root / strRelative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& strRelative) const { return std::filesystem::exists(m_root / strRelative); }
    // A host path in the wide form the product passes around.
    std::wstring Host(const std::string& strRelative) const
    {
        std::wstring strWide;
        WideFromPath(m_root / strRelative, strWide);
        return strWide;
    }
    BayDescription Describe(const std::string& strText) const
    {
        BayDescription description;
        std::string strError;
        EXPECT_TRUE(ParseBayDescription(strText, m_root, description, strError)) << strError;
        return description;
    }

    std::filesystem::path m_root;
};
