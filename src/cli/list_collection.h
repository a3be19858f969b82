#pragma once

#include <string_view>

#include "cli/command.h"
#include "cli/command_line.h"

namespace mirabex {
class ItemList;
}

namespace mirabex::cli {

class CliEngine;

// Runs one collection over `list` into the --save path (or the default one) with the progress on the
// terminal, then prints the totals and where the CSV and the pictures went. Returns the exit code.
int collectListIntoCsv(std::string_view commandName, const CommandLine& line, CommandContext& context,
                       CliEngine& engine, ItemList& list);

}  // namespace mirabex::cli
