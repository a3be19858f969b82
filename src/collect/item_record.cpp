#include "collect/item_record.h"

#include <string>

#include "collect/item_transforms.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/xml_document.h"

namespace mirabex {
namespace {

constexpr std::string_view kItemPath = "item_get_response/item/";
constexpr std::string_view kSkusPath = "item_get_response/item/skus";

Text itemText(const XmlDocument& response, std::string_view field) {
  Text path(kItemPath);
  path += field;
  return response.text(path);
}

// The four progress lines differ only in their verb and tail; both are GBK.
Text progressMessage(const ItemProgress& progress, const Text& verb, const Text& tail) {
  static const Text kThread = utf8ToGbk("线程：");
  static const Text kOrdinal = utf8ToGbk(" 第：");
  Text message = kThread;
  message += std::to_string(progress.workerNumber);
  message += "  ";
  message += verb;
  message += kOrdinal;
  message += std::to_string(progress.row);
  message += '/';
  message += std::to_string(progress.totalRows);
  message += tail;
  return message;
}

void logMessage(const ItemLogMessage& log, const Text& message) {
  if (log) log(message);
}

Text scaledIfAdjusting(const Text& price, const Options& settings) {
  if (!settings.priceAdjust) return price;
  return scaledPriceText(price, settings.price, decimalPlacesOf(settings.priceNum));
}

}  // namespace

Text buildSkuProps(const XmlDocument& response, const Options& settings) {
  const int count = response.countChildren(kSkusPath);
  Text skuProps;
  for (int i = 1; i <= count; ++i) {
    const int idx = count + 1 - i;
    Text base(kSkusPath);
    base += "/@";
    base += std::to_string(idx);
    const Text price = scaledIfAdjusting(response.text(base + "/price"), settings);
    const Text quantity = settings.uniformStock ? settings.num : response.text(base + "/quantity");
    Text entry = price;
    entry += ':';
    entry += quantity;
    entry += ':';
    entry += response.text(base + "/outer_id");
    entry += ':';
    entry += response.text(base + "/properties");
    entry += ';';
    entry += skuProps;
    skuProps = trimText(entry);
  }
  skuProps += ';';
  return skuProps;
}

void extractBasicFields(const XmlDocument& response, const Text& itemId, const ItemProgress& progress,
                        const Options& settings, ItemRecord& record, const ItemLogMessage& log) {
  static const Text kStartVerb = utf8ToGbk("开始获取");
  static const Text kDoneVerb = utf8ToGbk("获取成功");
  static const Text kTail = utf8ToGbk(" 个宝贝   基本信息！");
  logMessage(log, progressMessage(progress, kStartVerb, kTail));

  record.num_iid = itemId;
  record.title = applyReplacementPairs(cleanTitle(itemText(response, "title")), settings);
  record.cid = itemText(response, "cid");
  record.seller_cids = itemText(response, "seller_cids");
  record.location_state = itemText(response, "location/state");
  record.location_city = itemText(response, "location/city");
  // Scaled once per item, whether or not it has combinations.
  record.price = scaledIfAdjusting(itemText(response, "price"), settings);
  // The item's own stock stays as listed; only the combinations get the uniform figure.
  record.num = itemText(response, "num");
  record.valid_thru = itemText(response, "valid_thru");
  record.freight_payer = freightPayerCode(itemText(response, "freight_payer"), settings.layout4Checked);
  record.ems_fee = itemText(response, "ems_fee");
  record.express_fee = itemText(response, "express_fee");
  record.post_fee = itemText(response, "post_fee");
  record.list_time = itemText(response, "list_time");
  record.props = propsWithTrailingSemicolon(itemText(response, "props"));
  record.modified = itemText(response, "modified");
  record.approve_status = approveStatusCode(itemText(response, "approve_status"));
  record.has_warranty = warrantyCode(itemText(response, "has_warranty"));

  record.skuProps = buildSkuProps(response, settings);

  record.input_pids = itemText(response, "input_pids");
  record.input_str = itemText(response, "input_str");
  record.outer_id = itemText(response, "outer_id");
  record.property_alias = itemText(response, "property_alias") + ";";

  logMessage(log, progressMessage(progress, kDoneVerb, kTail));
}

void extractDescription(const XmlDocument& response, const ItemProgress& progress, const Options& settings,
                        ItemRecord& record, const ItemLogMessage& log) {
  static const Text kStartVerb = utf8ToGbk("开始获取");
  static const Text kDoneVerb = utf8ToGbk("成功获取");
  static const Text kTail = utf8ToGbk("  个宝贝   描述信息！");
  logMessage(log, progressMessage(progress, kStartVerb, kTail));
  record.desc = applyReplacementPairs(cleanDescription(itemText(response, "desc")), settings);
  logMessage(log, progressMessage(progress, kDoneVerb, kTail));
}

}  // namespace mirabex
