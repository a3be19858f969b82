#include "toolkit/http_client.h"

#include <array>
#include <cstddef>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <curl/curl.h>

namespace mirabex {

namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr const char* kAcceptTypes =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";
constexpr const char* kFormContentType = "application/x-www-form-urlencoded";
constexpr int kFetchDefaultTimeoutSeconds = 90;
constexpr int kRequestObjectDefaultTimeoutSeconds = 15;
// Picture downloads have no overall limit (large files on slow links are fine), but a server that
// stops sending must not hold a worker for ever.
constexpr long kDownloadConnectTimeoutSeconds = 60;
constexpr long kDownloadStallSeconds = 60;
constexpr long kMaxRedirects = 20;
// The longest a transfer loop sleeps between looks at curl; cancellation wakes it at once anyway.
constexpr int kPollMilliseconds = 1000;
constexpr int kHighestPort = 65535;

// --- RAII holders for curl's C handles --------------------------------------------------------

void initCurlOnce() {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)initialised;
}

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct MultiDeleter {
  void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

class HeaderList {
 public:
  bool append(const std::string& line) {
    curl_slist* head = curl_slist_append(m_list.get(), line.c_str());
    if (head == nullptr) return false;
    if (m_list == nullptr) m_list.reset(head);  // later appends keep the same head
    return true;
  }
  [[nodiscard]] curl_slist* get() const { return m_list.get(); }
  [[nodiscard]] bool empty() const { return m_list == nullptr; }

 private:
  struct Deleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
  };
  std::unique_ptr<curl_slist, Deleter> m_list;
};

// A curl share with one mutex per kind of shared data.
class CurlShare {
 public:
  CurlShare() : m_locks(std::make_unique<Locks>()) {
    CURLSH* handle = curl_share_init();
    if (handle == nullptr) return;
    curl_share_setopt(handle, CURLSHOPT_LOCKFUNC, &CurlShare::lock);
    curl_share_setopt(handle, CURLSHOPT_UNLOCKFUNC, &CurlShare::unlock);
    curl_share_setopt(handle, CURLSHOPT_USERDATA, m_locks.get());
    curl_share_setopt(handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    m_handle.reset(handle);
  }
  [[nodiscard]] CURLSH* get() const { return m_handle.get(); }

 private:
  using Locks = std::array<std::mutex, CURL_LOCK_DATA_LAST>;
  struct Deleter {
    void operator()(CURLSH* handle) const { curl_share_cleanup(handle); }
  };

  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    if (data >= 0 && data < CURL_LOCK_DATA_LAST) (*static_cast<Locks*>(user))[data].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* user) {
    if (data >= 0 && data < CURL_LOCK_DATA_LAST) (*static_cast<Locks*>(user))[data].unlock();
  }

  // The handle goes before the locks: its clean-up still calls them.
  std::unique_ptr<Locks> m_locks;
  std::unique_ptr<CURLSH, Deleter> m_handle;
};

// The system cookie store of the program: cookies and DNS answers shared by every client.
CURLSH* systemCookieStore() {
  initCurlOnce();
  // Never destroyed: a worker still in a transfer while the program exits must not find it gone.
  static auto* const store = new CurlShare();
  return store->get();
}

// --- small text rules ------------------------------------------------------------------------

// A line break or NUL would let a URL, a cookie or a verb write lines of its own into the request.
bool breaksHeaderLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && toLowerAscii(a) == toLowerAscii(b);
}

bool isBlank(std::string_view text) { return removeSpaces(text).empty(); }

