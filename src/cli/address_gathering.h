#pragma once

#include "cli/command_line.h"

#include <optional>
#include <string>

#include "cli/cli_engine.h"
#include "cli/command.h"
#include "itemlist/crawl_host.h"
#include "itemlist/item_list.h"
#include "toolkit/gbk_text.h"

namespace mirabex::cli {

// The GBK mode word for a --mode value: 单品, 列表, 店铺, or item, category, shop (UTF-8, the
// English words without letter case); empty for anything else.
Text addressModeWord(const std::string& utf8Mode);

struct GatherOutcome {
  bool interrupted = false;           // Ctrl+C came before the crawl ended
  std::optional<ProbeResult> result;  // how the probe ended; none when it never ran
  int rowsAdded = 0;
};

// "添加到列表" from the terminal: probes `address` in the given mode, waits for the crawl to end
// and leaves the rows found appended to `list`. Log lines and the page bar go to context.err.
GatherOutcome gatherFromAddress(const Text& address, const Text& modeWord, ItemList& list, const CliEngine& engine,
                                CommandContext& context);

// The usage text of --mode, shared by the commands that take an address.
inline constexpr const char* kModeHelp =
    "  --mode MODE    单品 (item): one item page; 列表 (category): every page of a shop category;\n"
    "                 店铺 (shop): every page of a whole shop\n";

// What is wrong with the --mode and ADDRESS arguments of add and copy; empty when nothing is.
std::string modeAndAddressProblem(const CommandLine& line);

}  // namespace mirabex::cli
