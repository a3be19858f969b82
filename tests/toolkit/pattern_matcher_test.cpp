#include "toolkit/pattern_matcher.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

// The tables are written in UTF-8 for reading; every pattern, text and expected
// value goes through GBK, as the matcher's callers hand them over.
Text gbk(const std::string& utf8) { return utf8ToGbk(utf8); }

struct Options {
  bool ignoreCase = true;
  bool multiline = true;
  bool global = true;
};

struct MatchCase {
  const char* name;
  std::string pattern;
  std::string text;
  Options options;
  // Per match: the whole match followed by each capturing group.
  std::vector<std::vector<std::string>> matches;
};

class PatternMatches : public testing::TestWithParam<MatchCase> {};

TEST_P(PatternMatches, FindsEveryMatchWithItsGroups) {
  const MatchCase& c = GetParam();
  PatternMatcher matcher;
  ASSERT_TRUE(matcher.compile(gbk(c.pattern), c.options.ignoreCase, c.options.multiline, c.options.global));
  ASSERT_EQ(matcher.compileError(), "");
  const int count = matcher.execute(gbk(c.text));
  ASSERT_EQ(count, static_cast<int>(c.matches.size()));
  EXPECT_EQ(matcher.matchCount(), count);
  for (int i = 1; i <= count; ++i) {
    const std::vector<std::string>& expected = c.matches[static_cast<std::size_t>(i - 1)];
    EXPECT_EQ(matcher.matchText(i), gbk(expected[0])) << "match " << i;
    for (std::size_t k = 1; k < expected.size(); ++k) {
      EXPECT_EQ(matcher.subMatch(i, static_cast<int>(k)), gbk(expected[k])) << "match " << i << " group " << k;
    }
  }
  const int groups = count == 0 ? 0 : static_cast<int>(c.matches[0].size()) - 1;
  EXPECT_EQ(matcher.subMatchCount(), groups);
}

const std::string kImgTag = "<IMG .*?\"http://(.*?)\".*?>";
const std::string kTwoPictures =
    "<p><img src=\"http://img01.example.cn/a/b1.jpg\" width=\"750\"><br>"
    "<img alt=\"x\" src=\"http://img02.example.cn/c2.png\"></p>";
const std::string kPermalink = "<a target=\"_blank\" href=\"(.*?)\" class=\"permalink\" style=\"\">\n(.*?)\n</a>";

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternMatches,
    testing::Values(
        MatchCase{"PictureTagsInLowerCase",
                  kImgTag,
                  kTwoPictures,
                  {},
                  {{"<img src=\"http://img01.example.cn/a/b1.jpg\" width=\"750\">", "img01.example.cn/a/b1.jpg"},
                   {"<img alt=\"x\" src=\"http://img02.example.cn/c2.png\">", "img02.example.cn/c2.png"}}},
        MatchCase{"GlobalOffTakesOnlyTheFirst",
                  kImgTag,
                  kTwoPictures,
                  {true, true, false},
                  {{"<img src=\"http://img01.example.cn/a/b1.jpg\" width=\"750\">", "img01.example.cn/a/b1.jpg"}}},
        MatchCase{"CaseMattersWhenAsked", kImgTag, kTwoPictures, {false, true, true}, {}},
        MatchCase{"DotStopsAtLineFeed", kImgTag, "<p><img \nsrc=\"http://img01.example.cn/a.jpg\"></p>", {}, {}},
        MatchCase{"DoubledQuotesOfBackground",
                  "background=\"\"http://(.*?)\"\"",
                  "<td background=\"\"http://img.example.cn/bg.gif\"\" width=1>",
                  {},
                  {{"background=\"\"http://img.example.cn/bg.gif\"\"", "img.example.cn/bg.gif"}}},
        MatchCase{"ChineseCharactersByCodePointRange",
                  "([\\u4e00-\\u9fa5])",
                  "http://shop.example.cn/宝贝，店a",
                  {},
                  {{"宝", "宝"}, {"贝", "贝"}, {"店", "店"}}},
        MatchCase{"ChineseLiteralInPattern",
                  "<strong>(.*?) 元</strong>",
                  "<strong>12.50 元</strong><strong>8 元</strong>",
                  {},
                  {{"<strong>12.50 元</strong>", "12.50"}, {"<strong>8 元</strong>", "8"}}},
        MatchCase{"UnicodeEscapeOfLiteral", "\\u5143", "价格 5 元", {}, {{"元"}}},
        // The GBK form of 昞 is 95 5C: its trail byte is a backslash, which must
        // not escape the closing parenthesis.
        MatchCase{"TrailByteIsNoEscape", "(昞)x", "a昞x", {}, {{"昞x", "昞"}}},
        MatchCase{"LetterCaseBeyondAscii", "Ω+", "ωΩω", {}, {{"ωΩω"}}},
        MatchCase{"LazyStopsAtFirstClose",
                  "<span class=\"c-price\">(.*?)</span>",
                  "<span class=\"c-price\">35.00</span> <span class=\"c-price\">128.00</span>",
                  {},
                  {{"<span class=\"c-price\">35.00</span>", "35.00"},
                   {"<span class=\"c-price\">128.00</span>", "128.00"}}},
        MatchCase{"LineFeedsWrittenIntoPattern",
                  kPermalink,
                  "<li><a target=\"_blank\" href=\"http://item.example.cn/1\" class=\"permalink\" style=\"\">\n"
                  "连衣裙\n</a></li>\n"
                  "<li><a target=\"_blank\" href=\"http://item.example.cn/2\" class=\"permalink\" style=\"\">\n"
                  "T恤\n</a></li>",
                  {},
                  {{"<a target=\"_blank\" href=\"http://item.example.cn/1\" class=\"permalink\" style=\"\">\n"
                    "连衣裙\n</a>",
                    "http://item.example.cn/1", "连衣裙"},
                   {"<a target=\"_blank\" href=\"http://item.example.cn/2\" class=\"permalink\" style=\"\">\n"
                    "T恤\n</a>",
                    "http://item.example.cn/2", "T恤"}}},
        MatchCase{"GroupThatTookNoPart", "(a)|(b)", "b", {}, {{"b", "", "b"}}},
        MatchCase{"CaretAtLineStartsWithMultiline", "^ab", "x\nab", {}, {{"ab"}}},
        MatchCase{"CaretOnlyAtTextStartWithoutMultiline", "^ab", "x\nab", {true, false, true}, {}},
        MatchCase{"EmptyMatchesAdvance", "x*", "axxb", {}, {{""}, {"xx"}, {""}, {""}}},
        // An empty match steps over a whole character, never into one.
        MatchCase{"EmptyMatchesStepOverChineseCharacters", "x*", "宝贝", {}, {{""}, {""}, {""}}}),
    [](const testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.name); });

