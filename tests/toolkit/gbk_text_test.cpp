#include "toolkit/gbk_text.h"

#include <gtest/gtest.h>

namespace mirabex {
namespace {

// "\xB1\x7C" is a double-byte character whose trail byte is '|'; "\xB0\x41" one whose trail byte is 'A'.
constexpr const char* kTrailBar = "\xB1\x7C";
constexpr const char* kTrailA = "\xB0\x41";

TEST(GbkText, FindNeverMatchesInsideADoubleByteCharacter) {
  const Text text = std::string("x") + kTrailBar + "|y";
  EXPECT_EQ(findText(text, "|"), 3u);
  EXPECT_EQ(findText(std::string(kTrailA) + "a", "a", 0, LetterCase::Ignore), 2u);
  EXPECT_EQ(findText(std::string(kTrailA), "A"), kNotFound);
  EXPECT_EQ(findLastText(std::string("A") + kTrailA, "A"), 0u);
}

TEST(GbkText, FindIgnoringCaseFoldsOnlyAsciiLetters) {
  EXPECT_EQ(findText("xx<IMG src", "<img", 0, LetterCase::Ignore), 2u);
  EXPECT_EQ(findText("xx<IMG src", "<img"), kNotFound);
}

struct SplitCase {
  std::string text;
  std::vector<std::string> members;
};

class GbkSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(GbkSplit, SplitsOnWholeCharacters) {
  EXPECT_EQ(splitText(GetParam().text, "||"), GetParam().members);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GbkSplit,
    testing::Values(SplitCase{"a||b||c||d", {"a", "b", "c", "d"}}, SplitCase{"a||b||c||", {"a", "b", "c"}},
                    SplitCase{"a||||c", {"a", "", "c"}}, SplitCase{"", {}},
                    SplitCase{std::string(kTrailBar) + "|b", {std::string(kTrailBar) + "|b"}},
                    SplitCase{std::string("x") + kTrailBar + "||y", {std::string("x") + kTrailBar, "y"}}));

TEST(GbkText, TrimRemovesAsciiAndFullWidthSpacesAtBothEndsOnly) {
  EXPECT_EQ(trimText("  \xA1\xA1 a b \xA1\xA1  "), "a b");
  // A character whose trail byte is A1 must not lose it.
  EXPECT_EQ(trimText("\xB0\xA1\xA1"), "\xB0\xA1\xA1");
  EXPECT_EQ(trimText("   "), "");
}

TEST(GbkText, ReplaceAllAndTextAfterLast) {
  EXPECT_EQ(replaceAllText("a.b.c", ".", ""), "abc");
  EXPECT_EQ(replaceAllText(std::string(kTrailBar) + "|", "|", "!"), std::string(kTrailBar) + "!");
  EXPECT_EQ(TextAfterLast("a/b/c.jpg", "/"), "c.jpg");
  EXPECT_EQ(TextAfterLast("abc", "/"), "");
}

TEST(GbkText, CaseFoldingLeavesDoubleByteCharactersAlone) {
  // Names compared without case (INI sections, markers) rely on a trail byte 'A' staying 'A'.
  EXPECT_EQ(toLowerAscii(std::string("AbC") + kTrailA), std::string("abc") + kTrailA);
  EXPECT_EQ(toUpperAscii(std::string("aBc") + "\xB0\x61"), std::string("ABC") + "\xB0\x61");
}

}  // namespace
}  // namespace mirabex
