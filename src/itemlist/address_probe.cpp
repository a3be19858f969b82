#include "itemlist/address_probe.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <utility>

#include "toolkit/gbk_codec.h"
#include "toolkit/operation_log.h"
#include "toolkit/text_helpers.h"

namespace mirabex {
namespace {

struct ProbeTexts {
  Text itemNotFound = utf8ToGbk("  地址输入不正确，未识别到宝贝！");
  Text shopNotFound = utf8ToGbk("  店铺地址输入不正确，未识别到宝贝！");
  Text categoryNotFound = utf8ToGbk("  分类地址输入不正确，未识别到宝贝！");
  Text categoryPageEmpty = utf8ToGbk("  店铺地址输入不正确，未识别到宝贝！1");
  Text itemCount = utf8ToGbk("  共搜索到：");
  Text itemCountEnd = utf8ToGbk(" 个商品");
  Text itemCountLeft = utf8ToGbk("共搜索到<span>");
  Text itemCountRight = utf8ToGbk("</span>个符合条件的商品。");
  Text pageRange = utf8ToGbk("  宝贝页码从第 1 页到第  ");
  Text pageRangeMiddle = utf8ToGbk("  页下载，总页码数是 ");
  Text pageRangeEnd = utf8ToGbk(" 页！");
  Text noPages = utf8ToGbk("  该分类未识别到宝贝！");
  Text crawlBusy = utf8ToGbk("  还有店铺或分类的宝贝列表正在读取中，请等读取完成后再添加！");
};

const ProbeTexts& texts() {
  static const ProbeTexts instance;
  return instance;
}

Text hostOf(const Text& address) { return trimText(TextBetween(address, "http://", "/")); }

}  // namespace

double pageCountOf(const Text& pageCountText) {
  const Text number = TextAfterLast(pageCountText, "/");
  const char* first = number.data();
  const char* last = number.data() + number.size();
  while (first != last && *first == ' ') ++first;
  double value = 0;
  const std::from_chars_result parsed = std::from_chars(first, last, value);
  // Infinity and NaN are words, not page counts.
  if (parsed.ec != std::errc{} || !std::isfinite(value)) return 0;
  return value;
}

AddressProbe::AddressProbe(AddressProbeServices services) : m_services(std::move(services)) {}

AddressProbe::~AddressProbe() {
  std::jthread probe;
  {
    std::lock_guard lock(m_mutex);
    probe = std::move(m_probeThread);
  }
  if (probe.joinable()) {
    probe.request_stop();
    probe.join();
  }
  std::unique_ptr<PageCrawl> crawl;
  {
    std::lock_guard lock(m_mutex);
    crawl = std::move(m_crawl);
  }
  crawl.reset();  // stops and joins its threads
}

AddOutcome AddressProbe::AddToList(const Text& address, const Text& addressMode) {
  if (trimText(address).empty()) return AddOutcome::Ignored;
  const bool single = addressMode == singleItemModeWord();
  const bool crawling = addressMode == shopModeWord() || addressMode == categoryModeWord();
  if (!single && !crawling) return AddOutcome::Ignored;

  std::jthread finishedProbe;
  bool refused = false;
  {
    std::lock_guard lock(m_mutex);
    if (m_probeRunning) return AddOutcome::ProbeBusy;
    // A running crawl keeps reading its own shop; a new one would mix pages of two crawls.
    refused = crawling && m_crawlActive;
  }
  if (refused) {
    log(texts().crawlBusy);
    return AddOutcome::CrawlBusy;
  }
  {
    std::lock_guard lock(m_mutex);
    if (m_probeRunning) return AddOutcome::ProbeBusy;
    m_state.categoryId.clear();
    m_state.categoryKind = kNoCategory;
    m_probeRunning = true;
    finishedProbe = std::move(m_probeThread);
    m_probeThread = std::jthread(
        [this](std::stop_token stop, Text typed, Text mode) { runProbe(stop, std::move(typed), std::move(mode)); },
        address, addressMode);
  }
  // The previous probe has already reported; joining it only waits for its thread to return.
  if (finishedProbe.joinable()) finishedProbe.join();
  return AddOutcome::ProbeStarted;
}

bool AddressProbe::probeRunning() const {
  std::lock_guard lock(m_mutex);
  return m_probeRunning;
}

bool AddressProbe::crawlRunning() const {
  std::lock_guard lock(m_mutex);
  return m_crawlActive;
}

bool AddressProbe::waitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_idle.wait_for(lock, timeout, [this] { return !m_probeRunning && !m_crawlActive; });
}

CrawlState AddressProbe::crawlState() const {
  std::lock_guard lock(m_mutex);
  CrawlState state = m_state;
  if (m_crawl) state.pagesClaimed = m_crawl->pagesClaimed();
  return state;
}

void AddressProbe::log(const Text& message) const {
  m_services.host.appendLogLine(operationLogLine(m_services.clock.localNow(), message));
}

void AddressProbe::runProbe(std::stop_token stop, Text address, Text addressMode) {
  ProbeResult result = ProbeResult::NothingFound;
  if (addressMode == singleItemModeWord()) {
    result = probeSingleItem(stop, address);
  } else if (addressMode == shopModeWord()) {
    result = probeShop(stop, address);
  } else {
    result = probeCategory(stop, address);
  }
  m_services.host.probeFinished(result);
  {
    std::lock_guard lock(m_mutex);
    m_probeRunning = false;
  }
  m_idle.notify_all();
}

