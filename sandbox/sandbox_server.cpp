#include "sandbox/sandbox_server.h"

#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <optional>
#include <thread>

#include "sandbox/catalogue.h"
#include "sandbox/gateway.h"
#include "sandbox/key_pool.h"
#include "sandbox/pictures.h"
#include "sandbox/reply.h"
#include "sandbox/sandbox_text.h"
#include "sandbox/shop_pages.h"
#include "sandbox/test_endpoints.h"
#include "sandbox/web_pages.h"

namespace mirabex::sandbox {
namespace {

constexpr int kWorkerThreads = 64;

int portOf(const sockaddr_storage& address) {
  if (address.ss_family != AF_INET) return -1;
  return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

// The server side of the connection a request came in on. The HTTP library does not hand out
// its sockets, so the descriptor is found by its two port numbers; it stays open while the
// request is being handled, so the answer cannot belong to another connection.
int connectionSocket(int localPort, int remotePort) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    int fd = std::atoi(entry.path().filename().c_str());
    sockaddr_storage local{}, peer{};
    socklen_t localLength = sizeof local, peerLength = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
    if (portOf(local) != localPort) continue;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) continue;
    if (portOf(peer) == remotePort) return fd;
  }
  return -1;
}

// Ends the connection so that the client gets no answer at all: the library's own write of the
// response then fails, and its close sends a reset.
void abortConnection(int fd) {
  if (fd < 0) return;
  linger option{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  shutdown(fd, SHUT_RDWR);
}

bool peerHasGone(int fd) {
  if (fd < 0) return false;
  pollfd entry{fd, static_cast<short>(POLLIN | POLLRDHUP), 0};
  if (poll(&entry, 1, 0) <= 0) return false;
  if (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) return true;
  char byte;
  return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

std::string hostWithoutPort(const std::string& hostHeader) {
  std::string host = hostHeader;
  if (!host.empty() && host.front() == '[') {
    size_t close = host.find(']');
    host = host.substr(0, close == std::string::npos ? host.size() : close + 1);
  } else {
    size_t colon = host.find(':');
    if (colon != std::string::npos) host.resize(colon);
  }
  return toLowerAscii(host);
}

std::string pictureContentType(PictureKind kind) {
  switch (kind) {
    case PictureKind::Jpeg:
      return "image/jpeg";
    case PictureKind::Png:
      return "image/png";
    case PictureKind::Gif:
      return "image/gif";
    case PictureKind::Bmp:
      return "image/bmp";
    default:
      return "application/octet-stream";
  }
}

Reply pictureReply(const Incoming& request) {
  PictureKind kind = Catalogue::pictureKindOf(request.path);
  Reply reply;
  if (kind == PictureKind::Missing) {
    reply.status = 404;
    reply.contentType = "text/html";
    reply.body = missingPictureBody();
    return reply;
  }
  reply.contentType = pictureContentType(kind);
  reply.body = pictureBytes(kind, request.host + request.path);
  return reply;
}

bool isItemPageHost(const std::string& host) {
  return host == Catalogue::kItemHost || host == Catalogue::kMallHost;
}

}  // namespace

std::string RecordedRequest::header(const std::string& name) const {
  std::string wanted = toLowerAscii(name);
  for (const auto& [key, value] : headers) {
    if (toLowerAscii(key) == wanted) return value;
  }
  return {};
}

std::string Incoming::header(const std::string& name) const {
  std::string wanted = toLowerAscii(name);
  for (const auto& [key, value] : headers) {
    if (toLowerAscii(key) == wanted) return value;
  }
  return {};
}

struct SandboxServer::Impl {
  explicit Impl(SandboxSettings s) : settings(s), catalogue(s.seed), checkTimestamp(s.checkTimestampWindow) {}

  SandboxSettings settings;
  Catalogue catalogue;

  std::unique_ptr<httplib::Server> server;
  std::thread listener;
  int port = 0;

  mutable std::mutex mutex;  // guards everything below
  std::condition_variable wake;
  bool stopping = false;
  std::map<std::string, Fault> faults;
  std::map<std::string, int> latencies;
  std::optional<std::vector<int>> validPositions;
  std::vector<int> limitedPositions;
  bool checkTimestamp;
  std::vector<RecordedRequest> records;
  std::uint64_t gatewayCalls = 0;

  std::string classify(const std::string& host, const std::string& path, const Incoming& incoming) const {
    if (startsWith(path, "/test/")) return "test";
    if (path == "/qelt_api//app.xml" || path == "/qelt_api/app.xml") return "keypool";
    if (path == "/router/rest") return "gateway";
    if (path == "/news.html" || path == "/qelthelp.html") return "web";
    if (isItemPageHost(host)) return "item";
    if (Catalogue::isPictureHost(host)) return "picture";
    if (catalogue.shopByHost(host) != nullptr) return isCategoryRequest(incoming) ? "category" : "shop";
    return "web";
  }

  template <typename T>
  T lookup(const std::map<std::string, T>& table, const std::string& kind, T fallback) const {
    auto it = table.find(kind);
    if (it != table.end()) return it->second;
    it = table.find("*");
    return it != table.end() ? it->second : fallback;
  }

  // Waits up to `duration`, or until the server stops; true when it stopped.
  bool waitOrStop(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex);
    return wake.wait_for(lock, duration, [this] { return stopping; });
  }

  Reply answer(const std::string& kind, const Incoming& incoming) {
    if (kind == "test") return testEndpointReply(incoming);
    if (kind == "keypool") return keyPoolReply(catalogue);
    if (kind == "gateway") {
      GatewayPolicy policy;
      std::uint64_t number;
      {
        std::lock_guard lock(mutex);
        policy.validPositions = validPositions;
        policy.limitedPositions = limitedPositions;
        policy.checkTimestampWindow = checkTimestamp;
        number = gatewayCalls++;
      }
      policy.nowUtcSeconds =
          std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
              .count();
      return gatewayReply(catalogue, policy, incoming, number);
    }
    if (kind == "item") {
      if (incoming.path == "/item.htm") return itemPageReply(catalogue, incoming);
      return notFoundReply();
    }
    if (kind == "picture") return pictureReply(incoming);
    if (kind == "shop" || kind == "category")
      return shopPageReply(catalogue, *catalogue.shopByHost(incoming.host), incoming);
    if (incoming.path == "/news.html") return newsPageReply();
    if (incoming.path == "/qelthelp.html") return helpPageReply();
    return notFoundReply();
  }

  void handle(const httplib::Request& req, httplib::Response& res) {
    Incoming incoming;
    incoming.method = req.method;
    incoming.host = hostWithoutPort(req.get_header_value("Host"));
    size_t question = req.target.find('?');
    std::string rawPath = req.target.substr(0, question);
    incoming.path = percentDecode(rawPath, false);
    incoming.query = question == std::string::npos ? std::string() : req.target.substr(question + 1);
    incoming.body = req.body;
    for (const auto& [name, value] : req.headers) {
      // The library files the peer's and its own address among the headers; they were never sent.
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") continue;
      incoming.headers.emplace_back(name, value);
    }
    const std::string kind = classify(incoming.host, incoming.path, incoming);

    Fault fault;
    int latency;
    {
      std::lock_guard lock(mutex);
      records.push_back({kind, req.method, incoming.host, req.target, req.version, incoming.headers, req.body});
      fault = lookup(faults, kind, Fault::None);
      latency = lookup(latencies, kind, 0);
    }
    if (latency > 0 && waitOrStop(std::chrono::milliseconds(latency))) {
      abortConnection(connectionSocket(req.local_port, req.remote_port));
      return;
    }
    if (fault == Fault::Hang) {
      int fd = connectionSocket(req.local_port, req.remote_port);
      // Hold the request until the server stops or the client gives up, so hung requests do not
      // pile up on the worker threads.
      while (!waitOrStop(std::chrono::milliseconds(50)) && !peerHasGone(fd)) {
      }
      abortConnection(fd);
      return;
    }
    if (fault == Fault::Reset) {
      abortConnection(connectionSocket(req.local_port, req.remote_port));
      return;
    }
    Reply reply;
    if (fault == Fault::Status500) {
      reply.status = 500;
      reply.contentType = "text/html";
      reply.body = "<html><body><h1>500 Internal Server Error</h1></body></html>";
    } else if (fault == Fault::NotXml && (kind == "gateway" || kind == "keypool")) {
      reply.contentType = "text/html";
      reply.body = "<html><body>Service temporarily unavailable, please try again later.";
    } else {
      reply = answer(kind, incoming);
    }

    res.status = reply.status;
    for (const auto& [name, value] : reply.headers) res.set_header(name, value);
    if (fault == Fault::Truncated) {
      auto body = std::make_shared<std::string>(reply.body.size() < 2 ? std::string(64, ' ') : reply.body);
      // Half the announced body, then the connection closes.
      res.set_content_provider(body->size(), reply.contentType,
                               [body](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset == 0) sink.write(body->data(), body->size() / 2);
                                 return false;
                               });
      return;
    }
    res.set_content(reply.body, reply.contentType);
  }
};

