#pragma once

#include "toolkit/gbk_text.h"

namespace mirabex {

// The data rows of one run, in the order the workers appended them, kept in memory
// until the run ends and written in one piece. Not synchronised: the run appends
// under the same lock that counts its successes, so row and count never disagree.
class CsvBody {
 public:
  // `row` is one whole row from csvRow(); an empty row is ignored and gives false.
  bool appendRow(const Text& row);
  int rowCount() const { return m_rowCount; }
  bool empty() const { return m_rowCount == 0; }
  const Text& text() const { return m_text; }
  void clear();

 private:
  Text m_text;
  int m_rowCount = 0;
};

}  // namespace mirabex
