#include "cli/terminal_crawl_host.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "toolkit/gbk_codec.h"

namespace mirabex::cli {

TerminalCrawlHost::TerminalCrawlHost(std::ostream& err, bool progressBar) : m_err(err), m_progressBar(progressBar) {}

void TerminalCrawlHost::appendLogLine(const Text& line) {
  std::string text = gbkToUtf8(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::lock_guard lock(m_mutex);
  clearBarLocked();
  m_err << text << '\n';
  drawBarLocked();
  m_err.flush();
}

void TerminalCrawlHost::pageFetched(int, int) {}

void TerminalCrawlHost::rowAppended(int rowCount) {
  std::lock_guard lock(m_mutex);
  m_rowCount = rowCount;
}

void TerminalCrawlHost::pageRead(const CrawlProgress& progress) {
  std::lock_guard lock(m_mutex);
  // Pages finish out of order; the bar only moves forward.
  m_pagesRead = std::max(m_pagesRead, progress.pagesRead);
  m_pageTotal = progress.pageTotal;
  m_rowCount = progress.rowCount;
  drawBarLocked();
  m_err.flush();
}

void TerminalCrawlHost::crawlFinished() {}

void TerminalCrawlHost::probeFinished(ProbeResult result) {
  std::lock_guard lock(m_mutex);
  m_probeResult = result;
}

void TerminalCrawlHost::finishOutput() {
  std::lock_guard lock(m_mutex);
  clearBarLocked();
  m_err.flush();
}

std::optional<ProbeResult> TerminalCrawlHost::probeResult() const {
  std::lock_guard lock(m_mutex);
  return m_probeResult;
}

void TerminalCrawlHost::drawBarLocked() {
  if (!m_progressBar || m_pageTotal <= 0) return;
  constexpr int kWidth = 30;
  const int filled = std::min(kWidth, m_pagesRead * kWidth / m_pageTotal);
  char figures[96];
  std::snprintf(figures, sizeof figures, "] 页 %d/%d  宝贝 %d", m_pagesRead, m_pageTotal, m_rowCount);
  m_err << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
        << std::string(static_cast<std::size_t>(kWidth - filled), '-') << figures;
  m_barShown = true;
}

void TerminalCrawlHost::clearBarLocked() {
  if (!m_barShown) return;
  m_err << "\r\033[K";
  m_barShown = false;
}

}  // namespace mirabex::cli
