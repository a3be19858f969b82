// mirabex-sandbox [--port N] [--seed S] [--no-timestamp-check] [--latency-ms L]
// Serves the local marketplace on 127.0.0.1 until SIGINT or SIGTERM.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sandbox/sandbox_server.h"

namespace {

void usage() {
  std::fprintf(stderr, "usage: mirabex-sandbox [--port N] [--seed S] [--no-timestamp-check] [--latency-ms L]\n");
}

bool readNumber(int argc, char** argv, int& i, long& out) {
  if (i + 1 >= argc) return false;
  char* end = nullptr;
  out = std::strtol(argv[++i], &end, 10);
  return end != nullptr && *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  long port = 18080, seed = 1, latency = 0;
  bool checkTimestamp = true;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool ok = true;
    if (arg == "--port") {
      ok = readNumber(argc, argv, i, port) && port <= 65535;
    } else if (arg == "--seed") {
      ok = readNumber(argc, argv, i, seed) && seed <= 0xFFFFFFFFL;
    } else if (arg == "--latency-ms") {
      ok = readNumber(argc, argv, i, latency) && latency <= 600000;
    } else if (arg == "--no-timestamp-check") {
      checkTimestamp = false;
    } else if (arg == "--help" || arg == "-h") {
      usage();
      return 0;
    } else {
      ok = false;
    }
    if (!ok) {
      usage();
      return 2;
    }
  }

  // Block the signals before any thread starts, so that only sigwait below receives them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  mirabex::sandbox::SandboxSettings settings;
  settings.seed = static_cast<std::uint32_t>(seed);
  settings.checkTimestampWindow = checkTimestamp;
  mirabex::sandbox::SandboxServer server(settings);
  if (latency > 0) server.setLatencyMs("*", static_cast<int>(latency));
  if (!server.start(static_cast<int>(port))) {
    std::fprintf(stderr, "mirabex-sandbox: cannot listen on 127.0.0.1:%ld\n", port);
    return 1;
  }
  std::printf("listening on http://%s\n", server.address().c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  server.stop();
  return 0;
}