// Spaces and control bytes are not allowed raw in an address (curl refuses the whole address);
// everything else, GBK bytes included, goes on the wire as the caller wrote it.
Text escapeTarget(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text escaped;
  escaped.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

Text proxyUrl(std::string_view proxy) {
  if (proxy.find("://") != std::string_view::npos) return Text(proxy);
  return "http://" + Text(proxy);
}

// Header lines of a block; lines may end in "\r\n" or a bare "\n", empty ones are dropped.
std::vector<Text> headerLines(std::string_view block) {
  std::vector<Text> lines;
  std::size_t start = 0;
  while (start < block.size()) {
    std::size_t end = block.find('\n', start);
    if (end == std::string_view::npos) end = block.size();
    std::string_view line = block.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
    start = end + 1;
  }
  return lines;
}

bool hasHeaderNamed(const std::vector<Text>& lines, std::string_view nameWithColon) {
  for (const Text& line : lines) {
    if (startsWithText(line, nameWithColon, LetterCase::Ignore)) return true;
  }
  return false;
}

// --- one transfer ------------------------------------------------------------------------------

struct Exchange {
  Bytes body;
  Text headers;  // the raw block of the latest response, each line ending in "\r\n"
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<Exchange*>(user)->body.append(data, size * count);
  return size * count;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  std::string_view line(data, size * count);
  // Redirects and interim answers each bring a block of their own; only the last one counts.
  if (line.starts_with("HTTP/")) exchange.headers.clear();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  exchange.headers.append(line).append("\r\n");
  return size * count;
}

enum class Outcome { Done, Failed, Cancelled };

struct TransferResult {
  Outcome outcome = Outcome::Failed;
  CURLcode code = CURLE_FAILED_INIT;
};

// Everything one call hands to curl; the lists must live as long as the handle uses them.
class Transfer {
 public:
  Transfer() : m_easy(curl_easy_init()) {}
  [[nodiscard]] bool valid() const { return m_easy != nullptr; }
  [[nodiscard]] CURL* easy() const { return m_easy.get(); }
  Exchange& exchange() { return m_exchange; }
  HeaderList& headers() { return m_headers; }

  void setCommon(const HttpClientSettings& settings, long timeoutMilliseconds, const Text& proxy) {
    CURL* h = m_easy.get();
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    // An explicit proxy setting, even an empty one, keeps curl from taking one from the environment.
    curl_easy_setopt(h, CURLOPT_PROXY, proxy.empty() ? "" : proxyUrl(proxy).c_str());
    curl_easy_setopt(h, CURLOPT_NOPROXY, "");
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!settings.connectTo.empty() && m_connectTo.append("::" + settings.connectTo)) {
      curl_easy_setopt(h, CURLOPT_CONNECT_TO, m_connectTo.get());
    }
    if (!settings.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, settings.caFile.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &m_exchange);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &m_exchange);
    if (timeoutMilliseconds > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMilliseconds);
  }

  // Cookies sent and received through the process-wide store.
  void useSystemCookieStore() {
    if (CURLSH* store = systemCookieStore()) curl_easy_setopt(m_easy.get(), CURLOPT_SHARE, store);
    curl_easy_setopt(m_easy.get(), CURLOPT_COOKIEFILE, "");
  }

  // Driven on the calling thread through a multi handle so that a stop request can wake the wait
  // at once instead of at curl's next progress tick.
  TransferResult run(const std::stop_token& cancel) {
    if (!m_headers.empty()) curl_easy_setopt(m_easy.get(), CURLOPT_HTTPHEADER, m_headers.get());
    TransferResult result;
    if (cancel.stop_requested()) {
      result.outcome = Outcome::Cancelled;
      return result;
    }
    MultiHandle multi(curl_multi_init());
    if (multi == nullptr || curl_multi_add_handle(multi.get(), m_easy.get()) != CURLM_OK) return result;
    {
      std::stop_callback wake(cancel, [&multi] { curl_multi_wakeup(multi.get()); });
      for (;;) {
        if (cancel.stop_requested()) {
          result.outcome = Outcome::Cancelled;
          break;
        }
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
        if (running == 0) {
          int left = 0;
          while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy.get()) {
              result.code = message->data.result;
              result.outcome = result.code == CURLE_OK ? Outcome::Done : Outcome::Failed;
            }
          }
          break;
        }
        if (curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK) break;
      }
    }
    curl_multi_remove_handle(multi.get(), m_easy.get());
    return result;
  }

 private:
  EasyHandle m_easy;
  HeaderList m_connectTo;
  HeaderList m_headers;
  Exchange m_exchange;
};

long timeoutMilliseconds(int seconds, int defaultSeconds) {
  return static_cast<long>(seconds > 0 ? seconds : defaultSeconds) * 1000L;
}

// --- copying response cookies into the store ---------------------------------------------------

