#pragma once

#include <functional>

#include "settings/options.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

class XmlDocument;

// One item's fields as the Taobao Assistant import wants them; all GBK text.
// Field names follow the gateway's keys.
struct ItemRecord {
  Text num_iid;
  Text title;
  Text cid;
  Text seller_cids;
  Text location_state;
  Text location_city;
  Text price;
  Text num;
  Text valid_thru;
  Text freight_payer;
  Text ems_fee;
  Text express_fee;
  Text post_fee;
  Text list_time;
  Text props;
  Text modified;
  Text approve_status;
  Text has_warranty;
  Text skuProps;
  Text input_pids;
  Text input_str;
  Text outer_id;
  Text property_alias;
  Text desc;
  Text picture;  // filled by the pictures step
};

// Where the item stands in the run, for the log lines.
struct ItemProgress {
  int workerNumber = 0;
  int row = 0;
  int totalRows = 0;
};

// Receives one log message (without the time; the caller makes the line).
using ItemLogMessage = std::function<void(const Text& message)>;

// Fills every field but `desc` and `picture` from a gateway response (an empty or
// error document gives the transformed empty values). `settings` is the snapshot of
// the live settings page taken for this row. Logs the start and success lines.
void extractBasicFields(const XmlDocument& response, const Text& itemId, const ItemProgress& progress,
                        const Options& settings, ItemRecord& record, const ItemLogMessage& log);

// Fills `desc`, cleaned and with the replacement pairs applied; logs its two lines.
void extractDescription(const XmlDocument& response, const ItemProgress& progress, const Options& settings,
                        ItemRecord& record, const ItemLogMessage& log);

// The sales-property combination text, visited last to first so the result lists
// them in document order, ";" at the end. Prices scaled as the item price when
// "价格调整" is ticked; quantities replaced by the stock figure when "库存统一为" is.
Text buildSkuProps(const XmlDocument& response, const Options& settings);

}  // namespace mirabex
