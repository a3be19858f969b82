#include "collect/csv_body.h"

namespace mirabex {

bool CsvBody::appendRow(const Text& row) {
  if (row.empty()) return false;
  m_text += row;
  ++m_rowCount;
  return true;
}

void CsvBody::clear() {
  m_text.clear();
  m_rowCount = 0;
}

}  // namespace mirabex
