// The page crawler: pages per second against the bound of five pages in flight at the sandbox's
// latency (5 / L), and the cost of recognising a page's layout and cutting its rows.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>

#include "itemlist/crawl_host.h"
#include "itemlist/item_list.h"
#include "itemlist/page_crawl.h"
#include "itemlist/page_crawler.h"
#include "sandbox/sandbox_server.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/http_client.h"

namespace mirabex {
namespace {

sandbox::SandboxServer& server() {
  static sandbox::SandboxServer instance;
  static const bool started = instance.start(0);
  if (!started) throw std::runtime_error("the sandbox could not listen on loopback");
  return instance;
}

class QuietHost : public CrawlHost {
 public:
  void appendLogLine(const Text&) override {}
  void pageFetched(int, int) override {}
  void rowAppended(int) override {}
  void pageRead(const CrawlProgress&) override {}
  void crawlFinished() override {}
  void probeFinished(ProbeResult) override {}
};

// P pages of the 25-page shop; the pages past its last one are fetched and searched all the same.
void BM_CrawlPages(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const int latencyMs = static_cast<int>(state.range(1));
  server().clearFaults();
  server().setLatencyMs("shop", latencyMs);
  const HttpClient http(HttpClientSettings{.connectTo = server().address(), .caFile = {}});
  QuietHost host;
  std::chrono::steady_clock::duration crawling{};
  for (auto _ : state) {
    const auto started = std::chrono::steady_clock::now();
    ItemList list;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    {
      PageCrawl crawl({CrawlMode::Shop, "shop1003.taobao.com", "", kNoCategory, pages},
                      {.list = list, .http = http, .host = host, .clock = systemClock(), .itemHost = "item.taobao.com"},
                      [&] {
                        std::lock_guard lock(mutex);
                        finished = true;
                        done.notify_all();
                      });
      crawl.start();
      std::unique_lock lock(mutex);
      done.wait(lock, [&] { return finished; });
    }
    crawling += std::chrono::steady_clock::now() - started;
    benchmark::DoNotOptimize(list.count());
  }
  server().clearFaults();
  const double pagesPerSecond = static_cast<double>(pages) * static_cast<double>(state.iterations()) /
                                std::chrono::duration<double>(crawling).count();
  const double bound = 5000.0 / latencyMs;
  state.counters["pages_per_s"] = pagesPerSecond;
  state.counters["bound_pages_per_s"] = bound;
  state.counters["ratio_to_bound"] = pagesPerSecond / bound;
}
BENCHMARK(BM_CrawlPages)->Args({100, 20})->Args({100, 50})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// About 300 KB of search page in one layout, with filler markup between items as real pages have.
Text pageOfLayout(int layout) {
  Text page = utf8ToGbk("<html><head><title>店铺搜索</title></head><body>\n");
  const std::string filler =
      "<div class=\"sale-info\"><span>月销量</span><em>128</em><span class=\"tip\">包邮 七天退换 正品保障</span>"
      "</div>\n<script>window.g_item_stat = {spm: 'a1z10.3-c.w4002', cat: '50010850', seller: '57300112'};"
      "</script>\n";
  for (int i = 0; page.size() < 300 * 1024; ++i) {
    const std::string id = std::to_string(30000000001LL + i);
    const std::string title = "沙盒宝贝" + std::to_string(i) + "号 纯棉圆领短袖T恤 夏季新款";
    std::string block;
    if (layout == 0) {
      block = "<a target=\"_blank\" href=\"http://item.taobao.com/item.htm?id=" + id +
              "&amp;ad_id=\" class=\"permalink\" style=\"\">\n" + title +
              "\n</a>\n<div class=\"price\"><s>&yen;</s><strong>128.00</strong>\n</div>\n";
    } else if (layout == 1) {
      block = "<a class=\"item-name\" href=\"http://item.taobao.com/item.htm?id=" + id + "\" target=\"_blank\">" +
              title + "</a>\n<span class=\"c-price\">128.00</span>\n";
    } else {
      block = "<a title=\"" + title + "\"  href=\"http://item.taobao.com/item.htm?id=" + id +
              "\" target=\"_blank\">" + title + "</a>\n<strong>128.00 元</strong>\n";
    }
    for (int k = 0; k < 12; ++k) block += filler;
    page += utf8ToGbk(block);
  }
  return page + "</body></html>\n";
}

// Layout 2 ("店铺街") is the slowest case: both earlier templates run over the page first.
void BM_RecogniseAndExtract(benchmark::State& state) {
  const Text page = pageOfLayout(static_cast<int>(state.range(0)));
  PageExtractor extractor("item.taobao.com");
  std::size_t rows = 0;
  for (auto _ : state) {
    rows = extractor.extract(page).size();
    benchmark::DoNotOptimize(rows);
  }
  state.counters["page_kb"] = static_cast<double>(page.size()) / 1024.0;
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_RecogniseAndExtract)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirabex

BENCHMARK_MAIN();
