#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>

#include "collect/collection_host.h"

namespace mirabex::cli {

// The command line's side of a collection run: log lines go to the error stream in
// UTF-8, and on a terminal a progress bar (items done, successes, failures, items per
// second) stays on the last line beneath them. The settings are the loaded options;
// nothing changes them while the run goes on.
class TerminalRunHost : public CollectionHost {
 public:
  TerminalRunHost(std::ostream& err, Options settings, bool progressBar);

  void appendLogLine(const Text& line) override;
  Options settingsSnapshot() const override;
  void runStateChanged(RunState state) override;
  void progressChanged(const RunProgress& progress) override;
  void runFinished(const RunTotals& totals) override;
  void csvWriteFailed(const CsvWriteFailure& failure) override;

  // Waits until the run is back in Idle or the time is up; true when it is Idle.
  bool waitForIdle(std::chrono::milliseconds timeout);
  // Redraws the bar (the rate changes with time even when nothing else does).
  void refresh();
  // Removes the bar before the command prints its results.
  void finishOutput();

  std::optional<RunTotals> totals() const;
  std::optional<CsvWriteFailure> csvFailure() const;

 private:
  void drawBarLocked();
  void clearBarLocked();

  std::ostream& m_err;
  const Options m_settings;
  const bool m_progressBar;
  const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  RunState m_state = RunState::Idle;
  bool m_startedRunning = false;
  bool m_barShown = false;
  RunProgress m_progress;
  std::optional<RunTotals> m_totals;
  std::optional<CsvWriteFailure> m_csvFailure;
};

}  // namespace mirabex::cli