// One cookie of a "Set-Cookie" value, in the store's line format for the given host; empty when
// the cookie may not be set for that host.
Text storeLineFor(const Text& host, const Text& name, std::string_view data, std::time_t now) {
  const std::vector<Text> pieces = splitText(data, ";");
  const Text value = pieces.empty() ? Text() : trimText(pieces.front());
  Text domain;
  Text path = "/";
  bool secure = false;
  std::optional<std::time_t> expires;
  bool maxAgeSeen = false;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const Text attribute = trimText(pieces[i]);
    const std::size_t equals = attribute.find('=');
    const Text key = toLowerAscii(trimText(attribute.substr(0, equals)));
    const Text argument = equals == Text::npos ? Text() : trimText(attribute.substr(equals + 1));
    if (key == "domain") {
      domain = toLowerAscii(argument);
      if (!domain.empty() && domain.front() == '.') domain.erase(0, 1);
    } else if (key == "path") {
      if (!argument.empty() && argument.front() == '/') path = argument;
    } else if (key == "max-age") {
      maxAgeSeen = true;
      const long long seconds = std::strtoll(argument.c_str(), nullptr, 10);
      expires = seconds <= 0 ? std::time_t(0) : now + static_cast<std::time_t>(seconds);
    } else if (key == "expires" && !maxAgeSeen) {
      const std::time_t when = curl_getdate(argument.c_str(), nullptr);
      if (when != -1) expires = when;
    } else if (key == "secure") {
      secure = true;
    }
  }
  Text domainField = host;
  const char* subdomains = "FALSE";
  if (!domain.empty()) {
    const bool matches = host == domain || (host.size() > domain.size() && host.ends_with("." + domain));
    if (!matches) return {};
    domainField = "." + domain;
    subdomains = "TRUE";
  }
  const bool unsafe = name.empty() || name.find_first_of("\t\r\n") != Text::npos ||
                      value.find_first_of("\t\r\n") != Text::npos || path.find_first_of("\t\r\n") != Text::npos;
  if (unsafe) return {};
  // 0 marks a session cookie in this format, so a date in the past becomes 1: still expired.
  std::time_t expiry = 0;
  if (expires) expiry = *expires <= now ? 1 : *expires;
  return domainField + "\t" + subdomains + "\t" + path + "\t" + (secure ? "TRUE" : "FALSE") + "\t" +
         std::to_string(static_cast<long long>(expiry)) + "\t" + name + "\t" + value;
}

// The automatic handling already keeps what a response sets for the host that answered; this files
// the final answer's cookies under the host that was asked, which differs after a redirect.
void storeResponseCookies(CURL* easy, std::string_view headerText, const Text& host) {
  if (!containsText(headerText, "Set-Cookie:")) return;
  constexpr std::string_view kName = "Set-Cookie:";
  const std::time_t now = std::time(nullptr);
  for (const Text& line : splitText(headerText, "\r\n")) {
    if (!startsWithText(line, kName, LetterCase::Ignore)) continue;
    const Text cookie = trimText(std::string_view(line).substr(kName.size()));
    const std::size_t equals = cookie.find('=');
    if (equals == Text::npos) continue;
    const Text storeLine =
        storeLineFor(host, trimText(cookie.substr(0, equals)), std::string_view(cookie).substr(equals + 1), now);
    if (!storeLine.empty()) curl_easy_setopt(easy, CURLOPT_COOKIELIST, storeLine.c_str());
  }
}

}  // namespace

// --- URL split and cookie text -----------------------------------------------------------------

UrlParts splitUrl(std::string_view url) {
  UrlParts parts;
  std::size_t start = 0;
  const std::size_t plain = findText(url, "http://");
  const std::size_t secure = findText(url, "https://");
  if (secure != kNotFound && (plain == kNotFound || secure < plain)) {
    parts.secure = true;
    start = secure + 8;
  } else if (plain != kNotFound) {
    start = plain + 7;
  }
  const int defaultPort = parts.secure ? 443 : 80;
  // '/' and ':' never occur as the second byte of a GBK character, so byte searches are safe here.
  const std::string_view rest = url.substr(start);
  const std::size_t slash = rest.find('/');
  const std::string_view hostPart = rest.substr(0, slash);
  const std::size_t colon = hostPart.find(':');
  parts.host = toLowerAscii(hostPart.substr(0, colon));
  parts.port = defaultPort;
  if (colon != std::string_view::npos) {
    int port = 0;
    for (std::size_t i = colon + 1; i < hostPart.size() && hostPart[i] >= '0' && hostPart[i] <= '9'; ++i) {
      port = port * 10 + (hostPart[i] - '0');
      if (port > kHighestPort) break;  // reported as out of range, not wrapped round
    }
    if (port != 0) parts.port = port;
  }
  parts.path = slash == std::string_view::npos ? Text("/") : Text(rest.substr(slash));
  return parts;
}