TEST(PatternMatcher, ReadsOutsideTheMatchListAreEmpty) {
  PatternMatcher matcher;
  // Before any compile or execute.
  EXPECT_EQ(matcher.execute("abc"), 0);
  EXPECT_EQ(matcher.pattern(), "");
  EXPECT_EQ(matcher.subMatch(1, 1), "");

  ASSERT_TRUE(matcher.compile("id=(\\d+)"));
  EXPECT_EQ(matcher.matchText(1), "");
  EXPECT_EQ(matcher.subMatchCount(), 0);

  ASSERT_EQ(matcher.execute("no identifier here"), 0);
  EXPECT_EQ(matcher.matchText(1), "");
  EXPECT_EQ(matcher.subMatch(1, 1), "");
  EXPECT_EQ(matcher.subMatchCount(), 0);

  ASSERT_EQ(matcher.execute("id=12&id=345"), 2);
  struct Read {
    int match;
    int group;
    const char* expected;
  };
  const Read reads[] = {{1, 1, "12"}, {2, 1, "345"}, {2, 2, ""}, {1, 0, ""}, {0, 1, ""}, {3, 1, ""}, {-1, -1, ""}};
  for (const Read& read : reads) {
    EXPECT_EQ(matcher.subMatch(read.match, read.group), read.expected) << read.match << "," << read.group;
  }
  EXPECT_EQ(matcher.matchText(0), "");
  EXPECT_EQ(matcher.matchText(3), "");
}

TEST(PatternMatcher, RecompileDropsThePreviousMatches) {
  PatternMatcher matcher;
  ASSERT_TRUE(matcher.compile("<b>(.*?)</b>"));
  ASSERT_EQ(matcher.execute("<b>one</b><i>two</i><i>three</i>"), 1);

  ASSERT_TRUE(matcher.compile("<i>(.*?)</i>"));
  EXPECT_EQ(matcher.pattern(), "<i>(.*?)</i>");
  EXPECT_EQ(matcher.matchCount(), 0);
  EXPECT_EQ(matcher.subMatch(1, 1), "");

  ASSERT_EQ(matcher.execute("<b>one</b><i>two</i><i>three</i>"), 2);
  EXPECT_EQ(matcher.subMatch(1, 1), "two");
  EXPECT_EQ(matcher.subMatch(2, 1), "three");
}

