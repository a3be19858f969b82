#include "raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace mirabex::sandbox::testing {

int openRequest(int port, const std::string& request) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  size_t sent = 0;
  while (sent < request.size()) {
    ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  return fd;
}

RawExchange rawExchange(int port, const std::string& request, int timeoutMs) {
  RawExchange result;
  int fd = openRequest(port, request);
  if (fd < 0) return result;
  result.connected = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      result.received.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == ECONNRESET) result.reset = true;
    break;
  }
  close(fd);
  return result;
}

std::string rawGet(const std::string& host, const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
}

}  // namespace mirabex::sandbox::testing
