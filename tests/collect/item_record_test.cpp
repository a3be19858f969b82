#include "collect/item_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collect/item_transforms.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/xml_document.h"

namespace mirabex {
namespace {

Text g(std::string_view utf8) { return utf8ToGbk(utf8); }

// A gateway answer as the open platform sends it: HTML escaped once inside <desc>,
// three sales-property combinations. Loaded as GBK (no declaration), as the document
// holds it after its own conversion.
constexpr std::string_view kItemResponse = R"(<item_get_response><item>
<approve_status>onsale</approve_status>
<cid>50010850</cid>
<desc>&lt;p&gt;A,B &quot;好&quot;&amp;nbsp;C&lt;/p&gt;</desc>
<ems_fee>20.00</ems_fee>
<express_fee>10.00</express_fee>
<freight_payer>seller</freight_payer>
<has_warranty>true</has_warranty>
<input_pids>20000</input_pids>
<input_str>自有品牌</input_str>
<list_time>2013-04-25 07:42:46</list_time>
<location><city>杭州</city><state>浙江</state></location>
<modified>2013-04-26 08:00:00</modified>
<num>30</num>
<outer_id>A-01</outer_id>
<post_fee>5.00</post_fee>
<price>10</price>
<property_alias>1627207:28341:大红</property_alias>
<props>20000:3275069;1627207:28341</props>
<seller_cids>,111,222,</seller_cids>
<skus>
<sku><outer_id>S1</outer_id><price>10</price><properties>1627207:28341</properties><quantity>7</quantity></sku>
<sku><outer_id>S2</outer_id><price>12.5</price><properties>1627207:28338</properties><quantity>8</quantity></sku>
<sku><outer_id></outer_id><price>9.9</price><properties>1627207:28320</properties><quantity>9</quantity></sku>
</skus>
<title>韩版连衣裙&amp;amp;半身裙 2013.新款</title>
<valid_thru>14</valid_thru>
</item></item_get_response>)";

constexpr std::string_view kErrorResponse =
    R"(<error_response><code>27</code><msg>Invalid session</msg></error_response>)";

class ItemRecordExtraction : public testing::Test {
 protected:
  void load(std::string_view utf8Xml) { ASSERT_TRUE(m_response.load(g(utf8Xml))); }

  ItemRecord extract(const Options& settings) {
    ItemRecord record;
    const ItemProgress progress{2, 7, 50};
    extractBasicFields(m_response, "12345", progress, settings, record, [&](const Text& m) { m_log.push_back(m); });
    extractDescription(m_response, progress, settings, record, [&](const Text& m) { m_log.push_back(m); });
    return record;
  }