SandboxServer::SandboxServer(SandboxSettings settings) : m_impl(std::make_unique<Impl>(settings)) {}

SandboxServer::~SandboxServer() { stop(); }

bool SandboxServer::start(int port) {
  if (m_impl->server) return false;
  {
    std::lock_guard lock(m_impl->mutex);
    m_impl->stopping = false;
  }
  auto server = std::make_unique<httplib::Server>();
  server->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  server->set_keep_alive_max_count(1000);
  server->set_payload_max_length(64 * 1024 * 1024);
  // The library's default also sets SO_REUSEPORT, which would let a second sandbox share a taken port.
  auto listening = std::make_shared<int>(-1);
  server->set_socket_options([listening](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    *listening = sock;
  });
  Impl* impl = m_impl.get();
  auto handler = [impl](const httplib::Request& req, httplib::Response& res) { impl->handle(req, res); };
  server->Get(".*", handler);
  server->Post(".*", handler);
  server->Put(".*", handler);
  server->Delete(".*", handler);
  server->Options(".*", handler);
  server->Patch(".*", handler);

  int bound =
      port == 0 ? server->bind_to_any_port("127.0.0.1") : (server->bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) return false;
  // The library listens with a backlog of 5; a burst of connections (five crawlers, five workers, their
  // picture downloads) would see dropped connection attempts retried a second later.
  if (*listening >= 0) listen(*listening, 512);
  m_impl->port = bound;
  httplib::Server* raw = server.get();
  m_impl->server = std::move(server);
  m_impl->listener = std::thread([raw] { raw->listen_after_bind(); });
  // stop() is only heard once the listener runs.
  for (int i = 0; i < 2000 && !raw->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return raw->is_running();
}

void SandboxServer::stop() {
  if (!m_impl->server) return;
  {
    std::lock_guard lock(m_impl->mutex);
    m_impl->stopping = true;
  }
  m_impl->wake.notify_all();
  m_impl->server->stop();
  // Idle keep-alive connections would hold their workers for the library's keep-alive time;
  // shutting them down lets the pool finish at once.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    int fd = std::atoi(entry.path().filename().c_str());
    sockaddr_storage local{}, peer{};
    socklen_t localLength = sizeof local, peerLength = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
    if (portOf(local) != m_impl->port) continue;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) continue;
    shutdown(fd, SHUT_RDWR);
  }
  if (m_impl->listener.joinable()) m_impl->listener.join();
  m_impl->server.reset();
}

