#pragma once

#include <stop_token>
#include <string_view>

#include "toolkit/gbk_text.h"

namespace mirabex {

// The optional arguments of HttpClient::fetch; every caller of the program passes a URL only,
// so these defaults are what it runs with.
struct HttpRequestOptions {
  Text method;                    // empty means "GET"; "GET" or "POST", case ignored; any other verb sends nothing
  Text postData;                  // body of a POST
  Text cookies;                   // sent as its own "Cookie: " line when not blank
  Text* returnCookies = nullptr;  // receives "name=value; ..." of the cookies the response sets
  Text proxy;                     // "host:port" of an HTTP proxy; blank means a direct connection
  int timeoutSeconds = 0;         // the longest the caller waits; 0 (or less) means 90
  bool pumpMessages = false;      // kept for callers, no effect: window code fetches off its thread
  Text extraHeaders;              // request lines, each ending in "\r\n", placed first
  Text userName;                  // handed to the server's authentication when not blank
  Text password;
  Text* returnHeaders = nullptr;  // receives the final response's raw header block, lines ending in "\r\n"
  bool storeCookies = false;      // keep automatic cookies even with `cookies`, and copy the response's
                                  // cookies into the process-wide store
  std::stop_token cancel;         // ends a transfer in flight at once; the result is then empty
};

struct HttpClientSettings {
  // "host:port" that every connection goes to, whatever the URL names; the URL and the Host
  // header stay as they are. Empty means connect where the URL says.
  Text connectTo;
  // PEM file of the certificates trusted for https; empty means the system's store.
  Text caFile;
};

// How fetch splits its URL. A URL that does not name "http://" (or "https://") is split from its
// first character; `port` is the scheme's default when the URL gives none (or 0).
struct UrlParts {
  bool secure = false;
  Text host;  // lower case, port removed
  int port = 80;
  Text path = "/";  // query included
};
UrlParts splitUrl(std::string_view url);

// Case-sensitive: with `right` empty the text after the first `left`; with `left` empty the text
// before the first `right`; else the text between the first `left` and the first `right` after it.
// Empty whenever a marker is missing.
Text textBetween(std::string_view text, std::string_view left, std::string_view right);

// The cookies a response header block sets, as a ready "Cookie" value: "name=value" pairs joined
// by "; ", leaving out cookies with an empty value (deletions).
Text cookiesFromHeaders(std::string_view headerText);

// The program's only way onto the network. All operations return the response body whatever the
// status code; empty bytes are the only failure. Const and safe to call from many threads at once;
// every client shares one process-wide cookie store.
class HttpClient {
 public:
  explicit HttpClient(HttpClientSettings settings = {});

  Bytes fetch(const Text& url, const HttpRequestOptions& options = {}) const;

  // The start-up download's request: its own header set, a 15 s time-out by default, cookies
  // only within the call.
  Bytes fetchViaRequestObject(const Text& url, const Text& method = {}, const Text& data = {},
                              const Text& cookies = {}, Text* returnCookies = nullptr, const Text& proxy = {},
                              int timeoutSeconds = 0, const Text& proxyUser = {}, const Text& proxyPassword = {},
                              const Text& referrer = {}, const std::stop_token& cancel = {}) const;

  // A picture download: "GET" over HTTP/1.0 with "Accept: */*"; when the body breaks off, the
  // bytes read so far.
  Bytes downloadFile(const Text& url, const std::stop_token& cancel = {}) const;

  const HttpClientSettings& settings() const { return m_settings; }

 private:
  HttpClientSettings m_settings;
};

}  // namespace mirabex
