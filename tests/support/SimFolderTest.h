// A test beside the phone simulator (PHONE_SIM must be set) with a folder of
// its own under /tmp, removed with everything in it when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class CSimFolderTest : public ::testing::Test {
protected:
    // The folder is /tmp/<pszPrefix>-XXXXXX.
    explicit CSimFolderTest(const char* pszPrefix) : m_strPrefix(pszPrefix) {}
    void SetUp() override;
    void TearDown() override;

    // Writes content to name in the folder; its path.
    std::filesystem::path File(const std::string& name, const std::string& content) const;

    std::filesystem::path m_dir;

private:
    std::string m_strPrefix;
};

// A file's bytes; empty when it cannot be read.
std::string ReadAll(const std::filesystem::path& path);
