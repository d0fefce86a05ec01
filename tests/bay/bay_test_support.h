#pragma once
// What the bay's tests share: a fresh folder per test to back drives with,
// and bays parsed from descriptions that live in it.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "bay/bay_description.h"
#include "bay/bay_text.h"
#include "bay/simulated_bay.h"
#include "support/test_files.h"

class CBayFolderTest : public ::testing::Test {
protected:
    void MakeFolder(const std::string& strRelative) const { std::filesystem::create_directories(m_root / strRelative); }
    void WriteFile(const std::string& strRelative, const std::string& strContent) const
    {
        WriteTestFile(m_root / strRelative, strContent);
    }
    std::string ReadFile(const std::string& strRelative) const { return ReadTestFile(m_root / strRelative); }
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

    CTempFolder m_folder;
    const std::filesystem::path& m_root = m_folder.Path();
};