  XmlDocument m_response;
  std::vector<Text> m_log;
};

TEST_F(ItemRecordExtraction, ReadsAndTransformsEveryField) {
  load(kItemResponse);
  Options settings;
  settings.layout4Checked = true;
  const ItemRecord r = extract(settings);

  EXPECT_EQ(r.num_iid, "12345");
  EXPECT_EQ(r.title, g("韩版连衣裙 半身裙 2013 新款"));
  EXPECT_EQ(r.cid, "50010850");
  EXPECT_EQ(r.seller_cids, ",111,222,");
  EXPECT_EQ(r.location_state, g("浙江"));
  EXPECT_EQ(r.location_city, g("杭州"));
  EXPECT_EQ(r.price, "10");  // untouched text without price scaling
  EXPECT_EQ(r.num, "30");
  EXPECT_EQ(r.valid_thru, "14");
  EXPECT_EQ(r.freight_payer, "2");
  EXPECT_EQ(r.ems_fee, "20.00");
  EXPECT_EQ(r.express_fee, "10.00");
  EXPECT_EQ(r.post_fee, "5.00");
  EXPECT_EQ(r.list_time, "2013-04-25 07:42:46");
  EXPECT_EQ(r.props, "20000:3275069;1627207:28341;");
  EXPECT_EQ(r.modified, "2013-04-26 08:00:00");
  EXPECT_EQ(r.approve_status, "200");
  EXPECT_EQ(r.has_warranty, "1");
  EXPECT_EQ(r.skuProps, "10:7:S1:1627207:28341;12.5:8:S2:1627207:28338;9.9:9::1627207:28320;;");
  EXPECT_EQ(r.input_pids, "20000");
  EXPECT_EQ(r.input_str, g("自有品牌"));
  EXPECT_EQ(r.outer_id, "A-01");
  EXPECT_EQ(r.property_alias, g("1627207:28341:大红;"));
  EXPECT_EQ(r.desc, g("<p>A，B \"\"好\"\" C</p>"));
  EXPECT_TRUE(r.picture.empty());
}

TEST_F(ItemRecordExtraction, WritesTheFourProgressLines) {
  load(kItemResponse);
  extract(Options{});
  const std::vector<Text> expected{
      g("线程：2  开始获取 第：7/50 个宝贝   基本信息！"),
      g("线程：2  获取成功 第：7/50 个宝贝   基本信息！"),
      g("线程：2  开始获取 第：7/50  个宝贝   描述信息！"),
      g("线程：2  成功获取 第：7/50  个宝贝   描述信息！"),
  };
  EXPECT_EQ(m_log, expected);
}

TEST_F(ItemRecordExtraction, ScalesItemAndCombinationPricesOnce) {
  load(kItemResponse);
  Options settings;
  settings.priceAdjust = true;
  settings.price = "150";
  settings.priceNum = "";  // no rounding
  const ItemRecord r = extract(settings);
  EXPECT_EQ(r.price, "15");
  EXPECT_EQ(r.skuProps, "15:7:S1:1627207:28341;18.75:8:S2:1627207:28338;14.85:9::1627207:28320;;");
}

TEST_F(ItemRecordExtraction, UniformStockReplacesOnlyCombinationQuantities) {
  load(kItemResponse);
  Options settings;
  settings.uniformStock = true;
  settings.num = "100";
  const ItemRecord r = extract(settings);
  EXPECT_EQ(r.num, "30");
  EXPECT_EQ(r.skuProps, "10:100:S1:1627207:28341;12.5:100:S2:1627207:28338;9.9:100::1627207:28320;;");
}

TEST_F(ItemRecordExtraction, DecimalPlacesRoundEveryScaledPrice) {
  load(kItemResponse);
  Options settings;
  settings.priceAdjust = true;
  settings.price = "110";
  settings.priceNum = "1";
  const ItemRecord r = extract(settings);
  // 11, 13.75 -> 13.8, 10.89 -> 10.9
  EXPECT_EQ(r.price, "11");
  EXPECT_EQ(r.skuProps, "11:7:S1:1627207:28341;13.8:8:S2:1627207:28338;10.9:9::1627207:28320;;");
}

TEST_F(ItemRecordExtraction, DecimalPlacesAloneLeaveUnscaledPricesAlone) {
  load(kItemResponse);
  Options settings;
  settings.priceNum = "0";
  const ItemRecord r = extract(settings);
  EXPECT_EQ(r.price, "10");
  EXPECT_EQ(r.skuProps, "10:7:S1:1627207:28341;12.5:8:S2:1627207:28338;9.9:9::1627207:28320;;");
}

TEST_F(ItemRecordExtraction, ReplacementPairsApplyAfterTheCleanUps) {
  load(kItemResponse);
  Options settings;
  settings.replaceFrom1 = g("韩版");    // pair one runs before pair two
  settings.replaceTo1 = g("新版");
  settings.replaceFrom2 = g("新版");
  settings.replaceTo2 = g("正品");
  settings.replaceFrom3 = "";           // empty left side: no effect
  settings.replaceTo3 = "X";
  ItemRecord r = extract(settings);
  EXPECT_EQ(r.title, g("正品连衣裙 半身裙 2013 新款"));

  // The description sees the pairs after its own clean-up: the full-width comma is there to be replaced.
  Options descSettings;
  descSettings.replaceFrom1 = g("，");
  descSettings.replaceTo1 = "/";
  descSettings.replaceFrom2 = " C";
  descSettings.replaceTo2 = "";
  r = extract(descSettings);
  EXPECT_EQ(r.desc, g("<p>A/B \"\"好\"\"</p>"));
}

TEST_F(ItemRecordExtraction, OneCombinationEndsInTwoSemicolons) {
  load(R"(<item_get_response><item><title>t</title><skus><sku><price> 5</price><quantity>1</quantity>)"
       R"(<outer_id>o</outer_id><properties>1:2</properties></sku></skus></item></item_get_response>)");
  EXPECT_EQ(extract(Options{}).skuProps, "5:1:o:1:2;;");
}

TEST_F(ItemRecordExtraction, ErrorOrEmptyResponseGivesTheTransformedEmptyValues) {
  for (const std::string_view xml : {kErrorResponse, std::string_view{}}) {
    SCOPED_TRACE(std::string(xml));
    m_response.load(g(xml));
    Options settings;
    settings.priceAdjust = true;
    settings.uniformStock = true;
    const ItemRecord r = extract(settings);
    EXPECT_EQ(r.title, "");
    EXPECT_EQ(r.freight_payer, "0");
    EXPECT_EQ(r.approve_status, "100");
    EXPECT_EQ(r.has_warranty, "0");
    EXPECT_EQ(r.props, ";");
    EXPECT_EQ(r.skuProps, ";");
    EXPECT_EQ(r.property_alias, ";");
    EXPECT_EQ(r.price, "0");  // scaling an absent price gives its numeric value, 0
    EXPECT_EQ(r.desc, "");
  }
}

// --- the transforms on their own ---

struct TextCase {
  std::string input;
  std::string expected;
};

class TitleCleanUp : public testing::TestWithParam<TextCase> {};

TEST_P(TitleCleanUp, RemovesEntitiesAndUnsafeCharacters) {
  EXPECT_EQ(cleanTitle(g(GetParam().input)), g(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, TitleCleanUp,
                         testing::Values(TextCase{"A&amp;amp;B.C?D*E", "A B C D E"},
                                         TextCase{"a|b<c>d", "a b c d"},
                                         TextCase{"&amp;&amp;", "  "},
                                         TextCase{"AMP;amp;", "AMP;"},  // case-sensitive
                                         TextCase{"连衣裙", "连衣裙"}));

TEST(TitleCleanUpBytes, KeepsDoubleByteCharactersWhoseTrailByteIsABar) {
  const Text title = "\xB1\x7C|x";  // a character ending in 0x7C, then a real '|'
  EXPECT_EQ(cleanTitle(title), "\xB1\x7C x");
}

class DescriptionCleanUp : public testing::TestWithParam<TextCase> {};

TEST_P(DescriptionCleanUp, PreparesTheTextForOneQuotedField) {
  EXPECT_EQ(cleanDescription(g(GetParam().input)), g(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescriptionCleanUp,
    testing::Values(TextCase{"a,b,,c", "a，b，，c"},
                    TextCase{"say &quot;hi&quot;", "say \"\"hi\"\""},
                    TextCase{"&lt;img src=&quot;x.jpg&quot;&gt;", "<img src=\"\"x.jpg\"\">"},
                    TextCase{"a&amp;nbsp;b", "a b"},
                    TextCase{"line1\r\nline2\nline3", "line1line2\nline3"},
                    // only the listed entities are decoded; others stay as written
                    TextCase{"&amp;lt;", "&amp;lt;"}));

struct CodeCase {
  std::string value;
  bool layout4;
  std::string expected;
};

class FreightPayer : public testing::TestWithParam<CodeCase> {};

TEST_P(FreightPayer, CodesFollowTheChosenLayout) {
  EXPECT_EQ(freightPayerCode(GetParam().value, GetParam().layout4), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, FreightPayer,
                         testing::Values(CodeCase{"seller", true, "2"}, CodeCase{"seller", false, "1"},
                                         CodeCase{"buyer", true, "1"}, CodeCase{"buyer", false, "2"},
                                         CodeCase{"", true, "0"}, CodeCase{"", false, "0"},
                                         CodeCase{"Seller", true, "Seller"}, CodeCase{"3", false, "3"}));

TEST(ItemCodes, StatusWarrantyAndProps) {
  const std::vector<TextCase> status{{"", "100"}, {"onsale", "200"}, {"instock", "instock"}};
  for (const auto& c : status) EXPECT_EQ(approveStatusCode(c.input), c.expected) << c.input;

  const std::vector<TextCase> warranty{{"true", "1"}, {"false", "0"}, {"", "0"}, {"TRUE", "0"}};
  for (const auto& c : warranty) EXPECT_EQ(warrantyCode(c.input), c.expected) << c.input;

  const std::vector<TextCase> props{{"", ";"},      {";", ";"},         {"1:2;3:4", "1:2;3:4;"},
                                    {"1:2;", "1:2;;"}, {";1:2", ";1:2"}, {"1:2", "1:2;"}};
  for (const auto& c : props) EXPECT_EQ(propsWithTrailingSemicolon(c.input), c.expected) << c.input;
}

// --- numbers ---

struct ValueCase {
  std::string text;
  double value;
};

TEST(ItemNumbers, NumericValueIsTheNumberAtTheStart) {
  const std::vector<ValueCase> cases{{"10", 10},      {"12.50", 12.5},  {"9.9元", 9.9}, {"abc", 0}, {"", 0},
                                     {"-3.5", -3.5},  {" 7", 7},        {"1e3", 1},     {".5", 0.5},
                                     {"3.", 3},       {"1,000", 1},     {"-", 0}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(numericValueOf(g(c.text)), c.value) << c.text;
}

struct FormatCase {
  double value;
  std::string expected;
};

TEST(ItemNumbers, NumberTextFollowsThirteenSignificantDigits) {
  const std::vector<FormatCase> cases{{15, "15"},
                                      {0, "0"},
                                      {18.75, "18.75"},
                                      {9.9 * 150 / 100, "14.85"},  // binary noise hidden by 13 digits
                                      {2.0 / 3.0, "0.6666666666667"},
                                      {1234567890123.0, "1234567890123"},
                                      {12345678901234.0, "1.234567890123e+13"},
                                      {0.0001, "0.0001"},
                                      {0.00001, "1e-05"},
                                      {-2.5, "-2.5"}};
  for (const auto& c : cases) EXPECT_EQ(numberText(c.value), c.expected) << c.expected;
}

struct RoundCase {
  double value;
  int decimals;
  std::string expected;
};

TEST(ItemNumbers, RoundsHalfAwayFromZeroOnTheShownDigits) {
  const std::vector<RoundCase> cases{{2.675, 2, "2.68"}, {1.005, 2, "1.01"}, {10.89, 0, "11"},
                                     {10.49, 0, "10"},   {-2.5, 0, "-3"},    {-2.45, 1, "-2.5"},
                                     {9.996, 2, "10"},   {0.05, 1, "0.1"},   {0.04, 1, "0"},
                                     {0.004, 1, "0"},    {0.6, 0, "1"},      {15, 6, "15"},
                                     {1.23456789, 6, "1.234568"}, {-0.001, 2, "0"},
                                     // beyond 13 digits there is nothing left to round
                                     {12345678901234.5, 0, "1.234567890123e+13"}};
  for (const auto& c : cases) {
    EXPECT_EQ(numberText(roundToDecimals(c.value, c.decimals)), c.expected) << c.value << " to " << c.decimals;
  }
}

TEST(ItemNumbers, DecimalPlacesBoxAcceptsWholeNumbersZeroToSix) {
  const std::vector<std::pair<std::string, int>> cases{{"0", 0},   {"6", 6},     {" 2 ", 2}, {"02", 2},
                                                       {"7", -1},  {"", -1},     {"-1", -1}, {"2.0", -1},
                                                       {"abc", -1}, {"99999", -1}};
  for (const auto& [box, places] : cases) EXPECT_EQ(decimalPlacesOf(box), places) << box;
}

TEST(ItemNumbers, ScaledPriceText) {
  EXPECT_EQ(scaledPriceText("10", "150", -1), "15");
  EXPECT_EQ(scaledPriceText("abc", "150", -1), "0");
  EXPECT_EQ(scaledPriceText("10", "", -1), "0");  // an empty percentage is worth 0
  EXPECT_EQ(scaledPriceText("19.99", "85", -1), "16.9915");
  EXPECT_EQ(scaledPriceText("19.99", "85", 2), "16.99");
}

}  // namespace
}  // namespace mirabex
