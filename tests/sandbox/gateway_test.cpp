#include "sandbox/gateway.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <regex>

#include "sandbox/catalogue.h"
#include "sandbox/sandbox_server.h"
#include "sandbox/sandbox_text.h"

namespace mirabex::sandbox {
namespace {

// The fields text the engine asks for, trailing blank included.
const std::string kFields =
    "prop_img.url,prop_img.properties,item_img.url,desc,title,cid,price,num,post_fee,input_str,input_pids,"
    "seller_cids,props,input_pids,input_str,property_alias,sku,outer_id,approve_status,has_discount,has_invoice,"
    "has_warranty,has_showcase,valid_thru,list_time,modified,delist_time,postage_id,location,freight_payer,"
    "post_fee,express_fee,ems_fee,has_warranty ";

std::string chinaTimeText(std::time_t offsetSeconds) {
  std::time_t t = std::time(nullptr) + 8 * 3600 + offsetSeconds;
  std::tm parts{};
  gmtime_r(&t, &parts);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &parts);
  return buffer;
}

std::string encode(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ')
      out += "%20";
    else if (c == '&')
      out += "%26";
    else
      out.push_back(c);
  }
  return out;
}

// The request the engine sends, as a name -> value map (sorted, as the signature wants it).
using Params = std::map<std::string, std::string>;

Params itemRequest(const KeyPair& pair, const std::string& numIid, const std::string& timestamp) {
  return {{"app_key", pair.appKey},      {"fields", kFields}, {"format", "xml"},
          {"method", "taobao.item.get"}, {"num_iid", numIid}, {"sign_method", "md5"},
          {"timestamp", timestamp},      {"v", "2.0"}};
}

std::string signedTarget(const Params& params, const std::string& secret) {
  std::string base = secret;
  std::string query;
  for (const auto& [name, value] : params) {
    base += name + value;
    query += (query.empty() ? "" : "&") + name + "=" + encode(value);
  }
  base += secret;
  return "/router/rest?" + query + "&sign=" + md5UpperHex(base);
}

class GatewayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new SandboxServer();
    ASSERT_TRUE(s_server->start());
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  void SetUp() override {
    s_server->setValidKeyPairs({1, 2, 3, 4, 5});
    s_server->setLimitedKeyPairs({});
    s_server->setCheckTimestampWindow(true);
  }
  static const KeyPair& pair(int position) { return s_server->catalogue().keyPairs()[position - 1]; }
  static std::string get(const std::string& target) {
    httplib::Client client("127.0.0.1", s_server->port());
    client.set_url_encode(false);  // the targets here are written as they go on the wire
    httplib::Result result = client.Get(target, {{"Host", "gw.api.taobao.com"}});
    return result ? result->body : "<no answer>";
  }
  static SandboxServer* s_server;
};

SandboxServer* GatewayTest::s_server = nullptr;

// The names of the direct children of the first <item> element, in document order.
std::vector<std::string> itemChildNames(const std::string& xml) {
  std::vector<std::string> names;
  size_t at = xml.find("<item>");
  if (at == std::string::npos) return names;
  at += 6;
  while (at < xml.size() && xml.compare(at, 7, "</item>") != 0) {
    size_t end = xml.find_first_of(" >", at + 1);
    std::string name = xml.substr(at + 1, end - at - 1);
    names.push_back(name);
    at = xml.find("</" + name + ">", end) + name.size() + 3;
  }
  return names;
}

