#include "settings/options.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/ini_file.h"

namespace mirabex {
namespace {

Text gbk(std::string_view utf8) { return utf8ToGbk(utf8); }

class OptionsTest : public TempFolderTest {
 protected:
  Text storedValue(std::string_view section, std::string_view key) const {
    return readIniValue(optionsFilePath(m_optionsFolder), section, key);
  }
  Text storedFile() const {
    Bytes content;
    readWholeFile(optionsFilePath(m_optionsFolder), content);
    return content;
  }
};

TEST_F(OptionsTest, MissingFileLoadsAsEveryKeyAbsent) {
  Options options;
  options.download = true;
  options.layout4Checked = true;
  loadOptions(m_optionsFolder, options);

  EXPECT_FALSE(options.download);
  EXPECT_FALSE(options.taobaoOnly);
  EXPECT_FALSE(options.taobaoOnlyEnabled);
  EXPECT_FALSE(options.priceAdjust);
  EXPECT_FALSE(options.uniformStock);
  EXPECT_EQ(options.fallChoice, 3);
  EXPECT_EQ(options.failurePolicy, 3);
  // The form's "100", "0", "100" give way to the absent keys' empty text.
  EXPECT_EQ(options.price, "");
  EXPECT_EQ(options.priceNum, "");
  EXPECT_EQ(options.num, "");
  EXPECT_EQ(options.replaceFrom1 + options.replaceFrom2 + options.replaceFrom3, "");
  EXPECT_EQ(options.replaceTo1 + options.replaceTo2 + options.replaceTo3, "");
  EXPECT_FALSE(options.layout4Checked);
  EXPECT_EQ(options.outputLayout, 5);
}

TEST_F(OptionsTest, LoadsEveryKeyIntoItsField) {
  writeOptionsFile("options.ini", gbk("[DL_PIC]\r\ndownload=真\r\ntaobao_only=真\r\nfall=1\r\n"
                                      "[PR_INFO]\r\np_type=真\r\nn_type=假\r\nprice=120\r\nprice_num=2\r\n"
                                      "num=\r\n[REPLACE]\r\n1=包邮\r\n2=b\r\n3=c\r\nto1=x\r\nto2=z\r\n"
                                      "to3=y\r\n[SAVE]\r\ntype=4\r\n"));
  Options options;
  loadOptions(m_optionsFolder, options);

  EXPECT_TRUE(options.download);
  EXPECT_TRUE(options.taobaoOnly);
  EXPECT_TRUE(options.taobaoOnlyEnabled);
  EXPECT_TRUE(options.priceAdjust);
  EXPECT_FALSE(options.uniformStock);
  EXPECT_EQ(options.fallChoice, 1);
  EXPECT_EQ(options.failurePolicy, 1);
  EXPECT_EQ(options.price, "120");
  EXPECT_EQ(options.priceNum, "2");
  EXPECT_EQ(options.num, "");
  EXPECT_EQ(options.replaceFrom1, gbk("包邮"));
  EXPECT_EQ(options.replaceFrom2, "b");
  EXPECT_EQ(options.replaceFrom3, "c");
  EXPECT_EQ(options.replaceTo1, "x");
  // "to3" belongs to the second replacement, "to2" to the third.
  EXPECT_EQ(options.replaceTo2, "y");
  EXPECT_EQ(options.replaceTo3, "z");
  EXPECT_TRUE(options.layout4Checked);
  EXPECT_EQ(options.outputLayout, 4);
}

struct LoadCase {
  const char* name;
  const char* file;  // UTF-8, converted to GBK
  bool download;
  int fallChoice;
  int failurePolicy;
  int outputLayout;
};

class OptionsLoadValues : public OptionsTest, public testing::WithParamInterface<LoadCase> {};

// Starts from the form's state: third failure item shown, policy 0, 5.x layout.
TEST_P(OptionsLoadValues, ReadsOnlyTheExactTexts) {
  writeOptionsFile("options.ini", gbk(GetParam().file));
  Options options;
  loadOptions(m_optionsFolder, options);
  EXPECT_EQ(options.download, GetParam().download);
  EXPECT_EQ(options.taobaoOnlyEnabled, GetParam().download);
  EXPECT_EQ(options.fallChoice, GetParam().fallChoice);
  EXPECT_EQ(options.failurePolicy, GetParam().failurePolicy);
  EXPECT_EQ(options.outputLayout, GetParam().outputLayout);
  EXPECT_EQ(options.layout4Checked, GetParam().outputLayout == 4);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionsLoadValues,
    testing::Values(LoadCase{"CheckedIsOnlyZhen", "[DL_PIC]\r\ndownload=真\r\n", true, 3, 3, 5},
                    LoadCase{"OneIsNotChecked", "[DL_PIC]\r\ndownload=1\r\n", false, 3, 3, 5},
                    LoadCase{"TrueIsNotChecked", "[DL_PIC]\r\ndownload=true\r\n", false, 3, 3, 5},
                    LoadCase{"SectionNamesIgnoreCase", "[dl_pic]\r\nDownload=真\r\n", true, 3, 3, 5},
                    LoadCase{"FallEmpty", "[DL_PIC]\r\nfall=\r\n", false, 3, 3, 5},
                    LoadCase{"FallDelete", "[DL_PIC]\r\nfall=2\r\n", false, 2, 2, 5},
                    LoadCase{"FallRetry", "[DL_PIC]\r\nfall=3\r\n", false, 3, 3, 5},
                    // An unknown choice leaves the drop-down as the form set it and the policy unset.
                    LoadCase{"FallUnknown", "[DL_PIC]\r\nfall=7\r\n", false, 3, 0, 5},
                    LoadCase{"Layout4", "[SAVE]\r\ntype=4\r\n", false, 3, 3, 4},
                    LoadCase{"Layout5", "[SAVE]\r\ntype=5\r\n", false, 3, 3, 5},
                    LoadCase{"LayoutOther", "[SAVE]\r\ntype=4.x\r\n", false, 3, 3, 5}),
    [](const auto& info) { return info.param.name; });

TEST_F(OptionsTest, SaveWritesEveryKeyInOrderAndCreatesTheFolder) {
  Options options;  // the form's texts
  const OptionsSaveResult result = saveOptions(m_optionsFolder, options);
  EXPECT_TRUE(result.written);
  EXPECT_FALSE(result.stoppedAtEmptyChoice);
  EXPECT_EQ(storedFile(), gbk("[DL_PIC]\r\ndownload=假\r\ntaobao_only=假\r\nfall=3\r\n"
                              "[PR_INFO]\r\np_type=假\r\nn_type=假\r\nprice=100\r\nprice_num=0\r\nnum=100\r\n"
                              "[REPLACE]\r\n1=\r\n2=\r\n3=\r\nto1=\r\nto3=\r\nto2=\r\n[SAVE]\r\ntype=5\r\n"));
  EXPECT_EQ(options.failurePolicy, 3);
  EXPECT_EQ(options.outputLayout, 5);
}

TEST_F(OptionsTest, SaveThenLoadRestoresTheControlsWithTheKeyPairing) {
  Options saved;
  saved.download = true;
  saved.uniformStock = true;
  saved.fallChoice = 2;
  saved.price = "85";
  saved.num = gbk("五十");
  saved.replaceFrom1 = gbk("包邮");
  saved.replaceTo1 = "A";
  saved.replaceTo2 = "B";
  saved.replaceTo3 = "C";
  saved.layout4Checked = true;
  ASSERT_TRUE(saveOptions(m_optionsFolder, saved).written);
  EXPECT_EQ(saved.failurePolicy, 2);
  EXPECT_EQ(saved.outputLayout, 4);
  EXPECT_EQ(storedValue("REPLACE", "to3"), "B");
  EXPECT_EQ(storedValue("REPLACE", "to2"), "C");

  Options loaded;
  loadOptions(m_optionsFolder, loaded);
  EXPECT_TRUE(loaded.download);
  EXPECT_TRUE(loaded.taobaoOnlyEnabled);
  EXPECT_FALSE(loaded.taobaoOnly);
  EXPECT_TRUE(loaded.uniformStock);
  EXPECT_EQ(loaded.fallChoice, 2);
  EXPECT_EQ(loaded.failurePolicy, 2);
  EXPECT_EQ(loaded.price, "85");
  EXPECT_EQ(loaded.num, gbk("五十"));
  EXPECT_EQ(loaded.replaceFrom1, gbk("包邮"));
  EXPECT_EQ(loaded.replaceTo1, "A");
  EXPECT_EQ(loaded.replaceTo2, "B");
  EXPECT_EQ(loaded.replaceTo3, "C");
  EXPECT_EQ(loaded.outputLayout, 4);
}

TEST_F(OptionsTest, SaveWithoutFailureChoiceStoresOnlyTheCheckBoxes) {
  writeOptionsFile("options.ini", gbk("[DL_PIC]\r\nfall=1\r\n[SAVE]\r\ntype=4\r\n"));
  Options options;
  options.download = true;
  options.fallChoice = 0;
  options.failurePolicy = 1;
  options.price = "90";
  const OptionsSaveResult result = saveOptions(m_optionsFolder, options);

  EXPECT_FALSE(result.written);
  EXPECT_TRUE(result.stoppedAtEmptyChoice);
  EXPECT_EQ(result.reason, gbk("请设置图片下载失败处理方式"));
  EXPECT_EQ(storedFile(), gbk("[DL_PIC]\r\nfall=1\r\ndownload=真\r\ntaobao_only=假\r\n[SAVE]\r\ntype=4\r\n"
                              "[PR_INFO]\r\np_type=假\r\nn_type=假\r\n"));
  EXPECT_EQ(options.failurePolicy, 1);
  EXPECT_EQ(options.outputLayout, 5);  // the layout is not saved, so it does not change
}

TEST_F(OptionsTest, KeysOfOtherSectionsSurviveASave) {
  writeOptionsFile("options.ini", "[EXTRA]\r\nmine=1\r\n");
  Options options;
  ASSERT_TRUE(saveOptions(m_optionsFolder, options).written);
  EXPECT_EQ(storedValue("EXTRA", "mine"), "1");
}

TEST_F(OptionsTest, FailedWritesAreReportedNotConfirmed) {
  Options options;
  options.layout4Checked = true;
  OptionsSaveResult result = saveOptions(m_optionsFolder, options, failingFileWriter());
  EXPECT_FALSE(result.written);
  EXPECT_FALSE(result.reason.empty());

  // A file where the folder should be.
  ASSERT_TRUE(writeWholeFile(m_optionsFolder, "x"));
  result = saveOptions(m_optionsFolder, options);
  EXPECT_FALSE(result.written);
  EXPECT_NE(findText(result.reason, m_optionsFolder), kNotFound);
}

TEST_F(OptionsTest, ValueWithALineBreakIsNotStored) {
  Options options;
  options.price = "1\r\n[SAVE]\r\ntype=4";
  const OptionsSaveResult result = saveOptions(m_optionsFolder, options);
  EXPECT_FALSE(result.written);
  EXPECT_NE(findText(result.reason, "price"), kNotFound);
  EXPECT_EQ(storedValue("SAVE", "type"), "5");
  EXPECT_EQ(storedValue("PR_INFO", "price"), "");
}

}  // namespace
}  // namespace mirabex
