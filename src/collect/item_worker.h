#pragma once

#include <memory>

#include "toolkit/pattern_matcher.h"
#include "toolkit/xml_document.h"

namespace mirabex {

class CollectionRun;
struct ItemRecord;

// One of a run's five worker threads: claims rows one at a time and runs each
// through the request, the record, the pictures and the CSV row. Its document and
// matchers are its own and reused from row to row.
class ItemWorker {
 public:
  ItemWorker(std::shared_ptr<CollectionRun> run, int workerNumber);
  ItemWorker(const ItemWorker&) = delete;
  ItemWorker& operator=(const ItemWorker&) = delete;

  // The thread's body; returns when the rows run out, the keys run out or the run stops.
  void run();

 private:
  enum class RowOutcome { Done, KeysExhausted, Stopped };
  RowOutcome processRow(int row, int keyIndex);

  std::shared_ptr<CollectionRun> m_run;
  const int m_workerNumber;
  int m_keyIndex = 1;
  int m_lastClaimedRow = 0;
  XmlDocument m_document;
  PatternMatcher m_pageMatcher;     // the description passes
  PatternMatcher m_chineseMatcher;  // characters to escape in picture addresses
};

}  // namespace mirabex