TEST_F(GatewayTest, AnswersASignedItemRequestAsTheRealGatewayWritesIt) {
  std::string xml = get(signedTarget(itemRequest(pair(1), "20000000001", chinaTimeText(0)), pair(1).appSecret));

  EXPECT_TRUE(startsWith(xml, "<?xml version=\"1.0\" encoding=\"utf-8\" ?><item_get_response><item>")) << xml;
  EXPECT_TRUE(std::regex_search(xml, std::regex("</item></item_get_response><!--top[0-9]+\\.cm[0-9]-->$")));
  std::vector<std::string> names = itemChildNames(xml);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  for (const char* name : {"approve_status", "desc", "freight_payer", "item_imgs", "location", "price",
                           "prop_imgs", "property_alias", "props", "skus", "title", "num_iid", "detail_url"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  EXPECT_NE(xml.find("<skus list=\"true\"><sku><outer_id>LYQ-W</outer_id><price>128.00</price>"
                     "<properties>1627207:28320;20509:28314</properties><quantity>100</quantity>"),
            std::string::npos);
  EXPECT_NE(xml.find("<item_imgs list=\"true\"><item_img><id>0</id><position>0</position>"
                     "<url>http://img01.taobaocdn.com/bao/uploaded/i1/20000000001_1.jpg</url></item_img>"),
            std::string::npos);
  EXPECT_NE(xml.find("<prop_imgs list=\"true\"><prop_img><id>800000011</id><position>0</position>"
                     "<properties>1627207:28320</properties><url>"),
            std::string::npos);
  EXPECT_NE(xml.find("<location><city>杭州</city><state>浙江</state></location>"), std::string::npos);
  EXPECT_NE(xml.find("<title>2013新款 韩版修身雪纺连衣裙</title>"), std::string::npos);
  EXPECT_NE(xml.find("&lt;IMG src=&quot;http://img01.taobaocdn.com/imgextra/i1/20000000001_d1.jpg&quot; "
                     "align=&quot;absmiddle&quot;&gt;"),
            std::string::npos);
  EXPECT_NE(xml.find("background=&quot;http://img02.taobaocdn.com/imgextra/i2/20000000001_bg.gif&quot;"),
            std::string::npos);
  EXPECT_NE(xml.find("面料&amp;nbsp;说明"), std::string::npos);
  EXPECT_NE(xml.find("<input_pids></input_pids>"), std::string::npos);
}

TEST_F(GatewayTest, SpecialItemsCarryTheirAwkwardTexts) {
  struct Case {
    const char* numIid;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const Case cases[] = {
      {"20000000002",
       {"<title>A&amp;amp;B.C?D*E</title>", "&quot;正品&quot;", "it&apos;s", "<approve_status>instock<"},
       {"<skus"}},
      {"20000000003",
       {"<title>Tom&amp;Jerry 14&quot; 笔记本包 |*| 防震</title>", "<freight_payer></freight_payer>",
        "<approve_status></approve_status>", "<props></props>",
        "<detail_url>http://item.taobao.com/item.htm?id=20000000003&spm=a1z10.1.w4004</detail_url>"},
       {}},
      {"20000000004", {"<title></title>"}, {}},
      {"20000000006",
       {"src=&quot;http://img02.taobaocdn.com/imgextra/图片/茶具详情.jpg&quot;", "?w=750&amp;amp;h=1000&quot;",
        "http://img.alicdn.com/imgextra/i4/20000000006_a.jpg"},
       {}},
      {"30000000005", {"<detail_url>http://item.taobao.com/item.htm?id=30000000005&spm="}, {}},
      {"30000000006", {"<detail_url>http://item.taobao.com/item.htm?id=30000000006&amp;spm="}, {}},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.numIid);
    std::string xml = get(signedTarget(itemRequest(pair(2), tc.numIid, chinaTimeText(0)), pair(2).appSecret));
    EXPECT_NE(xml.find("<item_get_response>"), std::string::npos) << xml;
    for (const std::string& text : tc.present) EXPECT_NE(xml.find(text), std::string::npos) << text;
    for (const std::string& text : tc.absent) EXPECT_EQ(xml.find(text), std::string::npos) << text;
  }
}

TEST_F(GatewayTest, RejectsWhatTheRealGatewayRejects) {
  struct Case {
    const char* what;
    int position;              // key pair to sign with
    Params changes;            // replace (or, with an empty value, remove) parameters
    std::string secret;        // empty: the pair's own
    std::vector<int> valid;    // pairs the gateway accepts
    std::vector<int> limited;  // pairs answered with code 7
    int code;
    std::string msg;
  };
  const std::vector<int> all{1, 2, 3, 4, 5};
  const Case cases[] = {
      {"wrong secret", 1, {}, "not-the-secret", all, {}, 25, "Invalid signature"},
      {"unknown key", 1, {{"app_key", "99999999"}}, "", all, {}, 29, "Invalid app Key"},
      {"pair not valid", 1, {}, "", {2, 3}, {}, 29, "Invalid app Key"},
      {"pair limited", 3, {}, "", all, {3}, 7, "App Call Limited"},
      {"no method", 1, {{"method", ""}}, "", all, {}, 21, "Missing method"},
      {"other method", 1, {{"method", "taobao.items.get"}}, "", all, {}, 22, "Invalid method"},
      {"json", 1, {{"format", "json"}}, "", all, {}, 23, "Invalid format"},
      {"no timestamp", 1, {{"timestamp", ""}}, "", all, {}, 30, "Missing timestamp"},
      {"short timestamp", 1, {{"timestamp", "2013-4-5 8:04:09"}}, "", all, {}, 31, "Invalid timestamp"},
      {"old timestamp", 1, {{"timestamp", chinaTimeText(-11 * 60)}}, "", all, {}, 31, "Invalid timestamp"},
      {"UTC timestamp", 1, {{"timestamp", chinaTimeText(-8 * 3600)}}, "", all, {}, 31, "Invalid timestamp"},
      {"version", 1, {{"v", "1.0"}}, "", all, {}, 34, "Unsupported version"},
      {"sign method", 1, {{"sign_method", "hmac"}}, "", all, {}, 41, "Invalid arguments:sign_method"},
      {"no num_iid", 1, {{"num_iid", ""}}, "", all, {}, 40, "Missing required arguments:num_iid"},
      {"unknown num_iid", 1, {{"num_iid", "123"}}, "", all, {}, 15, "Remote service error"},
      {"no fields", 1, {{"fields", ""}}, "", all, {}, 40, "Missing required arguments:fields"},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.what);
    s_server->setValidKeyPairs(tc.valid);
    s_server->setLimitedKeyPairs(tc.limited);
    Params params = itemRequest(pair(tc.position), "20000000001", chinaTimeText(0));
    for (const auto& [name, value] : tc.changes) {
      if (value.empty())
        params.erase(name);
      else
        params[name] = value;
    }
    std::string xml = get(signedTarget(params, tc.secret.empty() ? pair(tc.position).appSecret : tc.secret));
    EXPECT_TRUE(startsWith(xml, "<?xml version=\"1.0\" encoding=\"utf-8\" ?><error_response><code>" +
                                    std::to_string(tc.code) + "</code><msg>" + tc.msg + "</msg>"))
        << xml;
    EXPECT_TRUE(std::regex_search(xml, std::regex("<request_id>[0-9a-z]+</request_id></error_response><!--top")));
  }
}

TEST_F(GatewayTest, TimestampWindowCanBeSwitchedOff) {
  s_server->setCheckTimestampWindow(false);
  std::string xml =
      get(signedTarget(itemRequest(pair(1), "30000000001", "2012-03-05 08:04:09"), pair(1).appSecret));
  EXPECT_NE(xml.find("<item_get_response>"), std::string::npos) << xml;
  // The form is still checked.
  xml = get(signedTarget(itemRequest(pair(1), "30000000001", "2012-03-05T08:04:09"), pair(1).appSecret));
  EXPECT_NE(xml.find("<code>31</code>"), std::string::npos) << xml;
}

TEST_F(GatewayTest, PlusSignsAndEscapesDecodeToTheSignedValues) {
  Params params = itemRequest(pair(1), "30000000002", chinaTimeText(0));
  std::string target = signedTarget(params, pair(1).appSecret);
  // The same request with every blank as '+' and a letter escaped.
  std::string plus = target;
  for (size_t at = plus.find("%20"); at != std::string::npos; at = plus.find("%20", at)) plus.replace(at, 3, "+");
  plus.replace(plus.find("method=taobao"), 13, "method=%74aobao");
  EXPECT_NE(get(target).find("<item_get_response>"), std::string::npos);
  EXPECT_NE(get(plus).find("<item_get_response>"), std::string::npos);
}

TEST_F(GatewayTest, TakesPostedParametersToo) {
  std::string target = signedTarget(itemRequest(pair(1), "30000000003", chinaTimeText(0)), pair(1).appSecret);
  httplib::Client client("127.0.0.1", s_server->port());
  httplib::Result result = client.Post("/router/rest", {{"Host", "gw.api.taobao.com"}}, target.substr(13),
                                       "application/x-www-form-urlencoded");
  ASSERT_TRUE(result);
  EXPECT_NE(result->body.find("<num_iid>30000000003</num_iid>"), std::string::npos) << result->body;
}

TEST_F(GatewayTest, AnswersOnlyTheFieldsAskedFor) {
  Params params = itemRequest(pair(1), "20000000001", chinaTimeText(0));
  params["fields"] = "title,sku";
  std::vector<std::string> names = itemChildNames(get(signedTarget(params, pair(1).appSecret)));
  EXPECT_EQ(names, (std::vector<std::string>{"detail_url", "num_iid", "skus", "title"}));
}

TEST(TopSignature, CoversEveryNamedPairButSign) {
  // MD5 of "s3cr3t" app_key12000001 fieldstitle,price formatxml methodtaobao.item.get num_iid1
  // sign_methodmd5 timestamp2012-03-05 08:04:09 v2.0 "s3cr3t", worked out apart from this code.
  std::vector<std::pair<std::string, std::string>> params = {{"v", "2.0"},
                                                             {"num_iid", "1"},
                                                             {"sign", "ANYTHING"},
                                                             {"session", ""},
                                                             {"timestamp", "2012-03-05 08:04:09"},
                                                             {"app_key", "12000001"},
                                                             {"method", "taobao.item.get"},
                                                             {"format", "xml"},
                                                             {"sign_method", "md5"},
                                                             {"fields", "title,price"}};
  EXPECT_EQ(topSignature(params, "s3cr3t"), "B08B36AE15B4040B73C6C748F29E39C2");
}

TEST(ParseTimestamp, AcceptsOnlyRealDatesInTheGatewayForm) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"2012-02-29 23:59:59", true},  {"2013-02-29 00:00:00", false}, {"2013-04-25 24:00:00", false},
      {"2013-04-25 07:60:00", false}, {"2013/04/25 07:42:46", false}, {"2013-04-25 07:42:4", false},
      {"2013-13-01 00:00:00", false}, {"2013-00-10 00:00:00", false}, {"", false},
  };
  for (const Case& tc : cases) EXPECT_EQ(parseTimestamp(tc.text).has_value(), tc.valid) << tc.text;
  EXPECT_EQ(parseTimestamp("1970-01-02 00:00:01"), 86401);
}

