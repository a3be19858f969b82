#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace {

std::atomic<bool> g_interrupted{false};

// Ctrl+C stops a run cleanly instead of killing it half-way through a file.
extern "C" void onInterrupt(int) { g_interrupted.store(true); }

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  mirabex::cli::CommandContext context{.out = std::cout,
                                       .err = std::cerr,
                                       .errIsTerminal = ::isatty(STDERR_FILENO) == 1,
                                       .runDirectory = mirabex::cli::executableDirectory(),
                                       .interrupted = &g_interrupted};
  return mirabex::cli::CliApp().run(arguments, context);
}