Text textBetween(std::string_view text, std::string_view left, std::string_view right) {
  if (right.empty()) {
    const std::size_t at = findText(text, left);
    return at == kNotFound ? Text() : Text(text.substr(at + left.size()));
  }
  if (left.empty()) {
    const std::size_t at = findText(text, right);
    return at == kNotFound ? Text() : Text(text.substr(0, at));
  }
  const std::size_t from = findText(text, left);
  if (from == kNotFound) return {};
  const std::size_t begin = from + left.size();
  const std::size_t end = findText(text, right, begin);
  return end == kNotFound ? Text() : Text(text.substr(begin, end - begin));
}

Text cookiesFromHeaders(std::string_view headerText) {
  Text cookies;
  if (!containsText(headerText, "Set-Cookie:")) return cookies;
  for (const Text& line : splitText(headerText, "\r\n")) {
    if (!containsText(line, "Set-Cookie")) continue;
    // Nothing between "=" and ";": a deletion, or a value without attributes.
    if (textBetween(line, "=", ";").empty()) continue;
    if (!cookies.empty()) cookies += "; ";
    cookies += trimText(textBetween(line, "Set-Cookie:", ";"));
  }
  return cookies;
}

// --- HttpClient --------------------------------------------------------------------------------

HttpClient::HttpClient(HttpClientSettings settings) : m_settings(std::move(settings)) { initCurlOnce(); }

Bytes HttpClient::fetch(const Text& url, const HttpRequestOptions& options) const {
  const bool isGet = options.method.empty() || equalsIgnoringCase(options.method, "GET");
  const bool isPost = !isGet && equalsIgnoringCase(options.method, "POST");
  if (!isGet && !isPost) return {};
  if (breaksHeaderLine(url) || breaksHeaderLine(options.cookies)) return {};
  const UrlParts parts = splitUrl(url);
  if (parts.host.empty() || parts.port > kHighestPort) return {};

  Transfer transfer;
  if (!transfer.valid()) return {};
  CURL* h = transfer.easy();
  const Text proxy = removeSpaces(options.proxy);
  transfer.setCommon(m_settings, timeoutMilliseconds(options.timeoutSeconds, kFetchDefaultTimeoutSeconds), proxy);
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));

  const int defaultPort = parts.secure ? 443 : 80;
  Text target = (parts.secure ? "https://" : "http://") + parts.host;
  if (parts.port != defaultPort) target += ":" + std::to_string(parts.port);
  target += escapeTarget(parts.path);
  curl_easy_setopt(h, CURLOPT_URL, target.c_str());

  if (!isBlank(options.userName) || !isBlank(options.password)) {
    if (!isBlank(options.userName)) curl_easy_setopt(h, CURLOPT_USERNAME, options.userName.c_str());
    if (!isBlank(options.password)) curl_easy_setopt(h, CURLOPT_PASSWORD, options.password.c_str());
    // Credentials answer the server's challenge, as the old library did, rather than going out unasked.
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  }

  const bool cookiesGiven = !trimText(options.cookies).empty();
  if (!cookiesGiven || options.storeCookies) transfer.useSystemCookieStore();

  // The caller's lines first, then each default line whose name is not there yet.
  Text block = options.extraHeaders;
  if (!block.empty() && block.back() != '\n') block += "\r\n";
  if (findText(block, "Accept: ", 0, LetterCase::Ignore) == kNotFound) {
    block += "Accept: " + Text(kAcceptTypes) + "\r\n";
  }
  if (findText(block, "Referer: ", 0, LetterCase::Ignore) == kNotFound) block += "Referer: " + url + "\r\n";
  if (findText(block, "Accept-Language: ", 0, LetterCase::Ignore) == kNotFound) {
    block += "Accept-Language: zh-cn\r\n";
  }
  std::vector<Text> lines = headerLines(block);
  if (cookiesGiven) lines.push_back("Cookie: " + options.cookies);
  // curl would add an "Accept: */*" of its own when no line is named exactly so.
  if (!hasHeaderNamed(lines, "Accept:")) lines.emplace_back("Accept:");

  if (isPost) {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(options.postData.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, options.postData.data());
    // curl itself writes "Content-Type: application/x-www-form-urlencoded" and the Content-Length
    // for a body, and drops both when a redirect turns the POST into a GET. An empty body gets no
    // Content-Type, and neither does a block that already names one.
    const bool typeInBlock = findText(block, "Content-Type: ", 0, LetterCase::Ignore) != kNotFound;
    if ((options.postData.empty() || typeInBlock) && !hasHeaderNamed(lines, "Content-Type:")) {
      lines.emplace_back("Content-Type:");
    }
    lines.emplace_back("Expect:");
  } else {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  }
  for (const Text& line : lines) {
    if (!transfer.headers().append(line)) return {};
  }

  const TransferResult result = transfer.run(options.cancel);
  if (result.outcome != Outcome::Done) return {};

  const Text& headerText = transfer.exchange().headers;
  if (options.storeCookies) storeResponseCookies(h, headerText, parts.host);
  if (options.returnHeaders != nullptr) *options.returnHeaders = headerText;
  if (options.returnCookies != nullptr) *options.returnCookies = cookiesFromHeaders(headerText);
  return std::move(transfer.exchange().body);
}

