#include "itemlist/page_crawler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>
#include <string>
#include <vector>

#include "support/crawl_fixture.h"
#include "itemlist/page_crawl.h"

namespace mirabex::testing {
namespace {

const char* const kHost = "item.taobao.com";

Text itemUrl(const std::string& id) { return std::string("http://") + kHost + "/item.htm?id=" + id; }

struct ExtractCase {
  const char* name;
  const char* pageUtf8;
  int templateIndex;
  std::vector<ItemRow> rows;
};

const ExtractCase kExtractCases[] = {
    {"Ordinary",
     "<a target=\"_blank\" href=\"http://item.taobao.com/item.htm?id=11&amp;ad_id=\" class=\"permalink\" style=\"\">\n"
     "T1 &amp; more\n</a>\n<s>&yen;</s><strong>1.50</strong>\n"
     "<A TARGET=\"_blank\" href=\"http://item.taobao.com/item.htm?ID=12&x\" class=\"permalink\" style=\"\">\n"
     "T2\n</a>\n<s>&yen;</s><strong>2.00</strong>\n",
     0,
     {{"T1 &amp; more", "1.50", itemUrl("11"), "11"}, {"T2", "2.00", itemUrl("12"), "12"}}},
    // A link ending right at its id gives no id, but its price still takes its place.
    {"OrdinaryLinkEndingAtId",
     "<a target=\"_blank\" href=\"http://item.taobao.com/item.htm?id=21\" class=\"permalink\" style=\"\">\nT1\n</a>\n"
     "<s>&yen;</s><strong>1</strong>\n"
     "<a target=\"_blank\" href=\"http://item.taobao.com/item.htm?id=22&\" class=\"permalink\" style=\"\">\nT2\n</a>\n"
     "<s>&yen;</s><strong>2</strong>\n",
     0,
     {{"T2", "2", itemUrl("22"), "22"}}},
    // The price line must end right after </strong>.
    {"OrdinaryPriceWithoutLineFeed",
     "<a target=\"_blank\" href=\"x?id=31&\" class=\"permalink\" style=\"\">\nT\n</a><s>&yen;</s><strong>9</strong></div>",
     0,
     {{"T", "", itemUrl("31"), "31"}}},
    {"Wangpu",
     "<a class=\"item-name\" href=\"http://item.taobao.com/item.htm?id=41\" target=\"_blank\">标题一</a>"
     "<span class=\"c-price\">3.00</span>\n"
     "<a class=\"item-name\" href=\"http://item.taobao.com/item.htm?id=42\" target=\"_blank\">标题二</a>\n",
     1,
     {{"标题一", "3.00", itemUrl("41"), "41"}, {"标题二", "", itemUrl("42"), "42"}}},
    {"ShopStreet",
     "<a title=\"街一\"  href=\"http://item.taobao.com/item.htm?id=51\" target=\"_blank\">街一</a>"
     "<strong>7.00 元</strong>\n"
     "<a title=\"one space\" href=\"http://item.taobao.com/item.htm?id=52\" target=\"_blank\">x</a>\n",
     2,
     {{"街一", "7.00", itemUrl("51"), "51"}}},
    // Prices pair with items by position: a missing price shifts the later ones up.
    {"FewerPricesThanItems",
     "<a class=\"item-name\" href=\"?id=61\" target=\"_blank\">A</a>\n"
     "<a class=\"item-name\" href=\"?id=62\" target=\"_blank\">B</a><span class=\"c-price\">2</span>\n"
     "<a class=\"item-name\" href=\"?id=63\" target=\"_blank\">C</a><span class=\"c-price\">3</span>\n",
     1,
     {{"A", "2", itemUrl("61"), "61"}, {"B", "3", itemUrl("62"), "62"}, {"C", "", itemUrl("63"), "63"}}},
    {"EmptyIdSkipped", "<a class=\"item-name\" href=\"?id=\" target=\"_blank\">A</a>\n", 1, {}},
    {"NoLayout", "<html><body>nothing here</body></html>", 2, {}},
    {"EmptyPage", "", 2, {}},
};

class PageExtractorTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(PageExtractorTest, RecognisesTheLayoutAndCutsRows) {
  const ExtractCase& c = GetParam();
  PageExtractor extractor(kHost);
  std::vector<ItemRow> expected = c.rows;
  for (ItemRow& row : expected) row.title = gbk(row.title);
  EXPECT_EQ(extractor.extract(gbk(c.pageUtf8)), expected);
  EXPECT_EQ(extractor.templateIndex(), c.templateIndex);
}

INSTANTIATE_TEST_SUITE_P(Pages, PageExtractorTest, ::testing::ValuesIn(kExtractCases),
                         [](const ::testing::TestParamInfo<ExtractCase>& info) { return std::string(info.param.name); });

TEST(PageExtractor, MatchersAreReusedAcrossPagesOfDifferentLayouts) {
  PageExtractor extractor(kHost);
  const Text wangpu = "<a class=\"item-name\" href=\"?id=1\" target=\"_blank\">A</a>";
  ASSERT_EQ(extractor.extract(wangpu).size(), 1u);
  EXPECT_TRUE(extractor.extract("").empty());
  EXPECT_EQ(extractor.extract(wangpu).size(), 1u);
}

TEST(PageTextOfBody, ZeroBytesBecomeSpacesAndNothingIsConverted) {
  EXPECT_EQ(pageTextOfBody(std::string("a\0b\xB1\xA6\0", 6)), std::string("a b\xB1\xA6 "));
}

TEST(CrawlPageUrl, NamesThePageOfEachModeAndKind) {
  const struct {
    CrawlParameters parameters;
    int page;
    const char* url;
  } cases[] = {
      {{CrawlMode::Shop, "s.taobao.com", "", 0, 3}, 2, "http://s.taobao.com/search.htm?&pageNum=2"},
      {{CrawlMode::Category, "s.taobao.com", "5001", 1, 3}, 12,
       "http://s.taobao.com/search.htm?&search=y&scid=5001&viewType=grid&orderType=_hotsell&pageNum=12"},
      {{CrawlMode::Category, "s.taobao.com", "7001", 2, 3}, 1,
       "http://s.taobao.com/search.htm?&search=y&catId=7001&viewType=grid&orderType=_hotsell&pageNum=1"},
      {{CrawlMode::Category, "s.taobao.com", "7001", 0, 3}, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(crawlPageUrl(c.parameters, c.page), c.url);
  }
}

TEST(PageClaims, HandsOutEveryPageOnceAcrossThreads) {
  PageClaims claims(1000);
  std::vector<std::vector<int>> taken(5);
  {
    std::vector<std::jthread> threads;
    for (auto& mine : taken) {
      threads.emplace_back([&claims, &mine] {
        for (int page = claims.claim(); page != 0; page = claims.claim()) mine.push_back(page);
      });
    }
  }
  std::vector<int> all;
  for (const auto& mine : taken) all.insert(all.end(), mine.begin(), mine.end());
  std::sort(all.begin(), all.end());
  std::vector<int> expected(1000);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(all, expected);
  EXPECT_TRUE(claims.allClaimed());
  EXPECT_EQ(claims.claim(), 0);
}

// Every layout of the sandbox, crawled through the probe, against the sandbox's catalogue.
struct LayoutCase {
  std::string name;
  std::string address;
  const Text* mode;
  const sandbox::SandboxShop* shop;
  std::vector<std::string> ids;
  int pageCount;
};

std::vector<LayoutCase> layoutCases() {
  std::vector<LayoutCase> cases;
  for (const sandbox::SandboxShop& shop : sharedSandbox().catalogue().shops()) {
    if (shop.pageCount == 0) continue;
    std::string name = shop.host.substr(0, shop.host.find('.'));
    cases.push_back({name, "http://" + shop.host + "/", &shopModeWord(), &shop, shop.itemIds, shop.pageCount});
    for (const sandbox::SandboxCategory& category : shop.categories) {
      cases.push_back({name + "_category" + category.id, category.exampleAddress, &categoryModeWord(), &shop,
                       category.itemIds, category.pageCount});
    }
  }
  return cases;
}

class LayoutCrawlTest : public ::testing::TestWithParam<LayoutCase> {
 protected:
  void SetUp() override { resetSandbox(); }
};

TEST_P(LayoutCrawlTest, CrawlsEveryPageIntoTheCataloguesRows) {
  const LayoutCase& c = GetParam();
  ProbeRig rig;
  ASSERT_EQ(rig.addAndWait(c.address, *c.mode), AddOutcome::ProbeStarted);
  ASSERT_EQ(rig.host.probeResults(), std::vector<ProbeResult>{ProbeResult::CrawlStarted});
  EXPECT_EQ(sorted(rig.list.rows()), sorted(expectedRows(*c.shop, c.ids, c.pageCount)));
  EXPECT_EQ(rig.host.crawlsFinished(), 1);
  EXPECT_EQ(static_cast<int>(rig.host.pagesRead().size()), c.pageCount);
  EXPECT_EQ(rig.host.rowsAppended(), rig.list.count());
}

INSTANTIATE_TEST_SUITE_P(Sandbox, LayoutCrawlTest, ::testing::ValuesIn(layoutCases()),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

// A crawl driven directly, without the probe, over a list that may already hold rows.
struct CrawlRig {
  explicit CrawlRig(CrawlParameters parameters) : http(sandboxClientSettings()), parameters(std::move(parameters)) {}
  void run() {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    {
      PageCrawl crawl(parameters,
                      {.list = list, .http = http, .host = host, .clock = testClock(), .itemHost = kHost}, [&] {
                        std::lock_guard lock(mutex);
                        finished = true;
                        done.notify_all();
                      });
      crawl.start();
      std::unique_lock lock(mutex);
      ASSERT_TRUE(done.wait_for(lock, std::chrono::seconds(60), [&] { return finished; }));
    }
  }

  HttpClient http;
  CrawlParameters parameters;
  ItemList list;
  RecordingCrawlHost host;
};

TEST(PageCrawl, OnePageIsReadByOneThreadAndTheOthersEndSilently) {
  resetSandbox();
  CrawlRig rig({CrawlMode::Shop, "shop1002.taobao.com", "", 0, 1});
  rig.run();
  ASSERT_EQ(rig.host.pagesRead().size(), 1u);
  const std::string thread = std::to_string(rig.host.pagesRead().front().threadNumber);
  EXPECT_EQ(rig.host.messages(), (std::vector<Text>{
                                     gbk("  线程：" + thread + "  正在读取宝贝列表 第：  1 /1 页"),
                                     gbk("  线程：" + thread + "  读取成功，成功提取了：  12  个宝贝"),
                                     gbk("  宝贝下载完成 【共提取了：  12  个宝贝】"),
                                 }));
  EXPECT_EQ(rig.host.pagesFetched(), 1);
  EXPECT_EQ(sharedSandbox().servedCount("shop"), 1);
}

TEST(PageCrawl, TwentyFivePagesAreEachFetchedOnce) {
  resetSandbox();
  CrawlRig rig({CrawlMode::Shop, "shop1003.taobao.com", "", 0, 25});
  rig.run();
  std::map<std::string, int> fetches;
  for (const sandbox::RecordedRequest& request : sharedSandbox().requests()) ++fetches[request.target];
  ASSERT_EQ(fetches.size(), 25u);
  for (int page = 1; page <= 25; ++page) {
    EXPECT_EQ(fetches["/search.htm?&pageNum=" + std::to_string(page)], 1) << page;
  }
  EXPECT_EQ(rig.list.count(), 490);
  const std::size_t completions = rig.host.messagesContaining(gbk("宝贝下载完成")).size();
  EXPECT_GE(completions, 1u);
  EXPECT_LE(completions, 5u);
  EXPECT_EQ(rig.host.messagesContaining(gbk("正在读取宝贝列表")).size(), 25u);
  // Each thread reports its own pages under its own number.
  for (const CrawlProgress& progress : rig.host.pagesRead()) {
    EXPECT_GE(progress.threadNumber, 1);
    EXPECT_LE(progress.threadNumber, 5);
    EXPECT_EQ(progress.pageTotal, 25);
  }
  EXPECT_EQ(rig.host.pagesRead().back().pagesRead, 25);
}

TEST(PageCrawl, PagesThatFailToFetchAreReportedWithTheWholeListsSize) {
  resetSandbox();
  sharedSandbox().setFault("shop", sandbox::Fault::Reset);
  CrawlRig rig({CrawlMode::Shop, "shop1001.taobao.com", "", 0, 2});
  rig.list.append({"earlier", "", "", "1"});
  rig.list.append({"earlier", "", "", "2"});
  rig.run();
  EXPECT_EQ(rig.list.count(), 2);
  const std::vector<Text> done = rig.host.messagesContaining(gbk("读取成功"));
  ASSERT_EQ(done.size(), 2u);
  for (const Text& message : done) EXPECT_NE(message.find(gbk("成功提取了：  2  个宝贝")), Text::npos) << message;
  // Not retried.
  EXPECT_EQ(sharedSandbox().servedCount("shop"), 2);
  EXPECT_EQ(rig.host.crawlsFinished(), 1);
  resetSandbox();
}

TEST(PageCrawl, CategoryCrawlAsksForTheGridInHotsellOrder) {
  resetSandbox();
  CrawlRig rig({CrawlMode::Category, "shop1001.taobao.com", "5001", kScidCategory, 2});
  rig.run();
  EXPECT_EQ(rig.list.count(), 25);
  EXPECT_EQ(sharedSandbox().servedCount("category",
                                        "/search.htm?&search=y&scid=5001&viewType=grid&orderType=_hotsell&pageNum="),
            2);
}

}  // namespace
}  // namespace mirabex::testing
