#include "toolkit/gbk_codec.h"

#include <gtest/gtest.h>

namespace mirabex {
namespace {

// "宝贝" in GBK and in UTF-8.
constexpr std::string_view kBaobeiGbk = "\xB1\xA6\xB1\xB4";
constexpr std::string_view kBaobeiUtf8 = "宝贝";

TEST(GbkCodec, RoundTripsChineseThroughUtf8AndUtf16) {
  EXPECT_EQ(gbkToUtf8(kBaobeiGbk), kBaobeiUtf8);
  EXPECT_EQ(utf8ToGbk(kBaobeiUtf8), kBaobeiGbk);
  EXPECT_EQ(gbkToUtf16(kBaobeiGbk), u"宝贝");
  EXPECT_EQ(utf16ToGbk(u"宝贝"), kBaobeiGbk);
}

struct UndecodableCase {
  const char* name;
  std::string input;
  std::string expected;
};

class GbkCodecUndecodable : public testing::TestWithParam<UndecodableCase> {};

// A broken byte costs one '?' and the text around it survives.
TEST_P(GbkCodecUndecodable, BecomesQuestionMark) { EXPECT_EQ(gbkToUtf8(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Cases, GbkCodecUndecodable,
                         testing::Values(UndecodableCase{"UndefinedByte",
                                                         "a\xFF"
                                                         "b",
                                                         "a?b"},
                                         UndecodableCase{"LeadByteAtEnd", std::string("a") + "\xB1", "a?"},
                                         UndecodableCase{"BetweenCharacters",
                                                         std::string(kBaobeiGbk.substr(0, 2)) + "\xFF" +
                                                             std::string(kBaobeiGbk.substr(2)),
                                                         "宝?贝"}),
                         [](const auto& info) { return info.param.name; });

TEST(GbkCodec, CharacterOutsideGbkBecomesQuestionMarks) {
  EXPECT_EQ(utf8ToGbk("a\xC3"
                      "b"),
            "a?b");  // cut UTF-8 sequence
  // U+1F600 has no GBK form: it is replaced, never passed through, and its neighbours survive.
  const Text replaced = utf8ToGbk(
      "a\xF0\x9F\x98\x80"
      "b");
  ASSERT_GE(replaced.size(), 3u);
  EXPECT_EQ(replaced.front(), 'a');
  EXPECT_EQ(replaced.back(), 'b');
  EXPECT_EQ(replaced.find_first_not_of('?', 1), replaced.size() - 1);
}

TEST(GbkCodec, ConvertCodePageReadsUpToTheFirstZero) {
  const std::string input = std::string(kBaobeiUtf8) + std::string("\0tail", 5);
  EXPECT_EQ(ConvertCodePage(input, 65001, 936), kBaobeiGbk);
  EXPECT_EQ(ConvertCodePage(kBaobeiGbk, 936, 65001), kBaobeiUtf8);
  EXPECT_EQ(ConvertCodePage("", 65001, 936), "");
}

}  // namespace
}  // namespace mirabex