// The old platform could lack a request object and had to say so ("系统不支持本操作"); curl is
// always linked in, so that message cannot arise here.
Bytes HttpClient::fetchViaRequestObject(const Text& url, const Text& method, const Text& data, const Text& cookies,
                                        Text* returnCookies, const Text& proxy, int timeoutSeconds,
                                        const Text& proxyUser, const Text& proxyPassword, const Text& referrer,
                                        const std::stop_token& cancel) const {
  const Text verb = method.empty() ? Text("GET") : method;
  if (breaksHeaderLine(url) || breaksHeaderLine(verb) || breaksHeaderLine(cookies) || breaksHeaderLine(referrer) ||
      verb.find(' ') != Text::npos) {
    return {};
  }
  Transfer transfer;
  if (!transfer.valid()) return {};
  CURL* h = transfer.easy();
  transfer.setCommon(m_settings, timeoutMilliseconds(timeoutSeconds, kRequestObjectDefaultTimeoutSeconds), proxy);
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_DEFAULT_PROTOCOL, "http");
  curl_easy_setopt(h, CURLOPT_URL, escapeTarget(url).c_str());
  if (!proxy.empty() && !proxyUser.empty()) {
    curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
    curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
  }
  // The request object kept cookies for its own redirects only, never in the system store.
  curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");

  if (equalsIgnoringCase(verb, "GET") && data.empty()) {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  } else if (equalsIgnoringCase(verb, "HEAD")) {
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(data.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, data.data());
    if (!equalsIgnoringCase(verb, "POST")) curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }

  // The request object's own header set, in its order; "Referrer" is the name it always sent.
  HeaderList& headers = transfer.headers();
  const bool built = headers.append("Referrer: " + (referrer.empty() ? url : referrer)) &&
                     headers.append("Accept: " + Text(kAcceptTypes)) && headers.append("Accept-Language: zh-cn") &&
                     headers.append("Content-Type: " + Text(kFormContentType)) &&
                     (cookies.empty() || headers.append("Cookie: " + cookies)) && headers.append("Expect:");
  if (!built) return {};

  const TransferResult result = transfer.run(cancel);
  if (result.outcome != Outcome::Done) return {};
  if (returnCookies != nullptr) *returnCookies = cookiesFromHeaders(transfer.exchange().headers);
  return std::move(transfer.exchange().body);
}

Bytes HttpClient::downloadFile(const Text& url, const std::stop_token& cancel) const {
  if (breaksHeaderLine(url)) return {};
  Transfer transfer;
  if (!transfer.valid()) return {};
  CURL* h = transfer.easy();
  transfer.setCommon(m_settings, 0, {});
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(h, CURLOPT_DEFAULT_PROTOCOL, "http");
  curl_easy_setopt(h, CURLOPT_URL, escapeTarget(url).c_str());
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kDownloadConnectTimeoutSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kDownloadStallSeconds);
  transfer.useSystemCookieStore();
  if (!transfer.headers().append("Accept: */*")) return {};

  const TransferResult result = transfer.run(cancel);
  if (result.outcome == Outcome::Cancelled) return {};
  // A body that broke off still gives the bytes that arrived; the caller judges them.
  return std::move(transfer.exchange().body);
}

}  // namespace mirabex
