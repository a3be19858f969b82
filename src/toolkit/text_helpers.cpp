#include "toolkit/text_helpers.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <openssl/evp.h>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

// "你杯具了 无法识别 特征码:"
constexpr std::string_view kUnknownImageType =
    "\xC4\xE3\xB1\xAD\xBE\xDF\xC1\xCB \xCE\xDE\xB7\xA8\xCA\xB6\xB1\xF0 \xCC\xD8\xD5\xF7\xC2\xEB:";
// "#引号": how callers write a double quote inside a marker.
constexpr std::string_view kQuoteWord = "#\xD2\xFD\xBA\xC5";

struct ImageSignature {
  std::string_view hexPrefix;
  std::string_view type;
};

// Tried in order; the first prefix that matches decides.
constexpr std::array<ImageSignature, 15> kImageSignatures{{
    {"FFD8", "jpg"},
    {"0000020000", "tga"},
    {"0000100000", "tga"},
    {"474946383961", "gif"},
    {"474946383761", "gif"},
    {"89504E47", "png"},
    {"424D", "bmp"},
    {"0A", "pcx"},
    {"4D4D", "tiff"},
    {"4949", "tiff"},
    {"0000010001002020", "ico"},
    {"00001001002020", "ico"},
    {"0000020001002020", "cur"},
    {"464F524D", "iff"},
    {"52494646", "ani"},
}};

std::string_view upToZero(std::string_view text) {
  const std::size_t zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

}  // namespace

Text Md5Text(std::string_view text, bool shortForm) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr) != 1 || length != 16) {
    return Text();
  }
  Text hex;
  hex.reserve(32);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kLowerHex[digest[i] >> 4];
    hex += kLowerHex[digest[i] & 0x0F];
  }
  return shortForm ? hex.substr(8, 16) : hex;
}

Text HexOfBytes(std::string_view bytes) {
  Text hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kUpperHex[byte >> 4];
    hex += kUpperHex[byte & 0x0F];
  }
  return hex;
}

Text ImageTypeOf(std::string_view bytes) {
  const Text hex = HexOfBytes(bytes.substr(0, 10));
  for (const ImageSignature& signature : kImageSignatures) {
    if (hex.starts_with(signature.hexPrefix)) return Text(signature.type);
  }
  return Text(kUnknownImageType) + hex;
}

Text UrlEncodeAll(std::string_view text) {
  Text out;
  out.reserve(text.size() * 3);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += '%';
    out += kUpperHex[byte >> 4];
    out += kUpperHex[byte & 0x0F];
  }
  return out;
}

Text UnixTimeText(bool seconds, const Clock& clock) {
  using namespace std::chrono;
  const DateTime local = clock.localNow();
  // A plain calendar difference: the zone is deliberately not consulted.
  const sys_days day{year{local.year} / month{static_cast<unsigned>(local.month)} /
                     std::chrono::day{static_cast<unsigned>(local.day)}};
  const std::int64_t sinceLocalEpoch = static_cast<std::int64_t>(day.time_since_epoch().count()) * 86400 +
                                       std::int64_t{local.hour} * 3600 + std::int64_t{local.minute} * 60 +
                                       local.second;
  const std::int64_t count = sinceLocalEpoch - std::int64_t{8} * 3600;
  return std::to_string(seconds ? count : count * 1000 + local.millisecond);
}

Text TextBetween(std::string_view text, std::string_view left, std::string_view right) {
  const Text leftMarker = replaceAllText(left, kQuoteWord, "\"");
  const Text rightMarker = replaceAllText(right, kQuoteWord, "\"");
  const std::size_t leftAt = findText(text, leftMarker, 0, LetterCase::Ignore);
  if (leftAt == kNotFound) return Text();
  const std::string_view rest = text.substr(leftAt + leftMarker.size());
  const std::size_t rightAt = findText(rest, rightMarker, 0, LetterCase::Ignore);
  if (rightAt == kNotFound) return Text();
  return Text(rest.substr(0, rightAt));
}

bool DeclaredUtf8ToGbk(Bytes& bytes, bool force) {
  const std::string_view document = upToZero(bytes);
  Text declared;
  // No "encoding" word, or no "?>" after it, means nothing is declared.
  const std::size_t word = findText(document, "encoding", 0, LetterCase::Ignore);
  if (word != kNotFound) {
    const std::size_t start = word + 8;
    const std::size_t close = findText(document, "?>", start);
    if (close != kNotFound) {
      declared = std::string(document.substr(start, close - start));
      declared = replaceAllText(declared, "=", "");
      declared = replaceAllText(declared, "\"", "");
      declared = toLowerAscii(trimText(declared));
    }
  }
  if (declared == "gb2312" || (declared != "utf-8" && !force)) return false;
  bytes = ConvertCodePage(document, 65001, 936);
  return true;
}

long InitThreadCom() { return 0; }

}  // namespace mirabex
