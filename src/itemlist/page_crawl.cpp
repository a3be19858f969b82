#include "itemlist/page_crawl.h"

#include <utility>

namespace mirabex {

PageCrawl::PageCrawl(CrawlParameters parameters, CrawlServices services, std::function<void()> onFinished)
    : m_shared(std::move(parameters)), m_services(std::move(services)), m_onFinished(std::move(onFinished)) {}

PageCrawl::~PageCrawl() {
  for (std::jthread& thread : m_threads) thread.request_stop();
  m_threads.clear();  // joins
}

void PageCrawl::start() {
  m_threadsLeft.store(kThreadCount);
  m_threads.reserve(kThreadCount);
  for (int number = 1; number <= kThreadCount; ++number) {
    m_threads.emplace_back([this, number](std::stop_token stop) {
      // Each thread owns its matchers and page text.
      PageCrawler crawler(number, m_shared, m_services);
      crawler.run(stop);
      threadEnded();
    });
  }
}

void PageCrawl::threadEnded() {
  if (m_threadsLeft.fetch_sub(1) != 1) return;
  m_services.host.crawlFinished();
  if (m_onFinished) m_onFinished();
}

}  // namespace mirabex
