#pragma once

#include "cli/command.h"

namespace mirabex::cli {

// mirabex-cli copy --mode MODE ADDRESS [--save PATH] [--options DIR]
// add and collect in one: gathers the items at ADDRESS, then copies them into a CSV with pictures.
class CopyCommand : public Command {
 public:
  std::string_view name() const override { return "copy"; }
  std::string_view summary() const override;
  void printHelp(std::ostream& out) const override;
  int run(const std::vector<std::string>& arguments, CommandContext& context) override;
};

}  // namespace mirabex::cli
