#pragma once

// A bare socket exchange, for what an HTTP library would hide: bytes that a
// request line carries as they are, a body shorter than announced, a reset.

#include <string>

namespace mirabex::sandbox::testing {

struct RawExchange {
  bool connected = false;
  std::string received;  // every byte read until the server closed (or reset)
  bool reset = false;    // the read ended with ECONNRESET
};

// Sends `request` to 127.0.0.1:port and reads until the connection ends or timeoutMs passes.
RawExchange rawExchange(int port, const std::string& request, int timeoutMs = 5000);

// Connects and sends `request` without reading; the caller closes the returned descriptor (-1 on failure).
int openRequest(int port, const std::string& request);

// "GET <target> HTTP/1.1" with Host and "Connection: close".
std::string rawGet(const std::string& host, const std::string& target);

}  // namespace mirabex::sandbox::testing
