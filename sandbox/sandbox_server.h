#pragma once

// The local marketplace that the tests and the demo run against. It listens on
// 127.0.0.1 only and answers by Host header, so that real-looking addresses
// routed to it (curl's --connect-to) work. Everything it checks (signatures,
// parameters) it checks with code of its own.
//
// Contract used by the client, engine and end-to-end tests; extend it, do not
// change what is here.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace mirabex::sandbox {

// What the server saw of one request.
struct RecordedRequest {
  std::string kind;     // "keypool", "gateway", "shop", "category", "item", "picture", "web", "test"
  std::string method;   // as sent
  std::string host;     // Host header, port removed, lower case
  std::string target;   // path and query as sent
  std::string version;  // "HTTP/1.1" or "HTTP/1.0"
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::string body;
  std::string header(const std::string& name) const;  // first of that name, case ignored; empty if none
};

// Faults that can be switched on per request kind (the kinds of RecordedRequest).
enum class Fault {
  None,
  Hang,        // accept and never answer (until the server stops)
  Reset,       // close the connection without an answer
  Status500,   // answer 500 with a small body
  Truncated,   // announce a Content-Length and close half-way through the body
  NotXml,      // gateway and key pool only: a body that is not XML
};

struct SandboxSettings {
  std::uint32_t seed = 1;            // selects the deterministic catalogue
  bool checkTimestampWindow = true;  // reject gateway timestamps more than 10 minutes off GMT+8
};

class Catalogue;  // items, shops, categories, pictures: see catalogue.h

class SandboxServer {
 public:
  explicit SandboxServer(SandboxSettings settings = {});
  ~SandboxServer();  // stops the server
  SandboxServer(const SandboxServer&) = delete;
  SandboxServer& operator=(const SandboxServer&) = delete;

  // Listens on 127.0.0.1:port (0 picks a free port) on a thread of its own; false when it cannot bind.
  bool start(int port = 0);
  void stop();
  int port() const;
  // "127.0.0.1:<port>", the value for network.ini's connect_to.
  std::string address() const;

  const Catalogue& catalogue() const;

  // Fault injection and latency, per request kind; take effect for the next request.
  void setFault(const std::string& kind, Fault fault);
  void setLatencyMs(const std::string& kind, int milliseconds);  // kind "*" for every kind
  // Every fault back to None and every latency to 0.
  void clearFaults();
  // Which key-pool pairs the gateway accepts (by 1-based position in the pool document).
  void setValidKeyPairs(std::vector<int> positions);
  void setCheckTimestampWindow(bool on);
  // Pairs (1-based positions) whose calls the gateway answers with code 7 "App Call Limited".
  void setLimitedKeyPairs(std::vector<int> positions);

  // Every request served so far, in arrival order.
  std::vector<RecordedRequest> requests() const;
  // How many requests of a kind were served, optionally only those whose target starts with a prefix.
  int servedCount(const std::string& kind, const std::string& targetPrefix = {}) const;
  void clearRequests();
  // The same, counting only requests to one host (lower case, no port).
  int servedCountOnHost(const std::string& kind, const std::string& host,
                        const std::string& targetPrefix = {}) const;
  // "http://127.0.0.1:<port>".
  std::string baseUrl() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace mirabex::sandbox
