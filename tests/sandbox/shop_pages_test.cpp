#include "sandbox/shop_pages.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <regex>

#include "sandbox/catalogue.h"
#include "sandbox/sandbox_server.h"
#include "sandbox/sandbox_text.h"
#include "support/raw_http.h"

namespace mirabex::sandbox {
namespace {

// The crawler's three templates, tried in this order: item pattern, price pattern, and which
// sub-matches hold the id (or the link holding it) and the title.
struct Template {
  const char* name;
  std::regex item;
  std::regex price;
  int idGroup;
  int titleGroup;
  bool idFromLink;
};

const std::vector<Template>& templates() {
  static const auto flags = std::regex::ECMAScript | std::regex::icase;
  static const std::vector<Template> list = {
      {"普通",
       std::regex("<a target=\"_blank\" href=\"(.*?)\" class=\"permalink\" style=\"\">\n(.*?)\n</a>", flags),
       std::regex("&yen;</s><strong>(.*?)</strong>\n", flags), 1, 2, true},
      {"旺铺", std::regex("<a class=\"item-name\" href=\".*?id=(.*?)\" target=\"_blank\">(.*?)</a>", flags),
       std::regex("<span class=\"c-price\">(.*?)</span>", flags), 1, 2, false},
      {"店铺街", std::regex("<a title=\"(.*?)\"  href=\".*?id=(.*?)\" target=\"_blank\">", flags),
       std::regex("<strong>(.*?) 元</strong>", flags), 2, 1, false},
  };
  return list;
}

struct Row {
  std::string id;
  std::string title;
};

// What the crawler reads off a page: the first template with item matches wins.
struct Crawled {
  int templateIndex = -1;
  std::vector<Row> rows;
  std::vector<std::string> prices;
};

std::string between(const std::string& text, const std::string& left, const std::string& right) {
  size_t start = text.find(left);
  if (start == std::string::npos) return {};
  start += left.size();
  size_t end = text.find(right, start);
  return end == std::string::npos ? std::string() : text.substr(start, end - start);
}

Crawled crawl(const std::string& page) {
  Crawled out;
  for (size_t t = 0; t < templates().size(); ++t) {
    const Template& tpl = templates()[t];
    out = Crawled{};
    out.templateIndex = static_cast<int>(t);
    for (auto it = std::sregex_iterator(page.begin(), page.end(), tpl.item); it != std::sregex_iterator(); ++it) {
      std::string id = (*it)[tpl.idGroup];
      if (tpl.idFromLink) id = between(id, "id=", "&");
      out.rows.push_back({id, (*it)[tpl.titleGroup]});
    }
    for (auto it = std::sregex_iterator(page.begin(), page.end(), tpl.price); it != std::sregex_iterator(); ++it) {
      out.prices.push_back((*it)[1]);
    }
    if (!out.rows.empty()) return out;
  }
  out.templateIndex = -1;
  return out;
}

class ShopPagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new SandboxServer();
    ASSERT_TRUE(s_server->start());
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  static httplib::Result get(const std::string& host, const std::string& target) {
    httplib::Client client("127.0.0.1", s_server->port());
    client.set_url_encode(false);
    return client.Get(target, {{"Host", host}});
  }
  static const Catalogue& catalogue() { return s_server->catalogue(); }
  static SandboxServer* s_server;
};

SandboxServer* ShopPagesTest::s_server = nullptr;

TEST_F(ShopPagesTest, PagesMatchTheirLayoutsPatterns) {
  struct Case {
    const char* host;
    std::string target;
    std::string categoryId;  // empty: the whole shop
    int page;
    int templateIndex;  // -1: no template finds anything
    std::string pageInfo;
    std::string total;
  };
  const std::string grid = "&viewType=grid&orderType=_hotsell&pageNum=";
  const Case cases[] = {
      {"shop1001.taobao.com", "/search.htm?search=y", "", 1, 0, "1/3", "60"},
      {"shop1001.taobao.com", "/search.htm?&pageNum=3", "", 3, 0, "3/3", "60"},
      {"shop1002.taobao.com", "/search.htm?search=y", "", 1, 1, "1/1", "12"},
      {"shop1003.taobao.com", "/search.htm?&pageNum=25", "", 25, 2, "25/25", "490"},
      {"shop1004.taobao.com", "/search.htm?search=y", "", 1, 0, "1/1", "10"},
      {"shop.sandbox.test", "/search.htm?&pageNum=2", "", 2, 1, "2/2", "28"},
      {"shop1001.taobao.com", "/search.htm?search=y&scid=5001&viewType=grid", "5001", 1, 0, "1/2", "25"},
      {"shop1001.taobao.com", "/search.htm?&search=y&scid=5001" + grid + "2", "5001", 2, 0, "2/2", "25"},
      {"shop1001.taobao.com", "/search.htm?&search=y&catId=6001" + grid + "1", "6001", 1, 0, "1/1", "20"},
      {"shop1001.taobao.com", "/category-7001.htm", "7001", 1, 0, "1/1", "15"},
      {"shop1001.taobao.com", "/search.htm?&search=y&catId=7001" + grid + "1", "7001", 1, 0, "1/1", "15"},
      {"shop1002.taobao.com", "/category-7002.htm?search=y", "7002", 1, 1, "1/1", "6"},
      {"shop1003.taobao.com", "/search.htm?&search=y&scid=5003" + grid + "5", "5003", 5, 2, "5/5", "100"},
      // A category asked for by the other kind's parameter, an unknown one, an empty shop.
      {"shop1001.taobao.com", "/search.htm?&search=y&scid=6001" + grid + "1", "-", 1, -1, "", "0"},
      {"shop1001.taobao.com", "/search.htm?&search=y&catId=9999" + grid + "1", "-", 1, -1, "", "0"},
      {"shop1005.taobao.com", "/search.htm?search=y", "", 1, -1, "", "0"},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(std::string(tc.host) + tc.target);
    httplib::Result result = get(tc.host, tc.target);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200);
    // The probe reads the count and the page info from the GBK bytes.
    EXPECT_NE(result->body.find(toGbk("共搜索到<span>" + tc.total + "</span>个符合条件的商品。")),
              std::string::npos);
    EXPECT_EQ(between(result->body, "<span class=\"page-info\">", "</span>"), tc.pageInfo);
    EXPECT_EQ(result->body.find('\r'), std::string::npos);

    const std::string page = gbkToUtf8Text(result->body);
    Crawled crawled = crawl(page);
    EXPECT_EQ(crawled.templateIndex, tc.templateIndex);
    if (tc.templateIndex < 0) continue;

    const SandboxShop* shop = catalogue().shopByHost(tc.host);
    ASSERT_NE(shop, nullptr);
    std::vector<std::string> ids = shop->itemIds;
    for (const SandboxCategory& category : shop->categories) {
      if (category.id == tc.categoryId) ids = category.itemIds;
    }
    std::vector<std::string> expected = shop->pageOf(ids, tc.page);
    ASSERT_EQ(crawled.rows.size(), expected.size());
    size_t priced = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      bool linkEndsAtId = std::count(shop->linksEndingAtId.begin(), shop->linksEndingAtId.end(), expected[i]) > 0;
      EXPECT_EQ(crawled.rows[i].id, linkEndsAtId ? "" : expected[i]);
      if (std::count(shop->itemsWithoutPrice.begin(), shop->itemsWithoutPrice.end(), expected[i]) == 0) ++priced;
    }
    EXPECT_EQ(crawled.prices.size(), priced);
  }
}

