#include "sandbox/gateway.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "sandbox/sandbox_text.h"

namespace mirabex::sandbox {
namespace {

constexpr const char* kServerNames[] = {"top050058.cm4", "top011042.cm3", "top021077.cm6"};

struct Element {
  std::string name;
  std::string content;  // already escaped
};

std::string element(std::string_view name, std::string_view content) {
  std::string out;
  out.reserve(name.size() * 2 + content.size() + 5);
  out += '<';
  out += name;
  out += '>';
  out += content;
  out += "</";
  out += name;
  out += '>';
  return out;
}

std::string textElement(std::string_view name, std::string_view text) { return element(name, xmlEscape(text)); }

std::string listElement(std::string_view name, std::string_view content) {
  return "<" + std::string(name) + " list=\"true\">" + std::string(content) + "</" + std::string(name) + ">";
}

std::int64_t daysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// The element names a fields list asks for: "sku" brings the skus, "item_img.url" the item_imgs,
// "prop_img.*" the prop_imgs. num_iid and detail_url come with every item.
std::set<std::string> requestedFields(std::string_view list) {
  std::set<std::string> names = {"num_iid", "detail_url"};
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    std::string name(list.substr(start, end - start));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(name.begin());
    if (name == "sku") name = "skus";
    if (startsWith(name, "item_img.")) name = "item_imgs";
    if (startsWith(name, "prop_img.")) name = "prop_imgs";
    if (!name.empty()) names.insert(name);
    start = end + 1;
  }
  return names;
}

Reply xmlReply(std::string body) {
  Reply reply;
  reply.contentType = "text/xml;charset=UTF-8";
  reply.body = std::move(body);
  return reply;
}

}  // namespace

