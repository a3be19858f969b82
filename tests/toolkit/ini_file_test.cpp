#include "toolkit/ini_file.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include <gtest/gtest.h>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

Text gbk(std::string_view utf8) { return utf8ToGbk(utf8); }

const char* const kSample =
    "; settings\r\n"
    "top=ignored\r\n"
    "[DL_PIC]\r\n"
    "download = \xD5\xE6 \r\n"  // "真" with blanks around it
    "fall=3\r\n"
    "; fall=1\r\n"
    "fall=2\r\n"
    "\r\n"
    "[PR_INFO]\r\n"
    "price=120\r\n"
    "[dl_pic]\r\n"
    "extra=second section of the same name\r\n";

struct ReadCase {
  const char* name;
  const char* section;
  const char* key;
  Text expected;
};

class IniRead : public testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, FindsTheFirstMatchingKeyOfTheFirstMatchingSection) {
  const IniFile file = IniFile::parse(kSample);
  EXPECT_EQ(file.value(GetParam().section, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniRead,
                         testing::Values(ReadCase{"BlanksAroundDropped", "DL_PIC", "download", "\xD5\xE6"},
                                         ReadCase{"NamesIgnoreCase", "dl_pic", "DOWNLOAD", "\xD5\xE6"},
                                         ReadCase{"FirstDuplicateKeyWins", "DL_PIC", "fall", "3"},
                                         ReadCase{"OtherSection", "PR_INFO", "price", "120"},
                                         ReadCase{"KeyOfAnotherSection", "PR_INFO", "fall", ""},
                                         ReadCase{"AbsentSection", "SAVE", "type", ""},
                                         ReadCase{"LineBeforeAnySection", "", "top", ""},
                                         ReadCase{"CommentIsNoKey", "DL_PIC", "; fall", ""},
                                         // Only the first of two same-named sections is searched.
                                         ReadCase{"SecondSectionOfSameName", "DL_PIC", "extra", ""}),
                         [](const auto& info) { return info.param.name; });

TEST(IniFile, ReadsLineFeedOnlyFilesAndGbkNames) {
  // "\xB0\x5D" is a double-byte character whose trail byte is ']'.
  const IniFile file = IniFile::parse("[\xB0\x5D\xB1\xA6]\n\xB1\xA6=" + gbk("值") + "\n");
  EXPECT_EQ(file.value("\xB0\x5D\xB1\xA6", "\xB1\xA6"), gbk("值"));
}

TEST(IniFile, ReplacingAKeyKeepsEveryOtherLine) {
  IniFile file = IniFile::parse(kSample);
  ASSERT_TRUE(file.setValue("dl_pic", "FALL", "1"));
  const std::string expected = std::string(kSample).replace(std::string(kSample).find("fall=3"), 6, "FALL=1");
  EXPECT_EQ(file.content(), expected);
}

TEST(IniFile, NewKeyGoesToTheEndOfItsSectionBeforeBlankLines) {
  IniFile file = IniFile::parse("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  ASSERT_TRUE(file.setValue("a", "z", "3"));
  ASSERT_TRUE(file.setValue("B", "w", "4"));
  EXPECT_EQ(file.content(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\nw=4\r\n");
}

TEST(IniFile, NewSectionGoesToTheEndAndLineEndsBecomeCrLf) {
  IniFile file = IniFile::parse("[A]\nx=1");
  ASSERT_TRUE(file.setValue("SAVE", "type", "5"));
  EXPECT_EQ(file.content(), "[A]\r\nx=1\r\n[SAVE]\r\ntype=5\r\n");

  IniFile empty;
  ASSERT_TRUE(empty.setValue("S", "k", ""));
  EXPECT_EQ(empty.content(), "[S]\r\nk=\r\n");
  EXPECT_TRUE(empty.hasKey("s", "K"));
}

TEST(IniFile, RefusesNamesAndValuesThatWouldBreakTheLines) {
  IniFile file = IniFile::parse("[S]\r\nk=1\r\n");
  const Text before = file.content();
  EXPECT_FALSE(file.setValue("S", "k", "x\r\n[S]\r\nk=planted"));
  EXPECT_FALSE(file.setValue("S", "a=b", "1"));
  EXPECT_FALSE(file.setValue("S]x", "k", "1"));
  EXPECT_FALSE(file.setValue("S", "", "1"));
  EXPECT_FALSE(file.setValue("", "k", "1"));
  EXPECT_FALSE(file.setValue("S", ";k", "1"));
  EXPECT_EQ(file.content(), before);
  // A ']' trail byte inside a section name is no closing bracket.
  EXPECT_TRUE(file.setValue("\xB0\x5D", "k", "1"));
  EXPECT_EQ(IniFile::parse(file.content()).value("\xB0\x5D", "k"), "1");
}

class IniFileOnDisk : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "mirabex-ini-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_folder = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }
  Text in(const Text& name) const { return joinPath(m_folder, name); }

  Text m_folder;
};

TEST_F(IniFileOnDisk, ChineseValuesRoundTripThroughAGbkPath) {
  const Text path = in(gbk("配置.ini"));
  ASSERT_TRUE(writeIniValue(path, "REPLACE", "1", gbk("包邮")));
  ASSERT_TRUE(writeIniValue(path, "REPLACE", "to1", gbk("不包邮 ")));
  ASSERT_TRUE(writeIniValue(path, "replace", "1", gbk("特价")));
  EXPECT_EQ(readIniValue(path, "REPLACE", "1"), gbk("特价"));
  EXPECT_EQ(readIniValue(path, "REPLACE", "to1"), gbk("不包邮"));

  Bytes raw;
  ASSERT_TRUE(readWholeFile(path, raw));
  EXPECT_EQ(raw, "[REPLACE]\r\n1=" + gbk("特价") + "\r\nto1=" + gbk("不包邮 ") + "\r\n");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(m_folder) / "配置.ini"));
}

TEST_F(IniFileOnDisk, MissingFileReadsEmptyAndMissingFolderIsNotCreated) {
  EXPECT_EQ(readIniValue(in("absent.ini"), "S", "k"), "");
  EXPECT_FALSE(writeIniValue(in("sub/a.ini"), "S", "k", "v"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(m_folder) / "sub"));
}

TEST_F(IniFileOnDisk, FailedWriteLeavesTheFileAsItWas) {
  const Text path = in("a.ini");
  ASSERT_TRUE(writeIniValue(path, "S", "k", "1"));
  EXPECT_FALSE(writeIniValue(path, "S", "k", "2", failingFileWriter()));
  EXPECT_EQ(readIniValue(path, "S", "k"), "1");
}

TEST_F(IniFileOnDisk, UnreadableFileIsNeverReplaced) {
  const Text path = in("a.ini");
  ASSERT_TRUE(writeIniValue(path, "S", "keep", "1"));
  std::filesystem::permissions(fileSystemPath(path), std::filesystem::perms::none);
  if (access(fileSystemPath(path).c_str(), R_OK) == 0) GTEST_SKIP() << "running with rights that read any file";
  EXPECT_FALSE(writeIniValue(path, "S", "k", "2"));
  std::filesystem::permissions(fileSystemPath(path), std::filesystem::perms::owner_all);
  EXPECT_EQ(readIniValue(path, "S", "keep"), "1");
}

}  // namespace
}  // namespace mirabex
