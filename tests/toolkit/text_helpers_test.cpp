#include "toolkit/text_helpers.h"

#include <gtest/gtest.h>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

Text gbk(std::string_view utf8) { return utf8ToGbk(utf8); }

struct Md5Case {
  std::string input;
  std::string digest;
};

class Md5Suite : public testing::TestWithParam<Md5Case> {};

TEST_P(Md5Suite, MatchesTheReferenceDigest) { EXPECT_EQ(Md5Text(GetParam().input), GetParam().digest); }

// The test suite of RFC 1321, appendix A.5.
INSTANTIATE_TEST_SUITE_P(
    Rfc1321, Md5Suite,
    testing::Values(Md5Case{"", "d41d8cd98f00b204e9800998ecf8427e"},
                    Md5Case{"a", "0cc175b9c0f1b6a831c399e269772661"},
                    Md5Case{"abc", "900150983cd24fb0d6963f7d28e17f72"},
                    Md5Case{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
                    Md5Case{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
                    Md5Case{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                            "d174ab98d277d9f5a5611c2c9f419d9f"},
                    Md5Case{"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
                            "57edf4a22be3c955ac49da2e2107b67a"},
                    // The GBK bytes of 宝贝 are hashed as they are, not as UTF-8.
                    Md5Case{"\xB1\xA6\xB1\xB4", "231e21ac3661871b543342eaa41bbb1e"}));

TEST(Md5Text, ShortFormIsTheMiddleSixteenDigits) {
  EXPECT_EQ(Md5Text("abc", true), "3cd24fb0d6963f7d");
  EXPECT_EQ(Md5Text("", true), "8f00b204e9800998");
}

TEST(HexOfBytes, TwoUpperCaseDigitsPerByte) {
  EXPECT_EQ(HexOfBytes(std::string("\x00\x0A\xFF\x7f", 4)), "000AFF7F");
  EXPECT_EQ(HexOfBytes(""), "");
}

struct ImageCase {
  const char* name;
  std::string head;
  std::string type;
};

class ImageTypes : public testing::TestWithParam<ImageCase> {};

TEST_P(ImageTypes, FromTheFirstBytes) { EXPECT_EQ(ImageTypeOf(GetParam().head), GetParam().type); }

const std::string kUnknown = gbk("你杯具了 无法识别 特征码:");

INSTANTIATE_TEST_SUITE_P(
    Table, ImageTypes,
    testing::Values(ImageCase{"Jpeg", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10), "jpg"},
                    ImageCase{"TgaColourMapped", std::string("\x00\x00\x02\x00\x00\x00\x00\x00", 8), "tga"},
                    ImageCase{"TgaRunLength", std::string("\x00\x00\x10\x00\x00\x00", 6), "tga"},
                    ImageCase{"Gif89a", std::string("GIF89a\x10\x00\x10\x00", 10), "gif"},
                    ImageCase{"Gif87a", "GIF87a", "gif"}, ImageCase{"Png", "\x89PNG\r\n\x1A\n", "png"},
                    ImageCase{"Bmp", "BM6\x0C", "bmp"}, ImageCase{"Pcx", "\x0A\x05\x01\x08", "pcx"},
                    ImageCase{"TiffMotorola", std::string("MM\x00\x2A", 4), "tiff"},
                    ImageCase{"TiffIntel", "II\x2A\x00", "tiff"},
                    ImageCase{"Icon32", std::string("\x00\x00\x01\x00\x01\x00\x20\x20\x00\x00", 10), "ico"},
                    ImageCase{"IconOtherForm", std::string("\x00\x00\x10\x01\x00\x20\x20", 7), "ico"},
                    ImageCase{"Cursor", std::string("\x00\x00\x02\x00\x01\x00\x20\x20", 8), "cur"},
                    ImageCase{"Iff", std::string("FORM\x00\x00", 6), "iff"},
                    // Every RIFF container counts as an animated cursor, WAVE included.
                    ImageCase{"RiffWave", std::string("RIFF\x24\x08\x00\x00WAVE", 12), "ani"},
                    ImageCase{"Unknown", "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A",
                              kUnknown + "0102030405060708090A"},
                    ImageCase{"UnknownShowsOnlyTenBytes", "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C",
                              kUnknown + "0102030405060708090A"},
                    // A prefix longer than the file never matches: three bytes cannot be a tga.
                    ImageCase{"TooShortForItsPrefix", std::string("\x00\x00\x02", 3), kUnknown + "000002"},
                    ImageCase{"Empty", "", kUnknown}),
    [](const auto& info) { return info.param.name; });

TEST(UrlEncodeAll, EncodesEveryByte) {
  EXPECT_EQ(UrlEncodeAll("\xB1\xA6\xB1\xB4"
                         "a"),
            "%B1%A6%B1%B4%61");
  EXPECT_EQ(UrlEncodeAll("a b"), "%61%20%62");
  EXPECT_EQ(UrlEncodeAll("-_.~/"), "%2D%5F%2E%7E%2F");
  EXPECT_EQ(UrlEncodeAll(""), "");
}

struct UnixTimeCase {
  const char* name;
  DateTime local;
  std::string seconds;
  std::string milliseconds;
};

class UnixTime : public testing::TestWithParam<UnixTimeCase> {};

// The instant handed to the clock is deliberately unrelated: only the local date-time counts.
TEST_P(UnixTime, CountsFromLocalEightOClockOnNewYear1970) {
  const FixedClock clock(std::chrono::system_clock::time_point{}, GetParam().local);
  EXPECT_EQ(UnixTimeText(true, clock), GetParam().seconds);
  EXPECT_EQ(UnixTimeText(false, clock), GetParam().milliseconds);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnixTime,
    testing::Values(UnixTimeCase{"FiveSecondsIn", {1970, 1, 1, 8, 0, 5, 250}, "5", "5250"},
                    UnixTimeCase{"Epoch", {1970, 1, 1, 8, 0, 0, 0}, "0", "0"},
                    // A UTC+8 wall clock gives true Unix time.
                    UnixTimeCase{"Spring2013", {2013, 4, 25, 7, 42, 46, 7}, "1366846966", "1366846966007"},
                    UnixTimeCase{"LeapDay", {2012, 2, 29, 8, 0, 0, 999}, "1330473600", "1330473600999"},
                    UnixTimeCase{"BeforeEight", {1970, 1, 1, 0, 0, 0, 0}, "-28800", "-28800000"}),
    [](const auto& info) { return info.param.name; });

struct BetweenCase {
  const char* name;
  std::string text;
  std::string left;
  std::string right;
  std::string expected;
};

class Between : public testing::TestWithParam<BetweenCase> {};

TEST_P(Between, CutsBetweenMarkers) {
  EXPECT_EQ(TextBetween(GetParam().text, GetParam().left, GetParam().right), GetParam().expected);
}

const std::string kQuoteWord = gbk("#引号");

INSTANTIATE_TEST_SUITE_P(
    Cases, Between,
    testing::Values(BetweenCase{"QuoteWordStandsForQuote", "<a id=\"7\" x=\"8\">", "id=" + kQuoteWord, kQuoteWord,
                                "7"},
                    BetweenCase{"LeftAbsent", "<a id=\"7\">", "name=", ">", ""},
                    BetweenCase{"RightAbsentAfterLeft", "> <a id=7", "id=", ">", ""},
                    BetweenCase{"LetterCaseIgnored", "<A ID=7>", "id=", ">", "7"},
                    BetweenCase{"RightSearchedAfterLeftOnly", "]x[abc]", "[", "]", "abc"},
                    BetweenCase{"NothingBetween", "id=>", "id=", ">", ""},
                    BetweenCase{"ChineseKept", "<b>" + gbk("宝贝") + "</B>", "<b>", "</b>", gbk("宝贝")},
                    // "\xB0\x41" is one character whose trail byte is 'A': it is not the marker "a=".
                    BetweenCase{"NeverInsideADoubleByteCharacter", "\xB0\x41=1;a=2;", "a=", ";", "2"}),
    [](const auto& info) { return info.param.name; });

struct DeclaredCase {
  const char* name;
  std::string head;  // the declaration, put before a UTF-8 body
  bool force;
  bool converts;
};

class DeclaredUtf8 : public testing::TestWithParam<DeclaredCase> {};

TEST_P(DeclaredUtf8, ConvertsOnlyWhenDeclaredOrForced) {
  const std::string body = "<t>宝贝</t>";
  Bytes bytes = GetParam().head + body;
  const Bytes before = bytes;
  EXPECT_EQ(DeclaredUtf8ToGbk(bytes, GetParam().force), GetParam().converts);
  // The declaration itself is left as it was.
  EXPECT_EQ(bytes, GetParam().converts ? GetParam().head + gbk(body) : before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeclaredUtf8,
    testing::Values(DeclaredCase{"Gb2312NeverConverts", R"(<?xml version="1.0" encoding="gb2312"?>)", true, false},
                    DeclaredCase{"Gb2312AnyCase", R"(<?xml version="1.0" encoding="GB2312" ?>)", true, false},
                    DeclaredCase{"Utf8", R"(<?xml version="1.0" encoding="utf-8"?>)", false, true},
                    DeclaredCase{"Utf8UpperCase", R"(<?xml version="1.0" ENCODING="UTF-8"?>)", false, true},
                    DeclaredCase{"Utf8BlanksAroundEquals", R"(<?xml version="1.0" encoding = "Utf-8" ?>)", false,
                                 true},
                    DeclaredCase{"SingleQuotesAreNeither", "<?xml version='1.0' encoding='utf-8'?>", false, false},
                    DeclaredCase{"SingleQuotesForced", "<?xml version='1.0' encoding='utf-8'?>", true, true},
                    DeclaredCase{"NoDeclaration", "", false, false},
                    DeclaredCase{"NoDeclarationForced", "", true, true},
                    DeclaredCase{"OtherEncoding", R"(<?xml version="1.0" encoding="big5"?>)", false, false}),
    [](const auto& info) { return info.param.name; });

TEST(DeclaredUtf8ToGbk, StopsAtTheFirstZeroByte) {
  Bytes bytes = std::string(R"(<?xml encoding="utf-8"?><t>宝贝</t>)") + std::string("\0junk", 5);
  ASSERT_TRUE(DeclaredUtf8ToGbk(bytes));
  EXPECT_EQ(bytes, gbk(R"(<?xml encoding="utf-8"?><t>宝贝</t>)"));
}

}  // namespace
}  // namespace mirabex
