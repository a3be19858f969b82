#pragma once

#include <string_view>
#include <vector>

#include "itemlist/item_list.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// The item list file: GBK lines ended by CR LF, each "title||itemId||price||itemUrl".

// The text export writes: every row followed by "\r\n", then the leading ASCII and full-width
// spaces of the whole text removed.
Text itemListFileText(const std::vector<ItemRow>& rows);
// The rows of every line that splits into exactly four fields; other lines are skipped. Lines may
// end in CR LF or LF alone.
std::vector<ItemRow> parseItemListFileText(std::string_view text);

// Replaces the list's rows by the file's rows and returns how many were taken. When the file cannot
// be read the list is left alone and -1 is returned. `path` is GBK.
int importItemListFile(const Text& path, ItemList& list);

enum class ItemListExportOutcome { Written, EmptyList, WriteFailed };
// Writes the list to `path` (GBK), replacing the file; an empty list writes nothing.
ItemListExportOutcome exportItemListFile(const Text& path, const ItemList& list);

}  // namespace mirabex
