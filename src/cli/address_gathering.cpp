#include "cli/address_gathering.h"

#include <chrono>

#include "cli/terminal_crawl_host.h"
#include "itemlist/address_probe.h"
#include "itemlist/crawl_state.h"
#include "toolkit/gbk_text.h"

namespace mirabex::cli {
namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

}  // namespace

Text addressModeWord(const std::string& utf8Mode) {
  const Text lower = toLowerAscii(utf8Mode);
  if (utf8Mode == "单品" || lower == "item") return singleItemModeWord();
  if (utf8Mode == "列表" || lower == "category") return categoryModeWord();
  if (utf8Mode == "店铺" || lower == "shop") return shopModeWord();
  return {};
}

GatherOutcome gatherFromAddress(const Text& address, const Text& modeWord, ItemList& list, const CliEngine& engine,
                                CommandContext& context) {
  GatherOutcome outcome;
  const int rowsBefore = list.count();
  TerminalCrawlHost host(context.err, context.errIsTerminal);
  {
    AddressProbe probe({.list = list,
                        .http = engine.http(),
                        .host = host,
                        .clock = *context.clock,
                        .itemHost = engine.endpoints().item,
                        .mallHost = engine.endpoints().mall});
    if (probe.AddToList(address, modeWord) != AddOutcome::ProbeStarted) return outcome;
    while (!probe.waitUntilIdle(kPollInterval)) {
      if (context.interruptRequested()) {
        outcome.interrupted = true;
        break;
      }
    }
    // Leaving the block stops a crawl that is still going and joins its threads.
  }
  host.finishOutput();
  outcome.result = host.probeResult();
  outcome.rowsAdded = list.count() - rowsBefore;
  return outcome;
}

std::string modeAndAddressProblem(const CommandLine& line) {
  if (!line.has("--mode")) return "--mode MODE is required";
  if (addressModeWord(line.value("--mode")).empty()) return "unknown mode '" + line.value("--mode") + "'";
  if (line.words.size() != 1) return "exactly one ADDRESS is required";
  return {};
}

}  // namespace mirabex::cli
