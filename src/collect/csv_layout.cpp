#include "collect/csv_layout.h"

#include <array>
#include <cstddef>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

// While the rows are built the quote of a quoted column is thought of as the marker
// "|*|"; a value holding the marker therefore ends up holding a double quote.
constexpr std::string_view kQuoteMarker = "|*|";

enum class Kind {
  Quoted,       // a record field between quotes
  Bare,         // a record field as it is
  Fixed,        // a constant, bare (empty for an empty column)
  FixedQuoted,  // a constant between quotes
  AliasQuoted,  // property_alias + ";" between quotes
  LinkQuoted,   // the mall item-page address between quotes
};

struct Column {
  const char* header;  // UTF-8 here; converted once
  Kind kind;
  Text ItemRecord::*field = nullptr;
  const char* constant = "";
};

using R = ItemRecord;

constexpr std::array<Column, 46> kLayout4{{
    {"宝贝名称", Kind::Quoted, &R::title},
    {"宝贝类目", Kind::Bare, &R::cid},
    {"店铺类目", Kind::Quoted, &R::seller_cids},
    {"新旧程度", Kind::Fixed, nullptr, "0"},
    {"省", Kind::Quoted, &R::location_state},
    {"城市", Kind::Quoted, &R::location_city},
    {"出售方式", Kind::FixedQuoted, nullptr, "b"},
    {"宝贝价格", Kind::Bare, &R::price},
    {"加价幅度", Kind::Fixed, nullptr, "0"},
    {"宝贝数量", Kind::Bare, &R::num},
    {"有效期", Kind::Bare, &R::valid_thru},
    {"运费承担", Kind::Bare, &R::freight_payer},
    {"平邮", Kind::Bare, &R::post_fee},
    {"EMS", Kind::Bare, &R::ems_fee},
    {"快递", Kind::Bare, &R::express_fee},
    {"付款方式", Kind::Fixed},
    {"支付宝", Kind::Fixed},
    {"发票", Kind::Fixed, nullptr, "0"},
    {"保修", Kind::Bare, &R::has_warranty},
    {"自动重发", Kind::Fixed, nullptr, "1"},
    {"放入仓库", Kind::Fixed, nullptr, "0"},
    {"橱窗推荐", Kind::Fixed, nullptr, "1"},
    {"开始时间", Kind::Quoted, &R::list_time},
    {"心情故事", Kind::Fixed},
    {"宝贝描述", Kind::Quoted, &R::desc},
    {"宝贝图片", Kind::Fixed},
    {"宝贝属性", Kind::Quoted, &R::props},
    {"团购价", Kind::Fixed},
    {"最小团购件数", Kind::Fixed},
    {"邮费模版ID", Kind::Fixed, nullptr, "0"},
    {"会员打折", Kind::Fixed, nullptr, "0"},
    {"修改时间", Kind::Quoted, &R::modified},
    {"上传状态", Kind::Bare, &R::approve_status},
    {"图片状态", Kind::Fixed},
    {"返点比例", Kind::Fixed, nullptr, "0"},
    {"新图片", Kind::Quoted, &R::picture},
    {"视频", Kind::FixedQuoted},
    {"销售属性组合", Kind::Quoted, &R::skuProps},
    {"用户输入ID串", Kind::Quoted, &R::input_pids},
    {"用户输入名-值对", Kind::Quoted, &R::input_str},
    {"商家编码", Kind::Quoted, &R::outer_id},
    {"销售属性别名", Kind::AliasQuoted, &R::property_alias},
    {"代充类型", Kind::Fixed, nullptr, "0"},
    {"宝贝编号", Kind::Quoted, &R::num_iid},
    {"数字ID", Kind::Bare, &R::num_iid},
    {"宝贝链接", Kind::LinkQuoted, &R::num_iid},
}};

constexpr std::array<Column, 44> kLayout5{{
    {"title", Kind::Quoted, &R::title},
    {"cid", Kind::Bare, &R::cid},
    {"seller_cids", Kind::Quoted, &R::seller_cids},
    {"stuff_status", Kind::Fixed, nullptr, "1"},
    {"location_state", Kind::Quoted, &R::location_state},
    {"location_city", Kind::Quoted, &R::location_city},
    {"item_type", Kind::FixedQuoted, nullptr, "b"},
    {"price", Kind::Bare, &R::price},
    {"auction_increment", Kind::Fixed, nullptr, "0"},
    {"num", Kind::Bare, &R::num},
    {"valid_thru", Kind::Bare, &R::valid_thru},
    {"freight_payer", Kind::Bare, &R::freight_payer},
    {"post_fee", Kind::Bare, &R::post_fee},
    {"ems_fee", Kind::Bare, &R::ems_fee},
    {"express_fee", Kind::Bare, &R::express_fee},
    {"has_invoice", Kind::Fixed, nullptr, "0"},
    {"has_warranty", Kind::Bare, &R::has_warranty},
    {"approve_status", Kind::Fixed, nullptr, "1"},
    {"has_showcase", Kind::Fixed, nullptr, "0"},
    {"list_time", Kind::Quoted, &R::list_time},
    {"description", Kind::Quoted, &R::desc},
    {"cateProps", Kind::Quoted, &R::props},
    {"postage_id", Kind::Fixed, nullptr, "0"},
    {"has_discount", Kind::Fixed, nullptr, "0"},
    {"modified", Kind::Quoted, &R::modified},
    {"upload_fail_msg", Kind::Bare, &R::approve_status},
    {"picture_status", Kind::Fixed},
    {"auction_point", Kind::Fixed, nullptr, "0"},
    {"picture", Kind::Quoted, &R::picture},
    {"video", Kind::FixedQuoted},
    {"skuProps", Kind::Quoted, &R::skuProps},
    {"inputPids", Kind::Quoted, &R::input_pids},
    {"inputValues", Kind::Quoted, &R::input_str},
    {"outer_id", Kind::Quoted, &R::outer_id},
    {"propAlias", Kind::Quoted, &R::property_alias},
    {"auto_fill", Kind::Fixed, nullptr, "0"},
    {"num_id", Kind::Bare, &R::num_iid},
    {"local_cid", Kind::Fixed, nullptr, "0"},
    {"navigation_type", Kind::Fixed, nullptr, "2"},
    {"user_name", Kind::Fixed},
    {"syncStatus", Kind::Fixed, nullptr, "1"},
    {"is_lighting_consigment", Kind::Fixed, nullptr, "0"},
    {"is_xinpin", Kind::Fixed, nullptr, "0"},
    {"foodparame", Kind::Fixed},
}};