TEST(KeyPool, DocumentListsThePairsOnBothPaths) {
  SandboxServer server(SandboxSettings{7, true});
  ASSERT_TRUE(server.start());
  httplib::Client client("127.0.0.1", server.port());
  httplib::Result doubled = client.Get("/qelt_api//app.xml", {{"Host", "config.example"}});
  httplib::Result single = client.Get("/qelt_api/app.xml", {{"Host", "config.example"}});
  ASSERT_TRUE(doubled);
  ASSERT_TRUE(single);
  EXPECT_EQ(doubled->body, single->body);
  std::regex app("<app appkey=\"([^\"]*)\" appsecret=\"([^\"]*)\"");
  std::vector<KeyPair> found;
  for (auto it = std::sregex_iterator(doubled->body.begin(), doubled->body.end(), app);
       it != std::sregex_iterator(); ++it) {
    found.push_back({(*it)[1], (*it)[2]});
  }
  const auto& pairs = server.catalogue().keyPairs();
  ASSERT_EQ(found.size(), pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i) {
    EXPECT_EQ(found[i].appKey, pairs[i].appKey);
    EXPECT_EQ(found[i].appSecret, pairs[i].appSecret);
  }
  EXPECT_EQ(server.servedCount("keypool"), 2);
}

}  // namespace
}  // namespace mirabex::sandbox
