#include "collect/csv_layout.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

Text g(std::string_view utf8) { return utf8ToGbk(utf8); }

constexpr std::string_view kMallHost = "detail.tmall.com";

// One item as it reaches the CSV: already extracted and transformed, pictures listed.
ItemRecord knownItem() {
  ItemRecord r;
  r.num_iid = "12345678901";
  r.title = g("韩版连衣裙 2013 新款");
  r.cid = "50010850";
  r.seller_cids = ",111,222,";
  r.location_state = g("浙江");
  r.location_city = g("杭州");
  r.price = "15";
  r.num = "30";
  r.valid_thru = "14";
  r.freight_payer = "2";
  r.ems_fee = "20.00";
  r.express_fee = "10.00";
  r.post_fee = "5.00";
  r.list_time = "2013-04-25 07:42:46";
  r.props = "20000:3275069;1627207:28341;";
  r.modified = "2013-04-26 08:00:00";
  r.approve_status = "200";
  r.has_warranty = "1";
  r.skuProps = "15:100:S1:1627207:28341;;";
  r.input_pids = "20000";
  r.input_str = g("自有品牌");
  r.outer_id = "A-01";
  r.property_alias = g("1627207:28341:大红;");
  r.desc = g("<p>A，B \"\"好\"\" C</p>");  // the description clean-up's doubled quotes
  r.picture = "0123456789abcdef0123456789abcdef:1:0:|;";
  return r;
}

// Written out from the column tables, field by field.
const char* const kGoldenRow4 =
    "\"韩版连衣裙 2013 新款\",50010850,\",111,222,\",0,\"浙江\",\"杭州\",\"b\",15,0,30,14,2,5.00,20.00,10.00,,,0,1,"
    "1,0,1,\"2013-04-25 07:42:46\",,\"<p>A，B \"\"好\"\" C</p>\",,\"20000:3275069;1627207:28341;\",,,0,0,"
    "\"2013-04-26 08:00:00\",200,,0,\"0123456789abcdef0123456789abcdef:1:0:|;\",\"\",\"15:100:S1:1627207:28341;;\","
    "\"20000\",\"自有品牌\",\"A-01\",\"1627207:28341:大红;;\",0,\"12345678901\",12345678901,"
    "\"http://detail.tmall.com/item.htm?id=12345678901&\"\r\n";

const char* const kGoldenRow5 =
    "\"韩版连衣裙 2013 新款\",50010850,\",111,222,\",1,\"浙江\",\"杭州\",\"b\",15,0,30,14,2,5.00,20.00,10.00,0,1,1,"
    "0,\"2013-04-25 07:42:46\",\"<p>A，B \"\"好\"\" C</p>\",\"20000:3275069;1627207:28341;\",0,0,"
    "\"2013-04-26 08:00:00\",200,,0,\"0123456789abcdef0123456789abcdef:1:0:|;\",\"\",\"15:100:S1:1627207:28341;;\","
    "\"20000\",\"自有品牌\",\"A-01\",\"1627207:28341:大红;\",0,12345678901,0,2,,1,0,0,\r\n";

const char* const kHeader4 =
    "宝贝名称,宝贝类目,店铺类目,新旧程度,省,城市,出售方式,宝贝价格,加价幅度,宝贝数量,有效期,运费承担,平邮,EMS,快递,"
    "付款方式,支付宝,发票,保修,自动重发,放入仓库,橱窗推荐,开始时间,心情故事,宝贝描述,宝贝图片,宝贝属性,团购价,"
    "最小团购件数,邮费模版ID,会员打折,修改时间,上传状态,图片状态,返点比例,新图片,视频,销售属性组合,用户输入ID串,"
    "用户输入名-值对,商家编码,销售属性别名,代充类型,宝贝编号,数字ID,宝贝链接 \r\n";

const char* const kHeader5 =
    "version 1.00,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n"
    "title,cid,seller_cids,stuff_status,location_state,location_city,item_type,price,auction_increment,num,"
    "valid_thru,freight_payer,post_fee,ems_fee,express_fee,has_invoice,has_warranty,approve_status,has_showcase,"
    "list_time,description,cateProps,postage_id,has_discount,modified,upload_fail_msg,picture_status,"
    "auction_point,picture,video,skuProps,inputPids,inputValues,outer_id,propAlias,auto_fill,num_id,local_cid,"
    "navigation_type,user_name,syncStatus,is_lighting_consigment,is_xinpin,foodparame\r\n"
    "宝贝名称,宝贝类目,店铺类目,新旧程度,省,城市,出售方式,宝贝价格,加价幅度,宝贝数量,有效期,运费承担,平邮,EMS,快递,"
    "发票,保修,放入仓库,橱窗推荐,开始时间,宝贝描述,宝贝属性,邮费模版ID,会员打折,修改时间,上传状态,图片状态,返点比例,"
    "新图片,视频,销售属性组合,用户输入ID串,用户输入名-值对,商家编码,销售属性别名,代充类型,数字ID,本地ID,宝贝分类,"
    "账户名称,宝贝状态,闪电发货,新品,食品专项\r\n";

// A strict RFC 4180 reader: a quote inside a bare field, anything after a closing
// quote but a separator, or an open quote at the end is an error (nullopt).
std::optional<std::vector<std::vector<std::string>>> readCsv(std::string_view text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  std::size_t i = 0;
  bool atFieldStart = true;
  auto endField = [&] {
    record.push_back(field);
    field.clear();
    atFieldStart = true;
  };
  while (i < text.size()) {
    const char c = text[i];
    if (atFieldStart && c == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) return std::nullopt;
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
      if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') return std::nullopt;
      atFieldStart = false;
      continue;
    }
    atFieldStart = false;
    if (c == ',') {
      endField();
      ++i;
    } else if (c == '\r' || c == '\n') {
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      endField();
      records.push_back(record);
      record.clear();
    } else if (c == '"') {
      return std::nullopt;
    } else {
      field += c;
      ++i;
    }
  }
  if (!atFieldStart || !record.empty()) {
    endField();
    records.push_back(record);
  }
  return records;
}

