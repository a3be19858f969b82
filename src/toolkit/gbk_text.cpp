#include "toolkit/gbk_text.h"

#include <algorithm>

namespace mirabex {
namespace {

unsigned char lowerAscii(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

// Compares `needle` with the text at `pos`, character by character, so that
// only single-byte letters are folded.
bool matchesAt(std::string_view text, std::size_t pos, std::string_view needle, LetterCase letterCase) {
  if (text.size() - pos < needle.size()) return false;
  if (letterCase == LetterCase::Respect) return text.compare(pos, needle.size(), needle) == 0;
  std::size_t i = 0;
  while (i < needle.size()) {
    const auto a = static_cast<unsigned char>(text[pos + i]);
    const auto b = static_cast<unsigned char>(needle[i]);
    const std::size_t length = gbkCharLength(needle, i);
    if (length == 2) {
      if (text[pos + i] != needle[i] || text[pos + i + 1] != needle[i + 1]) return false;
    } else if (lowerAscii(a) != lowerAscii(b)) {
      return false;
    }
    i += length;
  }
  // The match must not end in the middle of a double-byte character of the text.
  std::size_t scan = pos;
  while (scan < pos + needle.size()) scan += gbkCharLength(text, scan);
  return scan == pos + needle.size();
}

}  // namespace

std::size_t gbkCharLength(std::string_view text, std::size_t pos) {
  if (pos + 1 < text.size() && isGbkLeadByte(static_cast<unsigned char>(text[pos]))) return 2;
  return 1;
}

std::size_t findText(std::string_view text, std::string_view needle, std::size_t from, LetterCase letterCase) {
  if (needle.empty() || from > text.size() || text.size() - from < needle.size()) return kNotFound;
  if (letterCase == LetterCase::Respect) {
    // Find byte-wise, then accept a hit only when it starts on a character
    // boundary; the boundary walk only ever moves forward, so the whole search is linear.
    std::size_t boundary = from;
    std::size_t hit = text.find(needle, from);
    while (hit != kNotFound) {
      while (boundary < hit) boundary += gbkCharLength(text, boundary);
      if (boundary == hit && matchesAt(text, hit, needle, letterCase)) return hit;
      hit = text.find(needle, hit + 1);
    }
    return kNotFound;
  }
  for (std::size_t pos = from; pos + needle.size() <= text.size(); pos += gbkCharLength(text, pos)) {
    if (matchesAt(text, pos, needle, letterCase)) return pos;
  }
  return kNotFound;
}

std::size_t findLastText(std::string_view text, std::string_view needle, LetterCase letterCase) {
  std::size_t last = kNotFound;
  for (std::size_t pos = findText(text, needle, 0, letterCase); pos != kNotFound;
       pos = findText(text, needle, pos + gbkCharLength(text, pos), letterCase)) {
    last = pos;
  }
  return last;
}

bool containsText(std::string_view text, std::string_view needle, LetterCase letterCase) {
  return findText(text, needle, 0, letterCase) != kNotFound;
}

bool startsWithText(std::string_view text, std::string_view prefix, LetterCase letterCase) {
  return !prefix.empty() && matchesAt(text, 0, prefix, letterCase);
}

Text replaceAllText(std::string_view text, std::string_view from, std::string_view to, LetterCase letterCase) {
  if (from.empty()) return Text(text);
  Text result;
  result.reserve(text.size());
  std::size_t copied = 0;
  for (std::size_t hit = findText(text, from, 0, letterCase); hit != kNotFound;
       hit = findText(text, from, copied, letterCase)) {
    result.append(text.substr(copied, hit - copied));
    result.append(to);
    copied = hit + from.size();
  }
  result.append(text.substr(copied));
  return result;
}

Text TextAfterLast(std::string_view text, std::string_view marker) {
  const std::size_t hit = findLastText(text, marker);
  if (hit == kNotFound) return {};
  return Text(text.substr(hit + marker.size()));
}

Text trimText(std::string_view text) {
  constexpr std::string_view kFullWidthSpace = "\xA1\xA1";
  std::size_t begin = 0;
  while (begin < text.size()) {
    if (text[begin] == ' ') {
      ++begin;
    } else if (text.substr(begin, 2) == kFullWidthSpace) {
      begin += 2;
    } else {
      break;
    }
  }
  // Trailing spaces are found on whole characters so that a trail byte A1 is never split off.
  std::size_t end = begin;
  std::size_t pos = begin;
  while (pos < text.size()) {
    const std::size_t length = gbkCharLength(text, pos);
    const std::string_view ch = text.substr(pos, length);
    pos += length;
    if (ch != " " && ch != kFullWidthSpace) end = pos;
  }
  return Text(text.substr(begin, end - begin));
}

Text removeSpaces(std::string_view text) {
  Text result;
  result.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = gbkCharLength(text, pos);
    if (!(length == 1 && text[pos] == ' ')) result.append(text.substr(pos, length));
    pos += length;
  }
  return result;
}

std::vector<Text> splitText(std::string_view text, std::string_view separator) {
  std::vector<Text> members;
  if (separator.empty()) {
    if (!text.empty()) members.emplace_back(text);
    return members;
  }
  std::size_t start = 0;
  for (std::size_t hit = findText(text, separator, 0); hit != kNotFound;
       hit = findText(text, separator, start)) {
    members.emplace_back(text.substr(start, hit - start));
    start = hit + separator.size();
  }
  if (start < text.size()) members.emplace_back(text.substr(start));
  return members;
}

Text toLowerAscii(std::string_view text) {
  Text result(text);
  for (std::size_t pos = 0; pos < result.size();) {
    const std::size_t length = gbkCharLength(result, pos);
    if (length == 1) result[pos] = static_cast<char>(lowerAscii(static_cast<unsigned char>(result[pos])));
    pos += length;
  }
  return result;
}

Text toUpperAscii(std::string_view text) {
  Text result(text);
  for (std::size_t pos = 0; pos < result.size();) {
    const std::size_t length = gbkCharLength(result, pos);
    const auto byte = static_cast<unsigned char>(result[pos]);
    if (length == 1 && byte >= 'a' && byte <= 'z') result[pos] = static_cast<char>(byte - ('a' - 'A'));
    pos += length;
  }
  return result;
}

}  // namespace mirabex
