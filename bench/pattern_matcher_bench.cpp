// Throughput of the crawler's shop-page patterns: PatternMatcher on the GBK page
// (conversion included) against std::regex on the same page already in UTF-8.
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "toolkit/gbk_codec.h"
#include "toolkit/pattern_matcher.h"

namespace mirabex {
namespace {

// Patterns are written in UTF-8 here and handed to the matcher in GBK, as the crawler does.
const std::string kShopItem = "<a class=\"item-name\" href=\".*?id=(.*?)\" target=\"_blank\">(.*?)</a>";
const std::string kShopPrice = "<span class=\"c-price\">(.*?)</span>";
const std::string kPlainItem = "<a target=\"_blank\" href=\"(.*?)\" class=\"permalink\" style=\"\">\n(.*?)\n</a>";
const std::string kPlainPrice = "&yen;</s><strong>(.*?)</strong>\n";
const std::string kStreetItem = "<a title=\"(.*?)\"  href=\".*?id=(.*?)\" target=\"_blank\">";
const std::string kStreetPrice = "<strong>(.*?) 元</strong>";

// A shop search page in the layout the second pattern pair reads: about 5 KB of
// markup, scripts and Chinese text per item, on short lines like a real page.
std::string shopPageUtf8(int items) {
  std::string page =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gbk\">\n<title>宝贝搜索 - 示例旗舰店</title>\n"
      "<script>var g_config={shopId:'57300112',assetsHost:'http://a.example.cn'};</script>\n</head>\n<body>\n"
      "<div class=\"shop-hesper-bd grid\">\n";
  for (int i = 0; i < items; ++i) {
    const std::string id = std::to_string(10000000000LL + i * 7919LL);
    page += "<div class=\"item\" data-id=\"" + id + "\">\n<div class=\"pic\">\n";
    page += "<a target=\"_blank\" href=\"http://item.example.cn/item.htm?id=" + id +
            "\"><img src=\"http://img.example.cn/bao/uploaded/i" + std::to_string(i % 4) +
            "/T1abc_XXXX.jpg_160x160.jpg\" alt=\"\"></a>\n</div>\n";
    page +=
        "<div class=\"desc\">\n<a class=\"item-name\" "
        "href=\"http://item.example.cn/item.htm?spm=a1z10.3.w4002&id=" +
        id + "\" target=\"_blank\">2013新款韩版女装修身显瘦连衣裙 第" + std::to_string(i + 1) + "款</a>\n</div>\n";
    page +=
        "<div class=\"attribute\">\n<div class=\"cprice-area\"><span class=\"symbol\">&yen;</span>"
        "<span class=\"c-price\">" +
        std::to_string(100 + i) + ".00</span></div>\n";
    page += "<div class=\"sale-area\">已售：<span class=\"sale-num\">" + std::to_string(i * 3) +
            "</span>件</div>\n</div>\n";
    for (int line = 0; line < 30; ++line) {
      page += "<li class=\"rate\"><span class=\"star\">好评</span><a href=\"http://rate.example.cn/r?uid=" +
              std::to_string(line) + "\">查看评价</a> 店铺动态评分 描述相符 4.8 服务态度 4.9</li>\n";
    }
    page += "<script type=\"text/javascript\">KISSY.use('shop/item',function(S){S.init({itemId:'" + id +
            "',lazy:true});});</script>\n</div>\n";
  }
  page +=
      "</div>\n<div class=\"pagination\"><a class=\"J_SearchAsync next\" href=\"?pageNo=2\">下一页</a></div>\n"
      "</body>\n</html>\n";
  return page;
}

// ~60 items make the 300 KB page the crawler meets.
constexpr int kItemsPerPage = 60;

// The work the crawler does on one "旺铺" page: both patterns compiled afresh,
// executed, and every id, title and price read back. Returns the item count.
int runShopPatterns(PatternMatcher& items, PatternMatcher& prices, const Text& page, const Text& itemPattern,
                    const Text& pricePattern) {
  items.compile(itemPattern);
  prices.compile(pricePattern);
  const int count = items.execute(page);
  prices.execute(page);
  for (int i = 1; i <= count; ++i) {
    benchmark::DoNotOptimize(items.subMatch(i, 1));
    benchmark::DoNotOptimize(items.subMatch(i, 2));
    benchmark::DoNotOptimize(prices.subMatch(i, 1));
  }
  return prices.matchCount() == count ? count : -1;
}

void BM_PatternMatcherShopPage(benchmark::State& state) {
  const int itemCount = static_cast<int>(state.range(0));
  const Text page = utf8ToGbk(shopPageUtf8(itemCount));
  const Text itemPattern = utf8ToGbk(kShopItem);
  const Text pricePattern = utf8ToGbk(kShopPrice);
  int found = 0;
  // Fresh matchers each round: every page the crawler reads is a new text, so
  // each matcher pays for converting it once.
  for (auto _ : state) {
    PatternMatcher items;
    PatternMatcher prices;
    found = runShopPatterns(items, prices, page, itemPattern, pricePattern);
  }
  if (found != itemCount) state.SkipWithError("wrong match count");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
  state.SetLabel(std::to_string(page.size() / 1024) + " KB");
  state.SetComplexityN(static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_PatternMatcherShopPage)
    ->Arg(kItemsPerPage / 3)
    ->Arg(kItemsPerPage)
    ->Arg(std::int64_t{kItemsPerPage} * 3)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Template recognition as the crawler does it on a "旺铺" page: the first layout's
// pair runs over the whole page and finds nothing before the matching pair runs.
void BM_PatternMatcherTemplateProbe(benchmark::State& state) {
  const Text page = utf8ToGbk(shopPageUtf8(kItemsPerPage));
  const Text plainItem = utf8ToGbk(kPlainItem);
  const Text plainPrice = utf8ToGbk(kPlainPrice);
  const Text shopItem = utf8ToGbk(kShopItem);
  const Text shopPrice = utf8ToGbk(kShopPrice);
  int found = 0;
  for (auto _ : state) {
    PatternMatcher items;
    PatternMatcher prices;
    items.compile(plainItem);
    prices.compile(plainPrice);
    prices.execute(page);
    found = items.execute(page) == 0 ? runShopPatterns(items, prices, page, shopItem, shopPrice) : -1;
  }
  if (found != kItemsPerPage) state.SkipWithError("wrong match count");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_PatternMatcherTemplateProbe)->Unit(benchmark::kMillisecond);

// The third layout's pair, neither of which matches this page: a full scan each.
void BM_PatternMatcherStreetPatternsMiss(benchmark::State& state) {
  const Text page = utf8ToGbk(shopPageUtf8(kItemsPerPage));
  const Text streetItem = utf8ToGbk(kStreetItem);
  const Text streetPrice = utf8ToGbk(kStreetPrice);
  for (auto _ : state) {
    PatternMatcher items;
    PatternMatcher prices;
    items.compile(streetItem);
    prices.compile(streetPrice);
    benchmark::DoNotOptimize(items.execute(page));
    benchmark::DoNotOptimize(prices.execute(page));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_PatternMatcherStreetPatternsMiss)->Unit(benchmark::kMillisecond);

// Compiling is done per page and per template, so it must stay cheap.
void BM_PatternMatcherCompile(benchmark::State& state) {
  const Text itemPattern = utf8ToGbk(kShopItem);
  PatternMatcher matcher;
  for (auto _ : state) benchmark::DoNotOptimize(matcher.compile(itemPattern));
}
BENCHMARK(BM_PatternMatcherCompile)->Unit(benchmark::kMicrosecond);

// The reference: std::regex with the same semantics (ECMAScript, letters without
// case) over the page already in UTF-8, reading the same groups.
void BM_StdRegexShopPage(benchmark::State& state) {
  const int itemCount = static_cast<int>(state.range(0));
  const std::string page = shopPageUtf8(itemCount);
  const auto flags = std::regex::ECMAScript | std::regex::icase;
  int found = 0;
  for (auto _ : state) {
    const std::regex itemPattern(kShopItem, flags);
    const std::regex pricePattern(kShopPrice, flags);
    std::vector<std::string> prices;
    for (std::sregex_iterator it(page.begin(), page.end(), pricePattern), end; it != end; ++it) {
      prices.push_back((*it)[1].str());
    }
    found = 0;
    for (std::sregex_iterator it(page.begin(), page.end(), itemPattern), end; it != end; ++it) {
      benchmark::DoNotOptimize((*it)[1].str());
      benchmark::DoNotOptimize((*it)[2].str());
      ++found;
    }
    benchmark::DoNotOptimize(prices);
  }
  if (found != itemCount) state.SkipWithError("wrong match count");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
  state.SetComplexityN(static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_StdRegexShopPage)
    ->Arg(kItemsPerPage / 3)
    ->Arg(kItemsPerPage)
    ->Arg(std::int64_t{kItemsPerPage} * 3)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace mirabex

BENCHMARK_MAIN();
