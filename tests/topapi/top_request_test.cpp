#include "topapi/top_request.h"

#include <gtest/gtest.h>

#include <chrono>

namespace mirabex {
namespace {

using namespace std::chrono;

constexpr const char* kGateway = "http://gw.api.taobao.com/router/rest?";

// Written out again here, not taken from the header, so that a changed byte in either shows.
const Text kFields =
    "prop_img.url,prop_img.properties,item_img.url,desc,title,cid,price,num,post_fee,input_str,input_pids,"
    "seller_cids,props,input_pids,input_str,property_alias,sku,outer_id,approve_status,has_discount,"
    "has_invoice,has_warranty,has_showcase,valid_thru,list_time,modified,delist_time,postage_id,location,"
    "freight_payer,post_fee,express_fee,ems_fee,has_warranty ";

// A clock whose instant is the given GMT+8 wall time, and whose local time is something else, as on a
// machine in another zone.
FixedClock clockAtGmt8(int year, int month, int day, int hour, int minute, int second) {
  const sys_days date = year_month_day{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                       std::chrono::day(static_cast<unsigned>(day))};
  const system_clock::time_point instant = date + hours(hour) + minutes(minute) + seconds(second) - hours(8);
  return FixedClock(instant, DateTime{1999, 1, 2, 3, 4, 5, 0});
}

TEST(TopRequest, FieldsTextIsTheRequestedList) {
  EXPECT_EQ(kItemGetFields, kFields);
  EXPECT_EQ(kItemGetFields.size(), 352u);
}

TEST(TopRequest, PublicReferenceVector) {
  TopCall call;
  call.appKey = "test";
  call.appSecret = "test";
  call.session = "test";
  call.format = "xml";
  call.signMethod = "md5";
  call.method = "taobao.user.seller.get";
  call.businessParameters = {{"fields", "nick"}};

  const SignedTopRequest request = signTopRequest(call, "2013-05-06 13:52:03", kGateway);

  EXPECT_EQ(request.signatureBase,
            "testapp_keytestfieldsnickformatxmlmethodtaobao.user.seller.getsessiontestsign_methodmd5"
            "timestamp2013-05-06 13:52:03v2.0test");
  EXPECT_EQ(request.signature, "72CB4D809B375A54502C09360D879C64");
  EXPECT_EQ(request.query,
            "app_key=test&fields=nick&format=xml&method=taobao.user.seller.get&session=test&sign_method=md5"
            "&timestamp=2013-05-06 13:52:03&v=2.0&sign=72CB4D809B375A54502C09360D879C64");
  EXPECT_EQ(request.url, kGateway + request.query);
}

TEST(TopRequest, FormatAndSignMethodDefault) {
  TopCall call;
  call.appKey = "test";
  call.appSecret = "test";
  call.session = "test";
  call.method = "taobao.user.seller.get";
  call.businessParameters = {{"fields", "nick"}};
  EXPECT_EQ(signTopRequest(call, "2013-05-06 13:52:03", kGateway).signature, "72CB4D809B375A54502C09360D879C64");
}

TEST(TopRequest, ItemRequestOfTheWorkedExample) {
  const FixedClock clock = clockAtGmt8(2012, 3, 5, 8, 4, 9);
  const Text url = buildItemGetUrl("K", "S", "1", clock, kGateway);

  // The signature is the upper-case MD5 of
  // S app_key K fields <fields> format xml method taobao.item.get num_iid 1 sign_method md5
  // timestamp 2012-03-05 08:04:09 v 2.0 S, with nothing between; the session pair is absent.
  EXPECT_EQ(url, Text(kGateway) + "app_key=K&fields=" + kFields +
                     "&format=xml&method=taobao.item.get&num_iid=1&sign_method=md5"
                     "&timestamp=2012-03-05 08:04:09&v=2.0&sign=73AFF606C81F0DE2C9D3846781035FC4");
}

TEST(TopRequest, TimestampIsGmt8WhateverTheLocalTime) {
  // 23:30 on New Year's Eve in UTC is already the next day and year in GMT+8.
  const FixedClock clock(sys_days{2012y / December / 31} + 23h + 30min, DateTime{2012, 12, 31, 18, 30, 0, 0});
  const Text url = buildItemGetUrl("K", "S", "1", clock, kGateway);
  EXPECT_NE(url.find("&timestamp=2013-01-01 07:30:00&"), Text::npos) << url;
}

TEST(TopRequest, TimestampText) {
  struct Case {
    DateTime time;
    const char* text;
  };
  const Case cases[] = {
      {{2012, 3, 5, 8, 4, 9, 0}, "2012-03-05 08:04:09"},
      {{2013, 12, 31, 23, 59, 59, 999}, "2013-12-31 23:59:59"},
      {{2000, 1, 1, 0, 0, 0, 0}, "2000-01-01 00:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(topTimestampText(c.time), c.text);
  }
}

TEST(TopRequest, EmptyKeyOrSecretSignsNothing) {
  const FixedClock clock = clockAtGmt8(2012, 3, 5, 8, 4, 9);
  struct Case {
    const char* key;
    const char* secret;
  };
  for (const Case c : {Case{"", "S"}, Case{"K", ""}, Case{"", ""}}) {
    EXPECT_EQ(buildItemGetUrl(c.key, c.secret, "1", clock, kGateway), "") << c.key << "/" << c.secret;
  }
}

TEST(TopRequest, EmptyItemIdIsDropped) {
  const FixedClock clock = clockAtGmt8(2012, 3, 5, 8, 4, 9);
  const Text url = buildItemGetUrl("K", "S", "", clock, kGateway);
  EXPECT_EQ(url.find("num_iid"), Text::npos);
  EXPECT_NE(url.find("&method=taobao.item.get&sign_method=md5&"), Text::npos) << url;
}

TEST(TopRequest, NamesSortByUnsignedBytesShorterFirst) {
  TopCall call;
  call.appKey = "k";
  call.appSecret = "s";
  call.method = "m";
  // "\xB1\xA6" (宝) sorts after every ASCII name; "a" before "ab"; an empty value is dropped.
  call.businessParameters = {{"\xB1\xA6", "1"}, {"ab", "2"}, {"a", "3"}, {"b", ""}};
  const SignedTopRequest request = signTopRequest(call, "T", kGateway);
  EXPECT_EQ(request.signatureBase,
            "sa3ab2app_keykformatxmlmethodmsign_methodmd5timestampTv2.0\xB1\xA6"
            "1s");
  EXPECT_EQ(request.query.substr(0, request.query.find("&sign=")),
            "a=3&ab=2&app_key=k&format=xml&method=m&sign_method=md5&timestamp=T&v=2.0&\xB1\xA6=1");
}

TEST(TopRequest, WireUrlSendsBlanksAsPercent20) {
  const FixedClock clock = clockAtGmt8(2012, 3, 5, 8, 4, 9);
  const SignedTopRequest request = buildItemGetRequest("K", "S", "1", clock, kGateway);
  Text expected = request.url;
  for (std::size_t at = expected.find(' '); at != Text::npos; at = expected.find(' ', at)) {
    expected.replace(at, 1, "%20");
  }
  EXPECT_EQ(request.wireUrl, expected);
  EXPECT_NE(request.wireUrl.find("has_warranty%20&format=xml"), Text::npos);
  EXPECT_NE(request.wireUrl.find("&timestamp=2012-03-05%2008:04:09&"), Text::npos);
}

TEST(TopRequest, WireUrlEscapesWhatAQueryDecoderWouldMisread) {
  // Item ids come from imported files unchecked; whatever they hold must reach the gateway as signed.
  const FixedClock clock = clockAtGmt8(2012, 3, 5, 8, 4, 9);
  const SignedTopRequest request = buildItemGetRequest("K", "S", "1&x=2#3 +%\xB1\xA6", clock, kGateway);
  EXPECT_NE(request.url.find("&num_iid=1&x=2#3 +%\xB1\xA6&"), Text::npos);
  EXPECT_NE(request.wireUrl.find("&num_iid=1%26x%3D2%233%20%2B%25%B1%A6&"), Text::npos) << request.wireUrl;
}

}  // namespace
}  // namespace mirabex