TEST(CsvLayout, GoldenRowsOfAKnownItem) {
  EXPECT_EQ(csvRow(knownItem(), kCsvLayout4, kMallHost), g(kGoldenRow4));
  EXPECT_EQ(csvRow(knownItem(), kCsvLayout5, kMallHost), g(kGoldenRow5));
}

TEST(CsvLayout, HeaderLines) {
  EXPECT_EQ(csvHeader(kCsvLayout4), g(kHeader4));
  EXPECT_EQ(csvHeader(kCsvLayout5), g(kHeader5));
}

TEST(CsvLayout, HeadersAndGoldenRowsReadAsTheLayoutsFieldCount) {
  for (const int layout : {kCsvLayout4, kCsvLayout5}) {
    const auto records = readCsv(csvHeader(layout) + csvRow(knownItem(), layout, kMallHost));
    ASSERT_TRUE(records.has_value()) << layout;
    ASSERT_EQ(records->size(), layout == kCsvLayout4 ? 2u : 4u);
    for (const auto& record : *records) EXPECT_EQ(static_cast<int>(record.size()), csvFieldCount(layout));
    EXPECT_EQ(records->back().front(), g("韩版连衣裙 2013 新款"));
  }
}

TEST(CsvLayout, EmptyTitleGivesNoRow) {
  ItemRecord record = knownItem();
  record.title.clear();
  EXPECT_EQ(csvRow(record, kCsvLayout4, kMallHost), "");
  EXPECT_EQ(csvRow(record, kCsvLayout5, kMallHost), "");
}

TEST(CsvLayout, LinkColumnUsesTheConfiguredMallHost) {
  const Text row = csvRow(knownItem(), kCsvLayout4, "mall.sandbox.test:8080");
  EXPECT_TRUE(row.ends_with(",\"http://mall.sandbox.test:8080/item.htm?id=12345678901&\"\r\n"));
}

// Texts that a gateway answer can carry and that would break the row if written
// as they are; each must still read as one row of the layout's fields, holding the value.
struct HostileCase {
  const char* name;
  Text ItemRecord::*field;
  std::string value;  // UTF-8
  std::string readsAs;
};

class CsvRowUnderAReader : public testing::TestWithParam<HostileCase> {};

TEST_P(CsvRowUnderAReader, ReadsAsExactlyOneRowOfTheLayout) {
  const HostileCase& c = GetParam();
  for (const int layout : {kCsvLayout4, kCsvLayout5}) {
    SCOPED_TRACE(layout);
    ItemRecord record = knownItem();
    record.*c.field = g(c.value);
    const auto records = readCsv(csvRow(record, layout, kMallHost));
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 1u);
    const auto& fields = records->front();
    ASSERT_EQ(static_cast<int>(fields.size()), csvFieldCount(layout));

    // Where the value landed: compare against the golden row with only this field changed.
    const auto golden = readCsv(csvRow(knownItem(), layout, kMallHost));
    ASSERT_TRUE(golden.has_value());
    int changed = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i] == golden->front()[i]) continue;
      ++changed;
      EXPECT_EQ(fields[i], g(c.readsAs)) << "column " << i + 1;
    }
    EXPECT_GE(changed, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvRowUnderAReader,
    testing::Values(HostileCase{"LoneQuoteInTitle", &ItemRecord::title, "韩版\"连衣裙", "韩版\"连衣裙"},
                    HostileCase{"LoneQuoteInDescription", &ItemRecord::desc, "<a href=\"x>y", "<a href=\"x>y"},
                    HostileCase{"QuoteBesideDoubledQuotes", &ItemRecord::desc, "a\"\"\"b", "a\"\"b"},
                    HostileCase{"MarkerInDescription", &ItemRecord::desc, "a|*|b", "a\"b"},
                    HostileCase{"MarkerHalfAtTheEnd", &ItemRecord::outer_id, "x|*", "x|*"},
                    HostileCase{"MarkerHalfAtTheStart", &ItemRecord::input_str, "*|x", "*|x"},
                    HostileCase{"LineFeedInTitle", &ItemRecord::title, "a\nb", "a\nb"},
                    HostileCase{"CrLfInProperties", &ItemRecord::input_str, "a\r\nb", "a\r\nb"},
                    HostileCase{"CommaInBareColumn", &ItemRecord::cid, "1,2", "1,2"},
                    HostileCase{"QuoteInBareColumn", &ItemRecord::price, "1\"", "1\""},
                    HostileCase{"MarkerInBareColumn", &ItemRecord::num, "|*|5", "\"5"},
                    HostileCase{"LineFeedInBareColumn", &ItemRecord::valid_thru, "1\n4", "1\n4"}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

TEST(CsvLayout, ValuesThatAlreadyReadBackStayByteForByte) {
  ItemRecord record = knownItem();
  record.desc = g("<img src=\"\"a.jpg\"\"> |x* ，");
  record.cid = "50|*";  // no whole marker: nothing to resolve in a bare column
  const Text row = csvRow(record, kCsvLayout5, kMallHost);
  EXPECT_NE(row.find(g("\"<img src=\"\"a.jpg\"\"> |x* ，\"")), Text::npos);
  EXPECT_NE(row.find(",50|*,"), Text::npos);
}

}  // namespace
}  // namespace mirabex