int SandboxServer::port() const { return m_impl->port; }

std::string SandboxServer::address() const { return "127.0.0.1:" + std::to_string(m_impl->port); }

std::string SandboxServer::baseUrl() const { return "http://" + address(); }

const Catalogue& SandboxServer::catalogue() const { return m_impl->catalogue; }

void SandboxServer::setFault(const std::string& kind, Fault fault) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->faults[kind] = fault;
}

void SandboxServer::setLatencyMs(const std::string& kind, int milliseconds) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->latencies[kind] = milliseconds;
}

void SandboxServer::clearFaults() {
  std::lock_guard lock(m_impl->mutex);
  m_impl->faults.clear();
  m_impl->latencies.clear();
}

void SandboxServer::setValidKeyPairs(std::vector<int> positions) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->validPositions = std::move(positions);
}

void SandboxServer::setLimitedKeyPairs(std::vector<int> positions) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->limitedPositions = std::move(positions);
}

void SandboxServer::setCheckTimestampWindow(bool on) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->checkTimestamp = on;
}

std::vector<RecordedRequest> SandboxServer::requests() const {
  std::lock_guard lock(m_impl->mutex);
  return m_impl->records;
}

int SandboxServer::servedCount(const std::string& kind, const std::string& targetPrefix) const {
  std::lock_guard lock(m_impl->mutex);
  int count = 0;
  for (const RecordedRequest& r : m_impl->records) {
    if (r.kind == kind && startsWith(r.target, targetPrefix)) ++count;
  }
  return count;
}

int SandboxServer::servedCountOnHost(const std::string& kind, const std::string& host,
                                     const std::string& targetPrefix) const {
  std::lock_guard lock(m_impl->mutex);
  int count = 0;
  for (const RecordedRequest& r : m_impl->records) {
    if (r.kind == kind && r.host == host && startsWith(r.target, targetPrefix)) ++count;
  }
  return count;
}

void SandboxServer::clearRequests() {
  std::lock_guard lock(m_impl->mutex);
  m_impl->records.clear();
}

}  // namespace mirabex::sandbox
