#pragma once

// Small text tools of the sandbox's own. The sandbox deliberately does not use
// the engine's helpers, so that a fault there cannot hide itself here.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mirabex::sandbox {

// UTF-8 to GBK through iconv; characters GBK lacks become '?'.
std::string toGbk(std::string_view utf8);
// GBK to UTF-8 through iconv; bytes that do not decode become '?'.
std::string gbkToUtf8Text(std::string_view gbk);

// %XX becomes its byte; with plusIsSpace a '+' becomes a blank. A '%' not followed by two
// hexadecimal digits stays as it is.
std::string percentDecode(std::string_view text, bool plusIsSpace);

// A query string split at '&' into decoded (name, value) pairs; empty members are skipped.
std::vector<std::pair<std::string, std::string>> parseQuery(std::string_view query);
// The first value of `name` in a parsed query, or empty.
std::string queryValue(const std::vector<std::pair<std::string, std::string>>& query, std::string_view name);
bool hasQueryName(const std::vector<std::pair<std::string, std::string>>& query, std::string_view name);

// MD5 of the bytes as 32 upper-case hexadecimal digits.
std::string md5UpperHex(std::string_view bytes);

// & < > " ' as the five XML entities.
std::string xmlEscape(std::string_view text);

std::string toLowerAscii(std::string_view text);
bool startsWith(std::string_view text, std::string_view prefix);
bool endsWith(std::string_view text, std::string_view suffix);

}  // namespace mirabex::sandbox
