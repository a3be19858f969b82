// A `mirabex-cli collect` run over N sandbox items with L ms of latency on every request,
// against the bound of five workers each making its item's requests one after another:
// items/s <= 5 / (requests per item x L).
//
// The sandbox runs in a child process, so that the CPU time and the peak memory measured
// here are the collection's own. Arguments: {N, L}.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/exit_codes.h"
#include "sandbox/catalogue.h"
#include "sandbox/sandbox_server.h"
#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

namespace fs = std::filesystem;

// The child's end: one command per line ("latency L", "clear", "counts"), one answer per line.
[[noreturn]] void serveSandbox(int commands, int answers) {
  sandbox::SandboxServer server;
  FILE* in = fdopen(commands, "r");
  FILE* out = fdopen(answers, "w");
  if (!server.start(0)) {
    std::fprintf(out, "0\n");
    std::fflush(out);
    _exit(1);
  }
  std::fprintf(out, "%d\n", server.port());
  std::fflush(out);
  char line[128];
  while (std::fgets(line, sizeof line, in) != nullptr) {
    int latency = 0;
    if (std::sscanf(line, "latency %d", &latency) == 1) {
      server.setLatencyMs("*", latency);
      std::fprintf(out, "ok\n");
    } else if (std::string(line) == "clear\n") {
      server.clearRequests();
      std::fprintf(out, "ok\n");
    } else {
      std::fprintf(out, "%zu %d\n", server.requests().size(), server.servedCount("keypool"));
    }
    std::fflush(out);
  }
  server.stop();
  _exit(0);
}

class SandboxProcess {
 public:
  void start() {
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe");
    m_pid = fork();
    if (m_pid == 0) {
      close(toChild[1]);
      close(fromChild[0]);
      serveSandbox(toChild[0], fromChild[1]);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_commands = fdopen(toChild[1], "w");
    m_answers = fdopen(fromChild[0], "r");
    m_port = std::stoi(answer());
    if (m_port == 0) throw std::runtime_error("the sandbox could not listen on loopback");
  }

  ~SandboxProcess() {
    if (m_commands != nullptr) std::fclose(m_commands);
    if (m_answers != nullptr) std::fclose(m_answers);
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
  }

  std::string ask(const std::string& command) {
    std::fprintf(m_commands, "%s\n", command.c_str());
    std::fflush(m_commands);
    return answer();
  }

  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

 private:
  std::string answer() {
    char line[128] = {};
    if (std::fgets(line, sizeof line, m_answers) == nullptr) throw std::runtime_error("the sandbox went away");
    return line;
  }

  pid_t m_pid = -1;
  FILE* m_commands = nullptr;
  FILE* m_answers = nullptr;
  int m_port = 0;
};

SandboxProcess& sandboxProcess() {
  static SandboxProcess process;
  return process;
}

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_CollectRun(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  const int latency = static_cast<int>(state.range(1));
  SandboxProcess& sandbox = sandboxProcess();

  const fs::path dir = fs::temp_directory_path() / ("mirabex-collect-bench-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "options");
  writeFile(dir / "options" / "network.ini",
            "[hosts]\r\nkey_pool=config.sandbox.test\r\n[route]\r\nconnect_to=" + sandbox.address() + "\r\n");
  // What a seller usually runs with: description pictures on, retry then delete, 5.x.
  writeFile(
      dir / "options" / "options.ini",
      utf8ToGbk("[DL_PIC]\r\ndownload=真\r\ntaobao_only=假\r\nfall=3\r\n[PR_INFO]\r\np_type=真\r\nn_type=假\r\n"
                "price=120\r\nprice_num=2\r\nnum=100\r\n[SAVE]\r\ntype=5\r\n"));
  std::string list;
  for (int i = 1; i <= items; ++i) {
    const std::string id = sandbox::Catalogue::generatedItemId(i);
    list += "item" + std::to_string(i) + "||" + id + "||||http://item.taobao.com/item.htm?id=" + id + "\r\n";
  }
  writeFile(dir / "items.txt", list);
  const std::vector<std::string> arguments = {"collect",
                                              "--list",
                                              (dir / "items.txt").string(),
                                              "--save",
                                              (dir / "out" / "items.csv").string(),
                                              "--options",
                                              (dir / "options").string()};
  fs::create_directories(dir / "out");

  sandbox.ask("latency " + std::to_string(latency));
  double seconds = 0;
  double cpu = 0;
  for (auto _ : state) {
    sandbox.ask("clear");
    std::ostringstream out;
    std::ostringstream err;
    cli::CommandContext context{.out = out, .err = err, .runDirectory = utf8ToGbk(dir.string())};
    const double cpuBefore = cpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    const int status = cli::CliApp().run(arguments, context);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    cpu = cpuSeconds() - cpuBefore;
    state.SetIterationTime(seconds);
    if (status != cli::kExitOk) {
      state.SkipWithError(("collect exited with " + std::to_string(status)).c_str());
      break;
    }
  }
  std::istringstream counts(sandbox.ask("counts"));
  int requests = 0;
  int keyPoolRequests = 0;
  counts >> requests >> keyPoolRequests;
  const double perItem = static_cast<double>(requests - keyPoolRequests) / items;
  const double itemsPerSecond = items / seconds;
  const double bound = 5.0 / (perItem * latency / 1000.0);
  state.counters["N"] = items;
  state.counters["L_ms"] = latency;
  state.counters["requests_per_item"] = perItem;
  state.counters["items_per_s"] = itemsPerSecond;
  state.counters["bound_items_per_s"] = bound;
  state.counters["ratio"] = itemsPerSecond / bound;
  state.counters["cpu_s_per_item"] = cpu / items;
  state.counters["peak_MB"] = peakMegabytes();
  fs::remove_all(dir);
}

BENCHMARK(BM_CollectRun)
    ->Args({1000, 20})
    ->Args({1000, 50})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace mirabex

int main(int argc, char** argv) {
  // The sandbox's process is forked before this one starts any thread.
  mirabex::sandboxProcess().start();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
