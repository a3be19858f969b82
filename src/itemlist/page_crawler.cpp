#include "itemlist/page_crawler.h"

#include <algorithm>
#include <string>

#include "toolkit/gbk_codec.h"
#include "toolkit/text_helpers.h"

namespace mirabex {
namespace {

struct CrawlerTexts {
  Text readingPage = utf8ToGbk("  线程：");
  Text readingPageMiddle = utf8ToGbk("  正在读取宝贝列表 第：  ");
  Text readingPageEnd = utf8ToGbk(" 页");
  Text pageDoneMiddle = utf8ToGbk("  读取成功，成功提取了：  ");
  Text pageDoneEnd = utf8ToGbk("  个宝贝");
  Text finished = utf8ToGbk("  宝贝下载完成 【共提取了：  ");
  Text finishedEnd = utf8ToGbk("  个宝贝】");
};

const CrawlerTexts& texts() {
  static const CrawlerTexts instance;
  return instance;
}

}  // namespace

const std::array<PageTemplate, 3>& pageTemplates() {
  // The line feeds and the two spaces before "href" are part of the layouts.
  static const std::array<PageTemplate, 3> templates{{
      {utf8ToGbk("普通"),
       "<a target=\"_blank\" href=\"(.*?)\" class=\"permalink\" style=\"\">\n(.*?)\n</a>",
       "&yen;</s><strong>(.*?)</strong>\n", 2, 1, true},
      {utf8ToGbk("旺铺"), "<a class=\"item-name\" href=\".*?id=(.*?)\" target=\"_blank\">(.*?)</a>",
       "<span class=\"c-price\">(.*?)</span>", 2, 1, false},
      {utf8ToGbk("店铺街"), "<a title=\"(.*?)\"  href=\".*?id=(.*?)\" target=\"_blank\">",
       utf8ToGbk("<strong>(.*?) 元</strong>"), 1, 2, false},
  }};
  return templates;
}

Text pageTextOfBody(Bytes body) {
  std::replace(body.begin(), body.end(), '\0', ' ');
  return body;
}

Text fetchPageText(const HttpClient& http, const Text& url, std::stop_token cancel) {
  HttpRequestOptions options;
  options.cancel = std::move(cancel);
  return pageTextOfBody(http.fetch(url, options));
}

Text crawlPageUrl(const CrawlParameters& parameters, int page) {
  const Text number = std::to_string(page);
  if (parameters.mode == CrawlMode::Shop) {
    return "http://" + parameters.shopHost + "/search.htm?&pageNum=" + number;
  }
  const char* parameter = nullptr;
  if (parameters.categoryKind == kScidCategory) parameter = "scid=";
  if (parameters.categoryKind == kCatIdCategory) parameter = "catId=";
  if (parameter == nullptr) return {};
  return "http://" + parameters.shopHost + "/search.htm?&search=y&" + parameter + parameters.categoryId +
         "&viewType=grid&orderType=_hotsell&pageNum=" + number;
}

int PageExtractor::recognise(const Text& pageText) {
  const std::array<PageTemplate, 3>& templates = pageTemplates();
  int count = 0;
  for (std::size_t index = 0; index < templates.size(); ++index) {
    m_templateIndex = static_cast<int>(index);
    m_itemMatcher.compile(templates[index].itemPattern, true, true, true);
    m_priceMatcher.compile(templates[index].pricePattern, true, true, true);
    count = m_itemMatcher.execute(pageText);
    m_priceMatcher.execute(pageText);
    if (count > 0) break;
  }
  return count;
}

ItemRow PageExtractor::row(int i) const {
  const PageTemplate& used = pageTemplates()[static_cast<std::size_t>(m_templateIndex)];
  ItemRow row;
  const Text idOrLink = m_itemMatcher.subMatch(i, used.idGroup);
  row.itemId = used.idInLink ? TextBetween(idOrLink, "id=", "&") : idOrLink;
  row.title = m_itemMatcher.subMatch(i, used.titleGroup);
  // Prices pair with items by position only; past the last price the cell stays empty.
  row.price = m_priceMatcher.subMatch(i, 1);
  row.itemUrl = "http://" + m_itemHost + "/item.htm?id=" + row.itemId;
  return row;
}

std::vector<ItemRow> PageExtractor::extract(const Text& pageText) {
  const int count = recognise(pageText);
  std::vector<ItemRow> rows;
  for (int i = 1; i <= count; ++i) {
    ItemRow found = row(i);
    if (!found.itemId.empty()) rows.push_back(std::move(found));
  }
  return rows;
}

PageCrawler::PageCrawler(int threadNumber, CrawlShared& shared, CrawlServices services)
    : m_threadNumber(threadNumber),
      m_shared(shared),
      m_services(std::move(services)),
      m_extractor(m_services.itemHost) {}

void PageCrawler::log(const Text& message) const {
  m_services.host.appendLogLine(operationLogLine(m_services.clock.localNow(), message));
}

void PageCrawler::run(std::stop_token stop) {
  const CrawlerTexts& words = texts();
  const Text thread = std::to_string(m_threadNumber);
  const Text pageTotal = std::to_string(m_shared.parameters.pageTotal);
  while (!stop.stop_requested()) {
    const int page = m_shared.claims.claim();
    if (page == 0) return;
    const Text url = crawlPageUrl(m_shared.parameters, page);
    m_pageText = url.empty() ? Text{} : fetchPageText(m_services.http, url, stop);
    if (stop.stop_requested()) return;
    m_services.host.pageFetched(m_threadNumber, page);
    log(words.readingPage + thread + words.readingPageMiddle + std::to_string(page) + " /" + pageTotal +
        words.readingPageEnd);

    const int matches = m_extractor.recognise(m_pageText);
    for (int i = 1; i <= matches; ++i) {
      ItemRow row = m_extractor.row(i);
      if (row.itemId.empty()) continue;
      m_services.list.append(std::move(row));
      m_services.host.rowAppended(m_services.list.count());
    }

    // The counts are of the whole list: earlier crawls, imports and single items included.
    const int rowCount = m_services.list.count();
    log(words.readingPage + thread + words.pageDoneMiddle + std::to_string(rowCount) + words.pageDoneEnd);
    const int pagesRead = m_shared.pagesRead.fetch_add(1) + 1;
    m_services.host.pageRead({.threadNumber = m_threadNumber,
                              .page = page,
                              .pagesRead = pagesRead,
                              .pageTotal = m_shared.parameters.pageTotal,
                              .rowCount = rowCount});
    // Every thread that finishes a page after the last one was handed out says so, so the line
    // can come up to five times.
    if (m_shared.claims.allClaimed()) {
      log(words.finished + std::to_string(m_services.list.count()) + words.finishedEnd);
    }
  }
}

}  // namespace mirabex