ProbeResult AddressProbe::probeSingleItem(std::stop_token stop, const Text& address) {
  const Text page = fetchPageText(m_services.http, address, stop);
  if (stop.stop_requested()) return ProbeResult::NothingFound;
  const Text itemId = TextBetween(page, "itemId:\"", "\",");
  const Text title = TextBetween(page, "<title>", "</title>");
  if (trimText(itemId).empty() || trimText(title).empty()) {
    log(texts().itemNotFound);
    return ProbeResult::NothingFound;
  }
  // The address goes in as typed: that is the page the id was read from.
  m_services.list.append({.title = title, .price = {}, .itemUrl = address, .itemId = itemId});
  return ProbeResult::RowAdded;
}

ProbeResult AddressProbe::probeShop(std::stop_token stop, const Text& address) {
  const Text shopHost = hostOf(address);
  {
    std::lock_guard lock(m_mutex);
    m_state.shopHost = shopHost;
  }
  if (shopHost.empty() || shopHost == m_services.itemHost || shopHost == m_services.mallHost) {
    log(texts().shopNotFound);
    return ProbeResult::NothingFound;
  }
  const Text page = fetchPageText(m_services.http, "http://" + shopHost + "/search.htm?search=y", stop);
  // Shutting down abandons the fetch; its empty page is no answer to report.
  if (stop.stop_requested()) return ProbeResult::NothingFound;
  if (page.empty()) log(texts().shopNotFound);
  return countPagesAndCrawl(page, CrawlMode::Shop);
}

ProbeResult AddressProbe::probeCategory(std::stop_token stop, const Text& address) {
  int kind = kNoCategory;
  Text categoryId;
  // Each form found overrides the one before; the test looks for the bare form, the
  // extraction needs its "&" bounds.
  if (containsText(address, "scid=")) {
    kind = kScidCategory;
    categoryId = trimText(TextBetween(address, "&scid=", "&"));
  }
  if (containsText(address, "catId=")) {
    kind = kCatIdCategory;
    categoryId = trimText(TextBetween(address, "&catId=", "&"));
  }
  if (containsText(address, "category-")) {
    kind = kCatIdCategory;
    categoryId = trimText(TextBetween(address, "category-", "."));
  }
  {
    std::lock_guard lock(m_mutex);
    m_state.categoryKind = kind;
    m_state.categoryId = categoryId;
  }
  if (categoryId.empty()) {
    log(texts().categoryNotFound);
    return ProbeResult::NothingFound;
  }
  const Text page = fetchPageText(m_services.http, address, stop);
  if (stop.stop_requested()) return ProbeResult::NothingFound;
  if (page.empty()) log(texts().categoryPageEmpty);
  {
    std::lock_guard lock(m_mutex);
    m_state.shopHost = hostOf(address);
  }
  return countPagesAndCrawl(page, CrawlMode::Category);
}

ProbeResult AddressProbe::countPagesAndCrawl(const Text& pageText, CrawlMode mode) {
  const ProbeTexts& words = texts();
  // The item count is only reported, never used.
  log(words.itemCount + trimText(TextBetween(pageText, words.itemCountLeft, words.itemCountRight)) +
      words.itemCountEnd);
  const Text pageInfo = TextBetween(pageText, "<span class=\"page-info\">", "</span>");
  const Text pageCountText = TextAfterLast(pageInfo, "/");
  const double pageCount = pageCountOf(pageInfo);
  if (std::fabs(pageCount) <= 0.0000001) {
    log(words.noPages);
    return ProbeResult::NothingFound;
  }
  log(words.pageRange + pageCountText + words.pageRangeMiddle + pageCountText + words.pageRangeEnd);
  const double clamped = std::fmax(static_cast<double>(INT_MIN), std::fmin(pageCount, static_cast<double>(INT_MAX)));
  CrawlParameters parameters;
  {
    std::lock_guard lock(m_mutex);
    m_state.pageTotal = static_cast<int>(clamped);
    m_state.pagesClaimed = 0;
    parameters = {.mode = mode,
                  .shopHost = m_state.shopHost,
                  .categoryId = m_state.categoryId,
                  .categoryKind = m_state.categoryKind,
                  .pageTotal = m_state.pageTotal};
  }
  startCrawl(std::move(parameters));
  return ProbeResult::CrawlStarted;
}

void AddressProbe::startCrawl(CrawlParameters parameters) {
  auto crawl = std::make_unique<PageCrawl>(
      std::move(parameters),
      CrawlServices{.list = m_services.list,
                    .http = m_services.http,
                    .host = m_services.host,
                    .clock = m_services.clock,
                    .itemHost = m_services.itemHost},
      [this] { crawlEnded(); });
  std::unique_ptr<PageCrawl> previous;
  {
    std::lock_guard lock(m_mutex);
    previous = std::move(m_crawl);
    m_crawl = std::move(crawl);
    m_crawlActive = true;
    m_crawl->start();
  }
  // The previous crawl has ended (a new one is refused while it runs); this only joins its threads.
  previous.reset();
}

void AddressProbe::crawlEnded() {
  {
    std::lock_guard lock(m_mutex);
    m_crawlActive = false;
  }
  m_idle.notify_all();
}

}  // namespace mirabex
