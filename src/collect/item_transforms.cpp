#include "collect/item_transforms.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>

namespace mirabex {
namespace {

Text replaceInOrder(std::string_view text, std::initializer_list<std::pair<std::string_view, std::string_view>> pairs) {
  Text result(text);
  for (const auto& [from, to] : pairs) result = replaceAllText(result, from, to);
  return result;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Text cleanTitle(std::string_view title) {
  return replaceInOrder(title, {{"&amp;", " "},
                                {"amp;", ""},
                                {"*", " "},
                                {"|", " "},
                                {"<", " "},
                                {">", " "},
                                {".", " "},
                                {"?", " "}});
}

Text cleanDescription(std::string_view desc) {
  return replaceInOrder(desc, {{"&quot;", "\"\""},
                               {",", "\xA3\xAC"},  // "，"
                               {"&lt;", "<"},
                               {"&gt;", ">"},
                               {"&amp;nbsp;", " "},
                               {"\r\n", ""}});
}

Text freightPayerCode(std::string_view freightPayer, bool layout4Chosen) {
  if (freightPayer == "seller") return layout4Chosen ? "2" : "1";
  if (freightPayer == "buyer") return layout4Chosen ? "1" : "2";
  if (freightPayer.empty()) return "0";
  return Text(freightPayer);
}

Text propsWithTrailingSemicolon(std::string_view props) {
  Text result(props);
  if (findLastText(props, ";") != 0) result += ';';
  return result;
}

Text approveStatusCode(std::string_view status) {
  if (status.empty()) return "100";
  if (status == "onsale") return "200";
  return Text(status);
}

Text warrantyCode(std::string_view hasWarranty) { return hasWarranty == "true" ? "1" : "0"; }

double numericValueOf(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  const std::size_t start = pos;
  std::size_t digits = 0;
  while (pos < text.size() && isDigit(text[pos])) ++pos, ++digits;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && isDigit(text[pos])) ++pos, ++digits;
  }
  if (digits == 0) return 0.0;
  // from_chars, not strtod: the decimal point must not follow the process locale.
  double value = 0.0;
  std::from_chars(text.data() + start, text.data() + pos, value, std::chars_format::fixed);
  return negative ? -value : value;
}

Text numberText(double value) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::general, 13);
  return Text(buffer.data(), result.ptr);
}

double roundToDecimals(double value, int decimals) {
  if (!std::isfinite(value) || decimals < 0) return value;
  // Round the 13 significant digits the text would show, not the binary value, so
  // the seller sees the textbook result for prices like 2.675.
  std::array<char, 64> buffer{};
  const double magnitude = std::fabs(value);
  const auto printed = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                     std::chars_format::scientific, 12);
  const std::string_view sci(buffer.data(), static_cast<std::size_t>(printed.ptr - buffer.data()));
  const std::size_t ePos = sci.find('e');
  std::string digits;  // d0 d1 ... d12, value = 0.d0d1... * 10^(exponent + 1)
  for (std::size_t i = 0; i < ePos; ++i) {
    if (isDigit(sci[i])) digits += sci[i];
  }
  int exponent = 0;
  std::from_chars(sci.data() + ePos + (sci[ePos + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);

  const int kept = exponent + decimals + 1;  // digits at or above the last kept place
  if (kept >= static_cast<int>(digits.size())) return value;
  std::string rounded;
  int roundedExponent = exponent;  // exponent of rounded[0]
  if (kept < 0) {
    return 0.0;
  } else if (kept == 0) {
    if (digits[0] < '5') return 0.0;
    rounded = "1";
    roundedExponent = exponent + 1;
  } else {
    rounded = digits.substr(0, static_cast<std::size_t>(kept));
    if (digits[static_cast<std::size_t>(kept)] >= '5') {
      int i = kept - 1;
      while (i >= 0 && rounded[static_cast<std::size_t>(i)] == '9') rounded[static_cast<std::size_t>(i--)] = '0';
      if (i >= 0) {
        ++rounded[static_cast<std::size_t>(i)];
      } else {
        rounded.insert(rounded.begin(), '1');
        ++roundedExponent;
      }
    }
  }
  const std::string decimal = rounded + "e" + std::to_string(roundedExponent - static_cast<int>(rounded.size()) + 1);
  double result = 0.0;
  std::from_chars(decimal.data(), decimal.data() + decimal.size(), result, std::chars_format::scientific);
  if (result == 0.0) return 0.0;
  return value < 0 ? -result : result;
}

int decimalPlacesOf(std::string_view box) {
  const Text trimmed = trimText(box);
  if (trimmed.empty() || trimmed.size() > 3) return -1;
  int places = 0;
  for (char c : trimmed) {
    if (!isDigit(c)) return -1;
    places = places * 10 + (c - '0');
  }
  return places <= 6 ? places : -1;
}

Text scaledPriceText(std::string_view price, std::string_view percent, int decimals) {
  double value = numericValueOf(price) * numericValueOf(percent) / 100.0;
  if (decimals >= 0) value = roundToDecimals(value, decimals);
  return numberText(value);
}

Text applyReplacementPairs(std::string_view text, const Options& settings) {
  Text result(text);
  const std::array<std::pair<const Text*, const Text*>, 3> pairs{{
      {&settings.replaceFrom1, &settings.replaceTo1},
      {&settings.replaceFrom2, &settings.replaceTo2},
      {&settings.replaceFrom3, &settings.replaceTo3},
  }};
  for (const auto& [from, to] : pairs) {
    if (!from->empty()) result = replaceAllText(result, *from, *to);
  }
  return result;
}

}  // namespace mirabex
