#pragma once

#include <string_view>

#include "collect/item_record.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// Taobao Assistant import layouts: 4 (one header line, 46 columns) and 5 (three header
// lines, 44 columns). Any layout number other than 4 means 5.
inline constexpr int kCsvLayout4 = 4;
inline constexpr int kCsvLayout5 = 5;

// The header lines of the layout, each ending in CR LF (GBK).
Text csvHeader(int layout);

// One data row ending in CR LF, with real double quotes (the file's final bytes).
// Empty when the title is empty: such an item gives no row.
// Values are written as the import tool expects; only where a value would break the
// row for a CSV reader (an unpaired quote, or a comma, quote or line break in a bare
// column) is it escaped, so every row reads as exactly 46 or 44 fields.
// `mallHost` is the mall item-page host of the 4.x link column (may carry a port).
Text csvRow(const ItemRecord& record, int layout, std::string_view mallHost);

// The number of fields an RFC 4180 row of the layout has.
int csvFieldCount(int layout);

}  // namespace mirabex
