#pragma once

// The open-platform gateway at /router/rest: checks the system parameters, the
// timestamp window and the MD5 signature, and answers taobao.item.get as the
// real gateway writes it (or with its error_response).

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sandbox/catalogue.h"
#include "sandbox/reply.h"

namespace mirabex::sandbox {

struct GatewayPolicy {
  std::optional<std::vector<int>> validPositions;  // 1-based pool positions; nullopt: every pair
  std::vector<int> limitedPositions;               // answered with code 7
  bool checkTimestampWindow = true;
  std::int64_t nowUtcSeconds = 0;  // "now" for the window, seconds since 1970-01-01 00:00:00 UTC
};

// The signature the gateway expects: upper-case hex MD5 of secret + name1 value1 ... + secret, over
// every pair but "sign" with a name and a value, sorted by name byte-wise.
std::string topSignature(std::vector<std::pair<std::string, std::string>> params, std::string_view secret);

// Seconds since the epoch of a "yyyy-MM-dd HH:mm:ss" text read as UTC; nullopt when malformed.
std::optional<std::int64_t> parseTimestamp(std::string_view text);

// With an empty fieldNames every element is written; otherwise only the named ones (element names,
// "skus", "item_imgs", "prop_imgs").
std::string itemGetResponseXml(const SandboxItem& item, std::string_view serverName,
                               const std::set<std::string>& fieldNames = {});
std::string errorResponseXml(int code, std::string_view msg, std::string_view subCode, std::string_view subMsg,
                             std::string_view requestId, std::string_view serverName);

// requestNumber makes the request id and the server comment vary from call to call.
Reply gatewayReply(const Catalogue& catalogue, const GatewayPolicy& policy, const Incoming& request,
                   std::uint64_t requestNumber);

}  // namespace mirabex::sandbox