std::string topSignature(std::vector<std::pair<std::string, std::string>> params, std::string_view secret) {
  std::stable_sort(params.begin(), params.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string base(secret);
  for (const auto& [name, value] : params) {
    if (name == "sign" || name.empty() || value.empty()) continue;
    base += name;
    base += value;
  }
  base += secret;
  return md5UpperHex(base);
}

std::optional<std::int64_t> parseTimestamp(std::string_view text) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  auto number = [text](size_t at, size_t length) {
    return std::atoi(std::string(text.substr(at, length)).c_str());
  };
  int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return std::nullopt;
  int monthDays = kDays[month - 1] + ((month == 2 && isLeap(year)) ? 1 : 0);
  if (day > monthDays || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
         minute * 60 + second;
}

std::string itemGetResponseXml(const SandboxItem& item, std::string_view serverName,
                               const std::set<std::string>& fieldNames) {
  auto wanted = [&fieldNames](const std::string& name) {
    return fieldNames.empty() || fieldNames.count(name) > 0;
  };
  std::vector<Element> fields = {
      {"approve_status", xmlEscape(item.approveStatus)},
      {"cid", xmlEscape(item.cid)},
      {"delist_time", xmlEscape(item.delistTime)},
      {"desc", xmlEscape(item.descUtf8)},
      // The real gateway now and then leaves an '&' of a link unescaped; readers must cope.
      {"detail_url", item.rawAmpersandInDetailUrl ? item.detailUrl : xmlEscape(item.detailUrl)},
      {"ems_fee", xmlEscape(item.emsFee)},
      {"express_fee", xmlEscape(item.expressFee)},
      {"freight_payer", xmlEscape(item.freightPayer)},
      {"has_discount", xmlEscape(item.hasDiscount)},
      {"has_invoice", xmlEscape(item.hasInvoice)},
      {"has_showcase", xmlEscape(item.hasShowcase)},
      {"has_warranty", xmlEscape(item.hasWarranty)},
      {"input_pids", xmlEscape(item.inputPids)},
      {"input_str", xmlEscape(item.inputStrUtf8)},
      {"list_time", xmlEscape(item.listTime)},
      {"location", textElement("city", item.locationCityUtf8) + textElement("state", item.locationStateUtf8)},
      {"modified", xmlEscape(item.modified)},
      {"num", xmlEscape(item.num)},
      {"num_iid", xmlEscape(item.numIid)},
      {"outer_id", xmlEscape(item.outerId)},
      {"post_fee", xmlEscape(item.postFee)},
      {"postage_id", xmlEscape(item.postageId)},
      {"price", xmlEscape(item.price)},
      {"property_alias", xmlEscape(item.propertyAliasUtf8)},
      {"props", xmlEscape(item.props)},
      {"seller_cids", xmlEscape(item.sellerCids)},
      {"title", xmlEscape(item.titleUtf8)},
      {"valid_thru", xmlEscape(item.validThru)},
  };
  std::string imgs;
  for (size_t p = 0; p < item.itemImgUrls.size(); ++p) {
    std::string id = p == 0 ? "0" : std::to_string(600000000LL + static_cast<long long>(p));
    imgs += element("item_img", textElement("id", id) + textElement("position", std::to_string(p)) +
                                    textElement("url", item.itemImgUrls[p]));
  }
  std::string props;
  for (const PropImg& img : item.propImgs) {
    props += element("prop_img", textElement("id", img.id) + textElement("position", img.position) +
                                     textElement("properties", img.properties) + textElement("url", img.url));
  }
  std::string skus;
  for (const Sku& sku : item.skus) {
    skus += element("sku", textElement("outer_id", sku.outerId) + textElement("price", sku.price) +
                               textElement("properties", sku.properties) + textElement("quantity", sku.quantity) +
                               textElement("sku_id", sku.skuId));
  }
  std::string body;
  for (const Element& field : fields) {
    // List wrappers take their alphabetical places among the plain fields.
    if (field.name == "list_time" && !imgs.empty() && wanted("item_imgs")) body += listElement("item_imgs", imgs);
    if (field.name == "property_alias" && !props.empty() && wanted("prop_imgs")) {
      body += listElement("prop_imgs", props);
    }
    if (field.name == "title" && !skus.empty() && wanted("skus")) body += listElement("skus", skus);
    if (wanted(field.name)) body += element(field.name, field.content);
  }
  return "<?xml version=\"1.0\" encoding=\"utf-8\" ?><item_get_response>" + element("item", body) +
         "</item_get_response><!--" + std::string(serverName) + "-->";
}

std::string errorResponseXml(int code, std::string_view msg, std::string_view subCode, std::string_view subMsg,
                             std::string_view requestId, std::string_view serverName) {
  std::string body = textElement("code", std::to_string(code)) + textElement("msg", msg);
  if (!subCode.empty()) body += textElement("sub_code", subCode);
  if (!subMsg.empty()) body += textElement("sub_msg", subMsg);
  body += textElement("request_id", requestId);
  return "<?xml version=\"1.0\" encoding=\"utf-8\" ?>" + element("error_response", body) + "<!--" +
         std::string(serverName) + "-->";
}

Reply gatewayReply(const Catalogue& catalogue, const GatewayPolicy& policy, const Incoming& request,
                   std::uint64_t requestNumber) {
  const std::string serverName = kServerNames[requestNumber % 3];
  char requestId[32];
  std::snprintf(requestId, sizeof requestId, "%llx",
                0x5a1e0000ULL + static_cast<unsigned long long>(requestNumber));
  auto fail = [&](int code, std::string_view msg, std::string_view subCode = {}, std::string_view subMsg = {}) {
    return xmlReply(errorResponseXml(code, msg, subCode, subMsg, requestId, serverName));
  };

  // Like the real gateway, a POST may carry the parameters in its form body as well.
  std::string query = request.query;
  if (request.method == "POST" && !request.body.empty()) query += "&" + request.body;
  const auto params = parseQuery(query);
  auto value = [&params](std::string_view name) { return queryValue(params, name); };
  auto present = [&params](std::string_view name) {
    for (const auto& [key, v] : params) {
      if (key == name && !v.empty()) return true;
    }
    return false;
  };

  if (!present("method")) return fail(21, "Missing method");
  if (!present("format")) return fail(40, "Missing required arguments:format");
  if (value("format") != "xml") return fail(23, "Invalid format");
  if (!present("app_key")) return fail(28, "Missing app key");

  const auto& pairs = catalogue.keyPairs();
  int position = 0;
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (pairs[i].appKey == value("app_key")) position = static_cast<int>(i) + 1;
  }
  bool valid = position > 0 &&
               (!policy.validPositions || std::find(policy.validPositions->begin(), policy.validPositions->end(),
                                                    position) != policy.validPositions->end());
  if (!valid) return fail(29, "Invalid app Key");

  if (!present("timestamp")) return fail(30, "Missing timestamp");
  std::optional<std::int64_t> stamp = parseTimestamp(value("timestamp"));
  if (!stamp) return fail(31, "Invalid timestamp", "isv.invalid-parameter:timestamp", "timestamp form");
  // The gateway keeps China time and allows ten minutes either way.
  if (policy.checkTimestampWindow && std::llabs(*stamp - (policy.nowUtcSeconds + 8 * 3600)) > 600) {
    return fail(31, "Invalid timestamp", "isv.invalid-parameter:timestamp", "timestamp out of range");
  }
  if (!present("v")) return fail(32, "Missing version");
  if (value("v") != "2.0") return fail(34, "Unsupported version");
  if (!present("sign_method")) return fail(40, "Missing required arguments:sign_method");
  if (value("sign_method") != "md5") return fail(41, "Invalid arguments:sign_method");
  if (!present("sign")) return fail(24, "Missing signature");
  if (value("sign") != topSignature(params, pairs[static_cast<size_t>(position) - 1].appSecret)) {
    return fail(25, "Invalid signature");
  }
  if (value("method") != "taobao.item.get") return fail(22, "Invalid method");
  if (std::find(policy.limitedPositions.begin(), policy.limitedPositions.end(), position) !=
      policy.limitedPositions.end()) {
    return fail(7, "App Call Limited", "accesscontrol.limited-by-app-access-count",
                "This ban will last for 71 more seconds");
  }
  if (!present("fields")) return fail(40, "Missing required arguments:fields");
  if (!present("num_iid")) return fail(40, "Missing required arguments:num_iid");
  std::optional<SandboxItem> item = catalogue.item(value("num_iid"));
  if (!item) {
    return fail(15, "Remote service error", "isv.item-get-service-error:ITEM_NOT_FOUND", "宝贝不存在");
  }
  return xmlReply(itemGetResponseXml(*item, serverName, requestedFields(value("fields"))));
}

}  // namespace mirabex::sandbox
