#include "itemlist/item_list_file.h"

#include "toolkit/file_system.h"

namespace mirabex {

namespace {

constexpr std::string_view kFieldSeparator = "||";
constexpr std::string_view kFullWidthSpace = "\xA1\xA1";

// Leading ASCII and full-width spaces only; the scan starts at the text's start, so it steps
// over whole characters.
std::size_t leadingSpaceLength(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ') {
      ++pos;
    } else if (text.substr(pos, kFullWidthSpace.size()) == kFullWidthSpace) {
      pos += kFullWidthSpace.size();
    } else {
      break;
    }
  }
  return pos;
}

}  // namespace

Text itemListFileText(const std::vector<ItemRow>& rows) {
  Text text;
  for (const ItemRow& row : rows) {
    text += row.title;
    text += kFieldSeparator;
    text += row.itemId;
    text += kFieldSeparator;
    text += row.price;
    text += kFieldSeparator;
    text += row.itemUrl;
    text += "\r\n";
  }
  return text.substr(leadingSpaceLength(text));
}

std::vector<ItemRow> parseItemListFileText(std::string_view text) {
  std::vector<ItemRow> rows;
  // A line feed is never the second byte of a GBK character, so lines can be cut at every one.
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    std::vector<Text> fields = splitText(line, kFieldSeparator);
    if (fields.size() != 4) {
      continue;
    }
    rows.push_back(ItemRow{.title = std::move(fields[0]),
                           .price = std::move(fields[2]),
                           .itemUrl = std::move(fields[3]),
                           .itemId = std::move(fields[1])});
  }
  return rows;
}

int importItemListFile(const Text& path, ItemList& list) {
  Bytes content;
  if (!readWholeFile(path, content)) {
    return -1;
  }
  std::vector<ItemRow> rows = parseItemListFileText(content);
  const int taken = static_cast<int>(rows.size());
  list.clear();
  list.appendRows(std::move(rows));
  return taken;
}

ItemListExportOutcome exportItemListFile(const Text& path, const ItemList& list) {
  const std::vector<ItemRow> rows = list.rows();
  if (rows.empty()) {
    return ItemListExportOutcome::EmptyList;
  }
  return writeWholeFile(path, itemListFileText(rows)) ? ItemListExportOutcome::Written
                                                      : ItemListExportOutcome::WriteFailed;
}

}  // namespace mirabex
