#include "topapi/top_request.h"

#include <cstdio>
#include <utility>

#include "toolkit/text_helpers.h"

namespace mirabex {

namespace {

void appendWireEscaped(Text& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    const bool plain = byte > 0x20 && byte < 0x7F && ch != '%' && ch != '&' && ch != '+' && ch != '#' && ch != '=';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
}

}  // namespace

Text topTimestampText(const DateTime& time) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return buffer;
}

SignedTopRequest signTopRequest(const TopCall& call, const Text& timestamp, const Text& gatewayUrl) {
  if (call.appKey.empty() || call.appSecret.empty()) {
    return {};
  }

  std::vector<TopParameter> parameters = call.businessParameters;
  parameters.push_back({"app_key", call.appKey});
  parameters.push_back({"format", call.format.empty() ? Text("xml") : call.format});
  parameters.push_back({"sign_method", call.signMethod.empty() ? Text("md5") : call.signMethod});
  parameters.push_back({"v", "2.0"});
  parameters.push_back({"method", call.method});
  parameters.push_back({"session", call.session});
  parameters.push_back({"timestamp", timestamp});

  // The gateway recomputes the signature over the pairs in byte order of their names; a plain
  // exchange sort keeps the order of equal names predictable, whatever the library's sort does.
  auto greater = [](const Text& a, const Text& b) {
    return std::string_view(a).compare(std::string_view(b)) > 0;  // char_traits<char> compares as unsigned
  };
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    for (std::size_t j = i + 1; j < parameters.size(); ++j) {
      if (greater(parameters[i].name, parameters[j].name)) {
        std::swap(parameters[i], parameters[j]);
      }
    }
  }

  SignedTopRequest request;
  request.signatureBase = call.appSecret;
  for (const TopParameter& parameter : parameters) {
    if (parameter.name.empty() || parameter.value.empty()) {
      continue;
    }
    request.signatureBase += parameter.name;
    request.signatureBase += parameter.value;
    if (!request.query.empty()) {
      request.query += '&';
      request.wireUrl += '&';
    }
    request.query += parameter.name;
    request.query += '=';
    request.query += parameter.value;
    appendWireEscaped(request.wireUrl, parameter.name);
    request.wireUrl += '=';
    appendWireEscaped(request.wireUrl, parameter.value);
  }
  request.signatureBase += call.appSecret;

  request.signature = toUpperAscii(Md5Text(request.signatureBase));
  request.query += "&sign=";
  request.query += request.signature;
  request.url = gatewayUrl + request.query;
  request.wireUrl = gatewayUrl + request.wireUrl + "&sign=" + request.signature;
  return request;
}

SignedTopRequest buildItemGetRequest(const Text& appKey, const Text& appSecret, const Text& numIid,
                                     const Clock& clock, const Text& gatewayUrl) {
  TopCall call;
  call.appKey = appKey;
  call.appSecret = appSecret;
  call.format = "xml";
  call.signMethod = "md5";
  call.method = Text(kItemGetMethod);
  call.businessParameters = {{"fields", Text(kItemGetFields)}, {"num_iid", numIid}};
  return signTopRequest(call, topTimestampText(gmt8DateTimeOf(clock.now())), gatewayUrl);
}

Text buildItemGetUrl(const Text& appKey, const Text& appSecret, const Text& numIid, const Clock& clock,
                     const Text& gatewayUrl) {
  return buildItemGetRequest(appKey, appSecret, numIid, clock, gatewayUrl).url;
}

}  // namespace mirabex
