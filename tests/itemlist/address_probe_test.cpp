#include "itemlist/address_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/crawl_fixture.h"
#include "itemlist/crawl_state.h"

namespace mirabex::testing {
namespace {

enum class Mode { Single, Category, Shop };

const Text& modeWord(Mode mode) {
  switch (mode) {
    case Mode::Single: return singleItemModeWord();
    case Mode::Category: return categoryModeWord();
    case Mode::Shop: return shopModeWord();
  }
  return shopModeWord();
}

struct AddressCase {
  const char* name;
  Mode mode;
  const char* address;
  ProbeResult result;
  const char* shopHost;
  int categoryKind;
  const char* categoryId;
  // The probe's own log lines, which come before any crawler line; nullopt leaves them unchecked.
  std::optional<std::vector<const char*>> probeMessages;
  int rows;
  const char* faultKind = nullptr;  // a request kind whose connections are reset
};

const char* const kItemError = "  地址输入不正确，未识别到宝贝！";
const char* const kShopError = "  店铺地址输入不正确，未识别到宝贝！";
const char* const kCategoryError = "  分类地址输入不正确，未识别到宝贝！";
const char* const kNoPages = "  该分类未识别到宝贝！";

const AddressCase kAddressCases[] = {
    {"ItemPage", Mode::Single, "http://item.taobao.com/item.htm?id=30000000001", ProbeResult::RowAdded, "", 0, "",
     std::vector<const char*>{}, 1},
    {"MallItemPage", Mode::Single, "http://detail.tmall.com/item.htm?id=20000000010", ProbeResult::RowAdded, "", 0, "",
     std::vector<const char*>{}, 1},
    {"ItemPageWithoutTitle", Mode::Single, "http://item.taobao.com/item.htm?id=20000000004",
     ProbeResult::NothingFound, "", 0, "", std::vector<const char*>{kItemError}, 0},
    {"UnknownItem", Mode::Single, "http://item.taobao.com/item.htm?id=123", ProbeResult::NothingFound, "", 0, "",
     std::vector<const char*>{kItemError}, 0},
    {"ItemFetchFails", Mode::Single, "http://item.taobao.com/item.htm?id=30000000001", ProbeResult::NothingFound, "",
     0, "", std::vector<const char*>{kItemError}, 0, "item"},
    {"ShopOfOnePage", Mode::Shop, "http://shop1002.taobao.com/", ProbeResult::CrawlStarted, "shop1002.taobao.com", 0,
     "", std::vector<const char*>{"  共搜索到：12 个商品", "  宝贝页码从第 1 页到第  1  页下载，总页码数是 1 页！"}, 12},
    {"ShopWithPathAndSpaces", Mode::Shop, "http:// shop1001.taobao.com /index.htm", ProbeResult::CrawlStarted,
     "shop1001.taobao.com", 0, "",
     std::vector<const char*>{"  共搜索到：60 个商品", "  宝贝页码从第 1 页到第  3  页下载，总页码数是 3 页！"}, 60},
    {"ItemAddressInShopMode", Mode::Shop, "http://item.taobao.com/item.htm?id=30000000001", ProbeResult::NothingFound,
     "item.taobao.com", 0, "", std::vector<const char*>{kShopError}, 0},
    {"MallAddressInShopMode", Mode::Shop, "http://detail.tmall.com/item.htm?id=20000000010",
     ProbeResult::NothingFound, "detail.tmall.com", 0, "", std::vector<const char*>{kShopError}, 0},
    {"ShopWithoutScheme", Mode::Shop, "shop1002.taobao.com/", ProbeResult::NothingFound, "", 0, "",
     std::vector<const char*>{kShopError}, 0},
    {"BareShopHost", Mode::Shop, "http://shop1002.taobao.com", ProbeResult::NothingFound, "", 0, "",
     std::vector<const char*>{kShopError}, 0},
    {"ShopWithoutPageInfo", Mode::Shop, "http://shop1005.taobao.com/", ProbeResult::NothingFound,
     "shop1005.taobao.com", 0, "", std::vector<const char*>{"  共搜索到：0 个商品", kNoPages}, 0},
    {"ShopPageFails", Mode::Shop, "http://shop1002.taobao.com/", ProbeResult::NothingFound, "shop1002.taobao.com", 0,
     "", std::vector<const char*>{kShopError, "  共搜索到： 个商品", kNoPages}, 0, "shop"},
    {"Scid", Mode::Category, "http://shop1001.taobao.com/search.htm?search=y&scid=5001&viewType=grid",
     ProbeResult::CrawlStarted, "shop1001.taobao.com", 1, "5001",
     std::vector<const char*>{"  共搜索到：25 个商品", "  宝贝页码从第 1 页到第  2  页下载，总页码数是 2 页！"}, 25},
    {"CatId", Mode::Category, "http://shop1001.taobao.com/search.htm?search=y&catId=6001&orderType=_hotsell",
     ProbeResult::CrawlStarted, "shop1001.taobao.com", 2, "6001",
     std::vector<const char*>{"  共搜索到：20 个商品", "  宝贝页码从第 1 页到第  1  页下载，总页码数是 1 页！"}, 20},
    {"CategoryPath", Mode::Category, "http://shop1001.taobao.com/category-7001.htm", ProbeResult::CrawlStarted,
     "shop1001.taobao.com", 2, "7001",
     std::vector<const char*>{"  共搜索到：15 个商品", "  宝贝页码从第 1 页到第  1  页下载，总页码数是 1 页！"}, 15},
    {"CategoryPathOnWangpu", Mode::Category, "http://shop1002.taobao.com/category-7002.htm",
     ProbeResult::CrawlStarted, "shop1002.taobao.com", 2, "7002", std::nullopt, 6},
    // catId is tested after scid and wins.
    {"ScidAndCatId", Mode::Category, "http://shop1001.taobao.com/search.htm?search=y&scid=5001&catId=6001&x=1",
     ProbeResult::CrawlStarted, "shop1001.taobao.com", 2, "6001", std::nullopt, 20},
    {"ScidRightAfterQuestionMark", Mode::Category, "http://shop1001.taobao.com/search.htm?scid=5001&search=y",
     ProbeResult::NothingFound, "", 1, "", std::vector<const char*>{kCategoryError}, 0},
    {"ScidValueAtTheEnd", Mode::Category, "http://shop1001.taobao.com/search.htm?search=y&scid=5001",
     ProbeResult::NothingFound, "", 1, "", std::vector<const char*>{kCategoryError}, 0},
    {"NoCategoryForm", Mode::Category, "http://shop1001.taobao.com/", ProbeResult::NothingFound, "", 0, "",
     std::vector<const char*>{kCategoryError}, 0},
    {"CategoryPageFails", Mode::Category, "http://shop1001.taobao.com/category-7001.htm", ProbeResult::NothingFound,
     "shop1001.taobao.com", 2, "7001",
     std::vector<const char*>{"  店铺地址输入不正确，未识别到宝贝！1", "  共搜索到： 个商品", kNoPages}, 0, "category"},
};

class AddressProbeTest : public ::testing::TestWithParam<AddressCase> {
 protected:
  void SetUp() override { resetSandbox(); }
  void TearDown() override { resetSandbox(); }
};

TEST_P(AddressProbeTest, ClassifiesProbesAndCrawls) {
  const AddressCase& c = GetParam();
  if (c.faultKind != nullptr) sharedSandbox().setFault(c.faultKind, sandbox::Fault::Reset);
  ProbeRig rig;
  ASSERT_EQ(rig.addAndWait(c.address, modeWord(c.mode)), AddOutcome::ProbeStarted);

  EXPECT_EQ(rig.host.probeResults(), std::vector<ProbeResult>{c.result});
  EXPECT_EQ(rig.list.count(), c.rows);
  const CrawlState state = rig.probe.crawlState();
  EXPECT_EQ(state.categoryKind, c.categoryKind);
  EXPECT_EQ(state.categoryId, c.categoryId);
  if (c.mode != Mode::Single) {
    EXPECT_EQ(state.shopHost, c.shopHost);
  }
  if (c.result == ProbeResult::CrawlStarted) {
    EXPECT_EQ(state.pagesClaimed, state.pageTotal);
  }

  if (c.probeMessages) {
    std::vector<Text> expected;
    for (const char* message : *c.probeMessages) expected.push_back(gbk(message));
    std::vector<Text> messages = rig.host.messages();
    if (c.result == ProbeResult::CrawlStarted && messages.size() > expected.size()) messages.resize(expected.size());
    EXPECT_EQ(messages, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Addresses, AddressProbeTest, ::testing::ValuesIn(kAddressCases),
                         [](const ::testing::TestParamInfo<AddressCase>& info) { return std::string(info.param.name); });

TEST(AddressProbeSingleItem, AppendsTitleTypedAddressAndIdWithoutPrice) {
  resetSandbox();
  ProbeRig rig;
  // The address cell is the box text as typed, not an address rebuilt from the id.
  const std::string address = "http://item.taobao.com/item.htm?spm=a1z10&id=30000000002";
  rig.addAndWait(address, singleItemModeWord());
  ASSERT_EQ(rig.list.count(), 1);
  const ItemRow row = rig.list.row(0);
  const sandbox::SandboxItem item = *sharedSandbox().catalogue().item("30000000002");
  EXPECT_EQ(row.title, gbk(item.titleUtf8 + "-淘宝网"));
  EXPECT_EQ(row.itemId, "30000000002");
  EXPECT_EQ(row.itemUrl, address);
  EXPECT_EQ(row.price, "");
  EXPECT_TRUE(rig.host.messages().empty());
}

struct IgnoredCase {
  const char* name;
  const char* address;
  Text mode;
};

TEST(AddressProbeIgnored, BlankBoxOrNoModeDoesNothing) {
  resetSandbox();
  const IgnoredCase cases[] = {
      {"empty", "", shopModeWord()},
      {"spaces", "   ", shopModeWord()},
      {"full-width spaces", "\xE3\x80\x80 \xE3\x80\x80", singleItemModeWord()},
      {"no mode yet", "http://shop1002.taobao.com/", Text{}},
      {"unknown mode", "http://shop1002.taobao.com/", gbk("宝贝")},
  };
  for (const IgnoredCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeRig rig;
    EXPECT_EQ(rig.probe.AddToList(gbk(c.address), c.mode), AddOutcome::Ignored);
    EXPECT_FALSE(rig.probe.probeRunning());
    EXPECT_TRUE(rig.host.lines().empty());
    EXPECT_TRUE(rig.host.probeResults().empty());
  }
  EXPECT_TRUE(sharedSandbox().requests().empty());
}

TEST(AddressProbeConcurrency, SecondCrawlIsRefusedWhileSingleItemsStillGoIn) {
  resetSandbox();
  sharedSandbox().setLatencyMs("shop", 300);
  ProbeRig rig;
  ASSERT_EQ(rig.probe.AddToList(gbk("http://shop1001.taobao.com/"), shopModeWord()), AddOutcome::ProbeStarted);
  // A second press while the probe itself still runs is not taken.
  EXPECT_EQ(rig.probe.AddToList(gbk("http://shop1002.taobao.com/"), shopModeWord()), AddOutcome::ProbeBusy);
  while (rig.probe.probeRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(rig.probe.crawlRunning());

  EXPECT_EQ(rig.probe.AddToList(gbk("http://shop1002.taobao.com/category-7002.htm"), categoryModeWord()),
            AddOutcome::CrawlBusy);
  EXPECT_EQ(rig.probe.AddToList(gbk("http://shop1002.taobao.com/"), shopModeWord()), AddOutcome::CrawlBusy);
  EXPECT_EQ(rig.host.messagesContaining(gbk("正在读取中")).size(), 2u);
  EXPECT_EQ(rig.probe.crawlState().shopHost, "shop1001.taobao.com");

  ASSERT_EQ(rig.probe.AddToList(gbk("http://item.taobao.com/item.htm?id=30000000001"), singleItemModeWord()),
            AddOutcome::ProbeStarted);
  ASSERT_TRUE(rig.waitUntilIdle());

  EXPECT_EQ(rig.list.count(), 61);
  EXPECT_EQ(sharedSandbox().servedCountOnHost("shop", "shop1002.taobao.com"), 0);
  EXPECT_EQ(sharedSandbox().servedCount("category"), 0);
  EXPECT_EQ(sharedSandbox().servedCountOnHost("shop", "shop1001.taobao.com", "/search.htm?&pageNum="), 3);
  EXPECT_EQ(rig.host.crawlsFinished(), 1);

  // Once the crawl has ended a new one starts as usual.
  rig.addAndWait("http://shop1002.taobao.com/", shopModeWord());
  EXPECT_EQ(rig.list.count(), 73);
  EXPECT_EQ(rig.host.crawlsFinished(), 2);
  resetSandbox();
}

TEST(AddressProbeConcurrency, ProbeFetchDoesNotRunOnTheCallersThread) {
  resetSandbox();
  sharedSandbox().setFault("shop", sandbox::Fault::Hang);
  std::optional<ProbeRig> rig(std::in_place);
  const auto pressed = std::chrono::steady_clock::now();
  EXPECT_EQ(rig->probe.AddToList(gbk("http://shop1002.taobao.com/"), shopModeWord()), AddOutcome::ProbeStarted);
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(5));
  EXPECT_TRUE(rig->probe.probeRunning());
  while (sharedSandbox().servedCount("shop") == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // Shutting down abandons the hung fetch instead of waiting out its 90-second time-out.
  const auto closing = std::chrono::steady_clock::now();
  rig.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(30));
  resetSandbox();
}

TEST(PageCountOf, ReadsTheNumberAfterTheLastSlash) {
  const struct {
    const char* text;
    double count;
  } cases[] = {{"1/25", 25}, {"3/3", 3}, {"25", 0}, {"", 0}, {"1/", 0}, {"1/abc", 0},
               {"1/ 7", 7},  {"1/2/9", 9}, {"1/0", 0}, {"1/inf", 0}, {"1/nan", 0}, {"1/12x", 12}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(pageCountOf(c.text), c.count);
  }
}

}  // namespace
}  // namespace mirabex::testing