TEST_F(ShopPagesTest, RowsPairTitlesAndPricesAsWritten) {
  // Generated items: titles and prices as the catalogue has them, in listing order.
  Crawled street = crawl(gbkToUtf8Text(get("shop1003.taobao.com", "/search.htm?&pageNum=2")->body));
  ASSERT_EQ(street.rows.size(), 20u);
  for (size_t i = 0; i < street.rows.size(); ++i) {
    std::optional<SandboxItem> item = catalogue().item(street.rows[i].id);
    ASSERT_TRUE(item);
    EXPECT_EQ(street.rows[i].title, item->titleUtf8);
    EXPECT_EQ(street.prices[i], item->price);
  }
  // A missing price shifts the later ones: the fourth row gets the fifth item's price.
  Crawled irregular = crawl(gbkToUtf8Text(get("shop1004.taobao.com", "/search.htm?search=y")->body));
  ASSERT_EQ(irregular.prices.size(), 9u);
  EXPECT_EQ(irregular.prices[3], catalogue().item(Catalogue::generatedItemId(205))->price);
  // Titles come HTML-escaped, as the crawler stores them.
  Crawled sample = crawl(gbkToUtf8Text(get("shop.sandbox.test", "/search.htm?search=y")->body));
  ASSERT_GE(sample.rows.size(), 3u);
  EXPECT_EQ(sample.rows[1].title, "A&amp;amp;B.C?D*E");
  EXPECT_EQ(sample.rows[2].title, "Tom&amp;Jerry 14&quot; 笔记本包 |*| 防震");
}