TEST(PatternMatcher, EachExecuteReadsItsOwnText) {
  PatternMatcher matcher;
  ASSERT_TRUE(matcher.compile("<i>(.*?)</i>"));
  ASSERT_EQ(matcher.execute(gbk("<i>宝贝</i>")), 1);
  // Same length, other bytes: nothing of the first text may show through.
  ASSERT_EQ(matcher.execute(gbk("<i>店铺</i>")), 1);
  EXPECT_EQ(matcher.subMatch(1, 1), gbk("店铺"));
  ASSERT_EQ(matcher.execute(""), 0);
  EXPECT_EQ(matcher.matchText(1), "");
}

TEST(PatternMatcher, RejectedPatternFindsNothingUntilRecompiled) {
  PatternMatcher matcher;
  ASSERT_TRUE(matcher.compile("<a href=\"(.*?\">"));
  EXPECT_NE(matcher.compileError(), "");
  EXPECT_EQ(matcher.pattern(), "<a href=\"(.*?\">");
  EXPECT_EQ(matcher.execute("<a href=\"x\">"), 0);
  EXPECT_EQ(matcher.subMatchCount(), 0);
  EXPECT_EQ(matcher.replace("<a href=\"x\">", "y"), "<a href=\"x\">");

  ASSERT_TRUE(matcher.compile("<a href=\"(.*?)\">"));
  EXPECT_EQ(matcher.compileError(), "");
  ASSERT_EQ(matcher.execute("<a href=\"x\">"), 1);
  EXPECT_EQ(matcher.subMatch(1, 1), "x");
}

// Alternation inside a repeated group backtracks through every repetition: this
// outgrows the JIT's default stack on a long line and must still match.
TEST(PatternMatcher, DeepBacktrackingOnALongLineStillMatches) {
  PatternMatcher matcher;
  ASSERT_TRUE(matcher.compile("(a|b)*c"));
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "ab";
  text += "c";
  ASSERT_EQ(matcher.execute(text), 1);
  EXPECT_EQ(matcher.matchText(1).size(), text.size());
  EXPECT_EQ(matcher.subMatch(1, 1), "b");
}

struct ReplaceCase {
  const char* name;
  std::string pattern;
  bool global;
  std::string text;
  std::string replacement;
  std::string expected;
};

class PatternReplace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(PatternReplace, ReplacesMatches) {
  const ReplaceCase& c = GetParam();
  PatternMatcher matcher;
  ASSERT_TRUE(matcher.compile(gbk(c.pattern), true, true, c.global));
  EXPECT_EQ(matcher.replace(gbk(c.text), gbk(c.replacement)), gbk(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternReplace,
    testing::Values(ReplaceCase{"GroupsSwapped", "(\\w+)=(\\w+)", true, "a=1;b=2", "$2=$1", "1=a;2=b"},
                    ReplaceCase{"OnlyFirstWithoutGlobal", "o", false, "foo", "0", "f0o"},
                    ReplaceCase{"WholeMatchAndDollar", "\\d+", true, "x12y", "[$&$$]", "x[12$]y"},
                    ReplaceCase{"BeforeAndAfter", "-", true, "ab-cd", "<$`|$'>", "ab<ab|cd>cd"},
                    ReplaceCase{"UnknownGroupKeptAsWritten", "(a)", true, "a", "$2$0$1", "$2$0a"},
                    ReplaceCase{"ChineseText", "元", true, "5元/件", "圆", "5圆/件"},
                    ReplaceCase{"NoMatchKeepsText", "z", true, "abc", "y", "abc"}),
    [](const testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

TEST(PatternMatcher, CopiesAreIndependent) {
  PatternMatcher original;
  ASSERT_TRUE(original.compile("<i>(.*?)</i>"));
  ASSERT_EQ(original.execute("<i>one</i>"), 1);

  PatternMatcher copy(original);
  ASSERT_TRUE(original.compile("<b>(.*?)</b>"));
  EXPECT_EQ(copy.subMatch(1, 1), "one");
  EXPECT_EQ(copy.pattern(), "<i>(.*?)</i>");
  ASSERT_EQ(copy.execute("<i>two</i><i>three</i>"), 2);
  EXPECT_EQ(copy.subMatch(2, 1), "three");

  PatternMatcher moved(std::move(copy));
  EXPECT_EQ(moved.subMatch(1, 1), "two");
  EXPECT_EQ(copy.execute("<i>x</i>"), 0);  // NOLINT(bugprone-use-after-move): a moved-from matcher stays usable
  EXPECT_TRUE(copy.compile("x"));
  EXPECT_EQ(copy.execute("xx"), 2);
}

}  // namespace
}  // namespace mirabex