// The third 5.x header line: the Chinese names of the same 44 columns.
constexpr std::array<const char*, 44> kLayout5Chinese{
    "宝贝名称", "宝贝类目", "店铺类目", "新旧程度", "省", "城市", "出售方式", "宝贝价格", "加价幅度",
    "宝贝数量", "有效期", "运费承担", "平邮", "EMS", "快递", "发票", "保修", "放入仓库", "橱窗推荐",
    "开始时间", "宝贝描述", "宝贝属性", "邮费模版ID", "会员打折", "修改时间", "上传状态", "图片状态",
    "返点比例", "新图片", "视频", "销售属性组合", "用户输入ID串", "用户输入名-值对", "商家编码",
    "销售属性别名", "代充类型", "数字ID", "本地ID", "宝贝分类", "账户名称", "宝贝状态", "闪电发货",
    "新品", "食品专项"};

template <std::size_t N>
Text joinedNames(const std::array<Column, N>& columns) {
  Text line;
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) line += ',';
    line += utf8ToGbk(columns[i].header);
  }
  return line;
}

Text buildHeader4() { return joinedNames(kLayout4) + " \r\n"; }

Text buildHeader5() {
  Text header = "version 1.00" + Text(43, ',') + "\r\n";
  header += joinedNames(kLayout5) + "\r\n";
  for (std::size_t i = 0; i < kLayout5Chinese.size(); ++i) {
    if (i > 0) header += ',';
    header += utf8ToGbk(kLayout5Chinese[i]);
  }
  header += "\r\n";
  return header;
}

// A quoted column's content as it reads between its quotes. A run of quotes of even
// length already reads back (the description's doubled "&quot;"), so it is left as
// it is; an odd run gets one more quote, or it would end the field early.
void appendQuoted(Text& row, std::string_view value) {
  const Text resolved = replaceAllText(value, kQuoteMarker, "\"");
  row += '"';
  std::size_t i = 0;
  while (i < resolved.size()) {
    if (resolved[i] != '"') {
      row += resolved[i++];
      continue;
    }
    std::size_t run = 0;
    while (i < resolved.size() && resolved[i] == '"') ++run, ++i;
    row.append(run % 2 == 1 ? run + 1 : run, '"');
  }
  row += '"';
}

// A bare column stays bare unless it holds something that would split or end the row.
void appendBare(Text& row, std::string_view value) {
  const Text resolved = replaceAllText(value, kQuoteMarker, "\"");
  if (resolved.find_first_of(",\"\r\n") == Text::npos) {
    row += resolved;
    return;
  }
  row += '"';
  for (char c : resolved) {
    if (c == '"') row += '"';
    row += c;
  }
  row += '"';
}

template <std::size_t N>
Text buildRow(const std::array<Column, N>& columns, const ItemRecord& record, std::string_view mallHost) {
  Text row;
  row.reserve(512 + record.desc.size() + record.skuProps.size() + record.props.size());
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) row += ',';
    const Column& column = columns[i];
    switch (column.kind) {
      case Kind::Quoted:
        appendQuoted(row, record.*column.field);
        break;
      case Kind::Bare:
        appendBare(row, record.*column.field);
        break;
      case Kind::Fixed:
        row += column.constant;
        break;
      case Kind::FixedQuoted:
        appendQuoted(row, column.constant);
        break;
      case Kind::AliasQuoted:
        appendQuoted(row, record.*column.field + ";");
        break;
      case Kind::LinkQuoted: {
        Text link = "http://";
        link += mallHost;
        link += "/item.htm?id=";
        link += record.*column.field;
        link += '&';
        appendQuoted(row, link);
        break;
      }
    }
  }
  row += "\r\n";
  return row;
}

}  // namespace

Text csvHeader(int layout) {
  static const Text kHeader4 = buildHeader4();
  static const Text kHeader5 = buildHeader5();
  return layout == kCsvLayout4 ? kHeader4 : kHeader5;
}

Text csvRow(const ItemRecord& record, int layout, std::string_view mallHost) {
  if (record.title.empty()) return {};
  return layout == kCsvLayout4 ? buildRow(kLayout4, record, mallHost) : buildRow(kLayout5, record, mallHost);
}

int csvFieldCount(int layout) {
  return layout == kCsvLayout4 ? static_cast<int>(kLayout4.size()) : static_cast<int>(kLayout5.size());
}

}  // namespace mirabex
