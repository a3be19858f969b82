#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "itemlist/crawl_state.h"
#include "itemlist/page_crawler.h"

namespace mirabex {

// One crawl: its five crawler threads, numbered 1..5, and the state they share. Destroying it
// asks the threads to stop (a fetch in flight is abandoned) and joins them.
class PageCrawl {
 public:
  static constexpr int kThreadCount = 5;

  // `onFinished` runs on the last thread to end, after the host has been told.
  PageCrawl(CrawlParameters parameters, CrawlServices services, std::function<void()> onFinished);
  ~PageCrawl();
  PageCrawl(const PageCrawl&) = delete;
  PageCrawl& operator=(const PageCrawl&) = delete;

  // Starts the threads in the order of their numbers.
  void start();
  bool running() const { return m_threadsLeft.load() > 0; }
  const CrawlParameters& parameters() const { return m_shared.parameters; }
  int pagesClaimed() const { return m_shared.claims.claimed(); }
  int pagesRead() const { return m_shared.pagesRead.load(); }

 private:
  void threadEnded();

  CrawlShared m_shared;
  CrawlServices m_services;
  std::function<void()> m_onFinished;
  std::atomic<int> m_threadsLeft{0};
  std::vector<std::jthread> m_threads;
};

}  // namespace mirabex
