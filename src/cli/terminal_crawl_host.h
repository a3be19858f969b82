#pragma once

#include <mutex>
#include <optional>
#include <ostream>

#include "itemlist/crawl_host.h"

namespace mirabex::cli {

// The command line's side of a probe and its crawl: log lines go to the error stream in UTF-8,
// and on a terminal a bar of the pages read stays on the last line beneath them.
class TerminalCrawlHost : public CrawlHost {
 public:
  TerminalCrawlHost(std::ostream& err, bool progressBar);

  void appendLogLine(const Text& line) override;
  void pageFetched(int threadNumber, int page) override;
  void rowAppended(int rowCount) override;
  void pageRead(const CrawlProgress& progress) override;
  void crawlFinished() override;
  void probeFinished(ProbeResult result) override;

  // Removes the bar before the command prints its results.
  void finishOutput();
  std::optional<ProbeResult> probeResult() const;

 private:
  void drawBarLocked();
  void clearBarLocked();

  std::ostream& m_err;
  const bool m_progressBar;
  mutable std::mutex m_mutex;
  bool m_barShown = false;
  int m_pagesRead = 0;
  int m_pageTotal = 0;
  int m_rowCount = 0;
  std::optional<ProbeResult> m_probeResult;
};

}  // namespace mirabex::cli
