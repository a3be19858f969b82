#include "toolkit/file_system.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace mirabex {
namespace {

// A fresh folder per test, removed afterwards; its path is ASCII, so it is also valid GBK text.
class FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "mirabex-fs-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_folder = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }
  Text in(const Text& name) const { return joinPath(m_folder, name); }

  Text m_folder;
};

// "宝贝.txt" in GBK; on disk its name must be the UTF-8 spelling.
constexpr const char* kGbkName = "\xB1\xA6\xB1\xB4.txt";

TEST(JoinPath, OneSeparatorBetweenFolderAndName) {
  EXPECT_EQ(joinPath("out", "a.csv"), "out/a.csv");
  EXPECT_EQ(joinPath("out/", "a.csv"), "out/a.csv");
  EXPECT_EQ(joinPath("", "a.csv"), "a.csv");
}

TEST_F(FileSystemTest, GbkNamesBecomeUtf8OnDisk) {
  const std::string bytes("\x00\xFF\r\n\x1A", 5);
  ASSERT_TRUE(writeWholeFile(in(kGbkName), bytes));
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(m_folder) / "宝贝.txt"));
  EXPECT_TRUE(fileExists(in(kGbkName)));

  Bytes read;
  ASSERT_TRUE(readWholeFile(in(kGbkName), read));
  EXPECT_EQ(read, bytes);
}

TEST_F(FileSystemTest, WriteReplacesTheWholeFile) {
  ASSERT_TRUE(writeWholeFile(in("a.txt"), "a long first content"));
  ASSERT_TRUE(writeWholeFile(in("a.txt"), "short"));
  Bytes read;
  ASSERT_TRUE(readWholeFile(in("a.txt"), read));
  EXPECT_EQ(read, "short");
  ASSERT_TRUE(writeWholeFile(in("a.txt"), ""));
  ASSERT_TRUE(readWholeFile(in("a.txt"), read));
  EXPECT_EQ(read, "");
}

TEST_F(FileSystemTest, FailuresAreResults) {
  EXPECT_FALSE(writeWholeFile(in("missing/a.txt"), "x"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(m_folder) / "missing"));

  Bytes read = "stale";
  EXPECT_FALSE(readWholeFile(in("absent.txt"), read));
  EXPECT_EQ(read, "");
  EXPECT_FALSE(readWholeFile(m_folder, read));  // a folder is not a file
  EXPECT_FALSE(fileExists(m_folder));
  EXPECT_FALSE(fileExists(in("absent.txt")));
}

TEST_F(FileSystemTest, CreateFolderMakesParentsAndAcceptsAnExistingOne) {
  const Text nested = in("a/\xB1\xA6/c");
  ASSERT_TRUE(createFolder(nested));
  EXPECT_TRUE(std::filesystem::is_directory(fileSystemPath(nested)));
  EXPECT_TRUE(createFolder(nested));

  ASSERT_TRUE(writeWholeFile(in("plain"), "x"));
  EXPECT_FALSE(createFolder(in("plain")));
  EXPECT_FALSE(createFolder(""));
}

TEST_F(FileSystemTest, FailingWriterTouchesNothing) {
  const FileWriter& writer = failingFileWriter();
  EXPECT_FALSE(writer.writeWholeFile(in("a.txt"), "x"));
  EXPECT_FALSE(writer.createFolder(in("sub")));
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(m_folder)));
}

}  // namespace
}  // namespace mirabex
