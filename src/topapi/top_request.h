#pragma once

#include <string_view>
#include <vector>

#include "toolkit/clock.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// One (name, value) parameter of an open-platform call.
struct TopParameter {
  Text name;
  Text value;
};

// The item fields the collection asks for. The gateway takes the list as written,
// repeated names and the trailing blank included, and the blank is part of what is signed.
inline constexpr std::string_view kItemGetFields =
    "prop_img.url,prop_img.properties,item_img.url,desc,title,cid,price,num,post_fee,input_str,input_pids,"
    "seller_cids,props,input_pids,input_str,property_alias,sku,outer_id,approve_status,has_discount,"
    "has_invoice,has_warranty,has_showcase,valid_thru,list_time,modified,delist_time,postage_id,location,"
    "freight_payer,post_fee,express_fee,ems_fee,has_warranty ";

inline constexpr std::string_view kItemGetMethod = "taobao.item.get";

// Everything a signed call is made of, apart from the timestamp and the gateway address.
struct TopCall {
  Text appKey;
  Text appSecret;
  Text session;     // dropped from the call when empty
  Text format;      // "xml" when empty
  Text signMethod;  // "md5" when empty
  Text method;
  std::vector<TopParameter> businessParameters;
};

// The pieces of a signed call; all empty when the key or the secret is empty.
struct SignedTopRequest {
  Text signatureBase;  // secret + name value ... + secret
  Text signature;      // 32 upper-case hex digits
  Text query;          // name=value&...&sign=..., unescaped
  Text url;            // gatewayUrl + query
  // The same URL as it goes on the wire: inside names and values every blank is sent as %20, and
  // the other bytes that a query decoder would take for something else (control and non-ASCII bytes,
  // "%", "&", "+", "#", "=") as %XX, so that the gateway decodes exactly the values that were signed.
  Text wireUrl;
};

// "yyyy-MM-dd HH:mm:ss", two digits for everything after the year.
Text topTimestampText(const DateTime& time);

// Signs `call` with the given timestamp text. `gatewayUrl` is scheme, host and "/router/rest?".
SignedTopRequest signTopRequest(const TopCall& call, const Text& timestamp, const Text& gatewayUrl);

// The signed taobao.item.get call for one item, stamped with the time in GMT+8 (the gateway's zone,
// which rejects stamps far from its own clock) whatever the machine's zone; all empty when the key or
// the secret is empty.
SignedTopRequest buildItemGetRequest(const Text& appKey, const Text& appSecret, const Text& numIid,
                                     const Clock& clock, const Text& gatewayUrl);
// Its URL, blanks unescaped.
Text buildItemGetUrl(const Text& appKey, const Text& appSecret, const Text& numIid, const Clock& clock,
                     const Text& gatewayUrl);

}  // namespace mirabex
