#include "cli/terminal_run_host.h"

#include <cstdio>
#include <string>
#include <utility>

#include "toolkit/gbk_codec.h"

namespace mirabex::cli {

TerminalRunHost::TerminalRunHost(std::ostream& err, Options settings, bool progressBar)
    : m_err(err), m_settings(std::move(settings)), m_progressBar(progressBar) {}

void TerminalRunHost::appendLogLine(const Text& line) {
  std::string text = gbkToUtf8(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::lock_guard lock(m_mutex);
  clearBarLocked();
  m_err << text << '\n';
  drawBarLocked();
  m_err.flush();
}

Options TerminalRunHost::settingsSnapshot() const { return m_settings; }

void TerminalRunHost::runStateChanged(RunState state) {
  {
    std::lock_guard lock(m_mutex);
    m_state = state;
    if (state != RunState::Idle) m_startedRunning = true;
  }
  m_changed.notify_all();
}

void TerminalRunHost::progressChanged(const RunProgress& progress) {
  std::lock_guard lock(m_mutex);
  m_progress = progress;
  drawBarLocked();
  m_err.flush();
}

void TerminalRunHost::runFinished(const RunTotals& totals) {
  std::lock_guard lock(m_mutex);
  m_totals = totals;
}

void TerminalRunHost::csvWriteFailed(const CsvWriteFailure& failure) {
  std::lock_guard lock(m_mutex);
  m_csvFailure = failure;
}

bool TerminalRunHost::waitForIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [this] { return m_startedRunning && m_state == RunState::Idle; });
}

void TerminalRunHost::refresh() {
  std::lock_guard lock(m_mutex);
  drawBarLocked();
  m_err.flush();
}

void TerminalRunHost::finishOutput() {
  std::lock_guard lock(m_mutex);
  clearBarLocked();
  m_err.flush();
}

std::optional<RunTotals> TerminalRunHost::totals() const {
  std::lock_guard lock(m_mutex);
  return m_totals;
}

std::optional<CsvWriteFailure> TerminalRunHost::csvFailure() const {
  std::lock_guard lock(m_mutex);
  return m_csvFailure;
}

void TerminalRunHost::drawBarLocked() {
  if (!m_progressBar || m_progress.totalRows == 0) return;
  constexpr int kWidth = 30;
  const int total = m_progress.totalRows;
  const int filled = total > 0 ? m_progress.doneRows * kWidth / total : 0;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
  const double rate = seconds > 0 ? m_progress.doneRows / seconds : 0.0;
  char figures[160];
  std::snprintf(figures, sizeof figures, "] %d/%d  成功 %d  失败 %d  %.1f 个/秒", m_progress.doneRows, total,
                m_progress.succeededRows, m_progress.failedRows, rate);
  m_err << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
        << std::string(static_cast<std::size_t>(kWidth - filled), '-') << figures;
  m_barShown = true;
}

void TerminalRunHost::clearBarLocked() {
  if (!m_barShown) return;
  m_err << "\r\033[K";
  m_barShown = false;
}

}  // namespace mirabex::cli
