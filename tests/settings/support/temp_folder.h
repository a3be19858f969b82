#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "toolkit/file_system.h"

namespace mirabex {

// A fresh run directory per test, removed afterwards. Its path is ASCII, so it is valid GBK text.
class TempFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "mirabex-settings-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_runFolder = pattern;
    m_optionsFolder = joinPath(m_runFolder, "options");
  }
  void TearDown() override { std::filesystem::remove_all(m_runFolder); }

  void writeOptionsFile(const Text& name, const Text& content) const {
    ASSERT_TRUE(createFolder(m_optionsFolder));
    ASSERT_TRUE(writeWholeFile(joinPath(m_optionsFolder, name), content));
  }

  Text m_runFolder;
  Text m_optionsFolder;  // "<run>/options", not created until a test asks for it
};

}  // namespace mirabex
