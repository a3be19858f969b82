#pragma once

// What the page builders see of a request, and what they answer. Kept free of
// the HTTP library so that each builder can be tested on its own.

#include <string>
#include <utility>
#include <vector>

namespace mirabex::sandbox {

struct Incoming {
  std::string method;
  std::string host;   // Host header without the port, lower case
  std::string path;   // decoded path, no query
  std::string query;  // raw text after the first '?', still encoded
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string header(const std::string& name) const;  // first of that name, case ignored
};

struct Reply {
  int status = 200;
  std::string contentType = "text/html; charset=GBK";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // extra lines, in order
};

}  // namespace mirabex::sandbox
