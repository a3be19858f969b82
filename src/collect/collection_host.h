#pragma once

#include "settings/options.h"
#include "toolkit/gbk_text.h"
#include "toolkit/operation_log.h"

namespace mirabex {

enum class RunState { Idle, Running, Paused };

// Where a run stands; sent after every finished row.
struct RunProgress {
  int totalRows = 0;
  int doneRows = 0;       // rows whose processing ended, successfully or not
  int succeededRows = 0;  // rows that gave a CSV row
  int failedRows = 0;     // doneRows - succeededRows
};

// The figures of the completion window.
struct RunTotals {
  int totalRows = 0;
  int succeededRows = 0;
  int failedRows = 0;  // totalRows - succeededRows: rows never claimed count as failed
};

struct CsvWriteFailure {
  Text path;    // GBK
  Text reason;  // GBK, for the user
};

// What a collection run needs of the window or the terminal that started it.
// Every call comes from a worker thread, carries plain values, and must return
// without waiting for the host's own thread: the GUI queues them, the CLI prints.
// The host must outlive the controller that started the run.
class CollectionHost : public OperationLogSink {
 public:
  // One whole log line (time, message, "\r\n"), GBK.
  void appendLogLine(const Text& line) override = 0;
  // A copy of the settings page as it stands now (live controls plus the applied
  // failure policy and output layout); read per row and per picture step.
  virtual Options settingsSnapshot() const = 0;
  virtual void runStateChanged(RunState state) = 0;
  virtual void progressChanged(const RunProgress& progress) = 0;
  // The run completed: open the completion window with these figures.
  virtual void runFinished(const RunTotals& totals) = 0;
  // The CSV of a completed run could not be written; the rows are kept by the
  // controller so that the host can offer another path.
  virtual void csvWriteFailed(const CsvWriteFailure& failure) = 0;
};

}  // namespace mirabex