TEST_F(ShopPagesTest, ItemPagesCarryTheProbeMarkers) {
  struct Case {
    const char* host;
    const char* id;
    int status;
    std::string title;  // between <title> and </title>; empty: no <title> at all
    bool hasId;
  };
  const Case cases[] = {
      {"item.taobao.com", "30000000005", 200, catalogue().item("30000000005")->titleUtf8 + "-淘宝网", true},
      {"item.taobao.com", "20000000003", 200, "Tom&amp;Jerry 14\" 笔记本包 |*| 防震-淘宝网", true},
      {"detail.tmall.com", "20000000010", 200, "天猫旗舰店 正品保障 羽绒服-tmall.com天猫", true},
      {"item.taobao.com", "20000000004", 200, "", true},
      {"item.taobao.com", "123", 404, "宝贝不存在-淘宝网", false},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.id);
    httplib::Result result = get(tc.host, std::string("/item.htm?id=") + tc.id);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, tc.status);
    const std::string page = gbkToUtf8Text(result->body);
    EXPECT_EQ(between(page, "<title>", "</title>"), tc.title);
    EXPECT_EQ(page.find("<title>") != std::string::npos, !tc.title.empty());
    EXPECT_EQ(between(page, "itemId:\"", "\","), tc.hasId ? tc.id : "");
  }
}

TEST_F(ShopPagesTest, PicturesAreRealFilesOrTheirFaults) {
  struct Case {
    const char* host;
    const char* path;
    int status;
    std::string prefix;  // the file's first bytes; empty with emptyBody for an empty body
    bool emptyBody;
  };
  const Case cases[] = {
      {"img01.taobaocdn.com", "/bao/uploaded/i1/20000000001_1.jpg", 200, "\xFF\xD8\xFF\xE0", false},
      {"img02.taobaocdn.com", "/bao/uploaded/i2/20000000001_2.png", 200, "\x89PNG\r\n\x1A\n", false},
      {"img03.taobaocdn.com", "/bao/uploaded/i3/20000000001_p1.gif", 200, "GIF89a", false},
      {"img03.taobaocdn.com", "/bao/uploaded/i3/20000000008_1.bmp", 200, "BM", false},
      {"img.alicdn.com", "/imgextra/i4/20000000006_a.jpg", 200, "\xFF\xD8", false},
      {"img03.taobaocdn.com", "/unknown/20000000007_x.jpg", 200, "SANDBOX", false},
      {"img04.taobaocdn.com", "/empty/20000000007_e.jpg", 200, "", true},
      {"img01.taobaocdn.com", "/missing/20000000007_m.jpg", 404, "<html>", false},
      {"img01.taobaocdn.com", "/bao/uploaded/i1/readme.txt", 404, "<html>", false},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.path);
    httplib::Result result = get(tc.host, tc.path);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, tc.status);
    EXPECT_EQ(result->body.empty(), tc.emptyBody);
    EXPECT_TRUE(startsWith(result->body, tc.prefix));
  }
  std::string bmp = get("img03.taobaocdn.com", "/bao/uploaded/i3/20000000008_1.bmp")->body;
  ASSERT_GE(bmp.size(), 6u);
  EXPECT_EQ(static_cast<unsigned char>(bmp[2]) + 256u * static_cast<unsigned char>(bmp[3]), bmp.size());
  // The same address always gives the same bytes, another address other bytes.
  EXPECT_EQ(get("img01.taobaocdn.com", "/a/1.jpg")->body, get("img01.taobaocdn.com", "/a/1.jpg")->body);
  EXPECT_NE(get("img01.taobaocdn.com", "/a/1.jpg")->body, get("img01.taobaocdn.com", "/a/2.jpg")->body);
}

TEST_F(ShopPagesTest, ChinesePictureAddressesWorkRawAndEscaped) {
  // The engine asks once with the GBK bytes as they are and once with them percent-encoded.
  const std::string path = toGbk("/imgextra/图片/茶具详情.jpg");
  std::string escaped;
  for (unsigned char c : path) {
    char buffer[4];
    std::snprintf(buffer, sizeof buffer, "%%%02X", c);
    escaped += c >= 0x80 ? std::string(buffer) : std::string(1, static_cast<char>(c));
  }
  s_server->clearRequests();
  auto raw = testing::rawExchange(s_server->port(), testing::rawGet("img02.taobaocdn.com", path));
  auto encoded = testing::rawExchange(s_server->port(), testing::rawGet("img02.taobaocdn.com", escaped));
  ASSERT_TRUE(startsWith(raw.received, "HTTP/1.1 200"));
  ASSERT_TRUE(startsWith(encoded.received, "HTTP/1.1 200"));
  EXPECT_EQ(raw.received.substr(raw.received.find("\r\n\r\n")),
            encoded.received.substr(encoded.received.find("\r\n\r\n")));
  EXPECT_EQ(s_server->servedCountOnHost("picture", "img02.taobaocdn.com", "/imgextra/"), 2);
  EXPECT_EQ(s_server->servedCountOnHost("picture", "img02.taobaocdn.com", path), 1);
}

TEST_F(ShopPagesTest, NewsAndHelpPagesAreServed) {
  for (const char* path : {"/news.html", "/qelthelp.html"}) {
    httplib::Result result = get("127.0.0.1", path);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->body.find("<title>"), std::string::npos);
  }
  EXPECT_EQ(get("127.0.0.1", "/nothing.html")->status, 404);
}

}  // namespace
}  // namespace mirabex::sandbox
