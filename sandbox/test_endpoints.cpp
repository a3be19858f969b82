#include "sandbox/test_endpoints.h"

#include <cstdio>
#include <cstdlib>

#include "sandbox/sandbox_text.h"

namespace mirabex::sandbox {
namespace {

Reply plain(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.contentType = "text/plain";
  reply.body = std::move(body);
  return reply;
}

}  // namespace

Reply testEndpointReply(const Incoming& request) {
  const std::string& path = request.path;
  const auto query = parseQuery(request.query);
  if (path == "/test/echo") return plain(200, "ok");
  if (startsWith(path, "/test/status/")) {
    std::string digits = path.substr(13);
    int status = std::atoi(digits.c_str());
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || status < 100 ||
        status > 599) {
      return plain(400, "bad status");
    }
    return plain(status, "status " + digits);
  }
  if (path == "/test/set-cookie") {
    Reply reply = plain(200, "cookies set");
    reply.headers = {{"Set-Cookie", "a=1; path=/"},
                     {"Set-Cookie", "gone=; expires=Thu, 01 Jan 1970 00:00:00 GMT; path=/"}};
    return reply;
  }
  if (path == "/test/big-headers") {
    Reply reply = plain(200, "big headers");
    // Header names sort before "Set-Cookie" in the HTTP library's header map, so the cookie comes last,
    // past the first 2,048 bytes of the header block.
    for (int i = 0; i < 24; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "Filler-%02d", i);
      reply.headers.emplace_back(name, std::string(100, static_cast<char>('a' + i % 26)));
    }
    reply.headers.emplace_back("Set-Cookie", "big=2; path=/");
    return reply;
  }
  if (path == "/test/cookie-echo") return plain(200, request.header("Cookie"));
  if (path == "/test/post-echo") return plain(200, request.body);
  if (path == "/test/redirect") {
    std::string to = queryValue(query, "to");
    if (to.empty()) to = "/test/echo";
    Reply reply = plain(302, "moved");
    reply.headers = {{"Location", to}};
    return reply;
  }
  if (path == "/test/bytes") {
    long n = std::atol(queryValue(query, "n").c_str());
    if (n < 0 || n > 64L * 1024 * 1024) return plain(400, "bad n");
    std::string body(static_cast<size_t>(n), '\0');
    // Every byte value, zero included, so that zero-byte handling shows.
    for (long i = 0; i < n; ++i) body[static_cast<size_t>(i)] = static_cast<char>(i % 256);
    Reply reply = plain(200, std::move(body));
    reply.contentType = "application/octet-stream";
    return reply;
  }
  return plain(404, "no such test endpoint");
}

}  // namespace mirabex::sandbox
