#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/clock.h"
#include "toolkit/gbk_text.h"

namespace mirabex::cli {

// What a command may use of the process that runs it; injectable so that tests run
// commands with streams and folders of their own.
struct CommandContext {
  std::ostream& out;                               // results (totals, paths), UTF-8
  std::ostream& err;                               // log lines, progress and messages, UTF-8
  bool errIsTerminal = false;                      // draw a progress bar on `err`
  Text runDirectory;                               // GBK, no trailing separator: the folder of the program
  const std::atomic<bool>* interrupted = nullptr;  // set by Ctrl+C
  const Clock* clock = &systemClock();

  bool interruptRequested() const { return interrupted != nullptr && interrupted->load(); }
};

// One sub-command of mirabex-cli ("collect", ...).
class Command {
 public:
  virtual ~Command() = default;
  virtual std::string_view name() const = 0;
  // One line for the command list.
  virtual std::string_view summary() const = 0;
  virtual void printHelp(std::ostream& out) const = 0;
  // `arguments` follow the command name, UTF-8 as the terminal gave them. Returns the exit status.
  virtual int run(const std::vector<std::string>& arguments, CommandContext& context) = 0;
};

}  // namespace mirabex::cli
