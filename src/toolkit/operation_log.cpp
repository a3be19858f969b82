#include "toolkit/operation_log.h"

#include <string>

namespace mirabex {
namespace {

void appendNumber(Text& out, int number, std::string_view unit) {
  out += std::to_string(number);
  out += unit;
}

}  // namespace

Text logTimeText(const DateTime& local) {
  // 年 月 日 时 分 秒
  constexpr std::string_view kYear = "\xC4\xEA", kMonth = "\xD4\xC2", kDay = "\xC8\xD5";
  constexpr std::string_view kHour = "\xCA\xB1", kMinute = "\xB7\xD6", kSecond = "\xC3\xEB";
  Text out;
  appendNumber(out, local.year, kYear);
  appendNumber(out, local.month, kMonth);
  appendNumber(out, local.day, kDay);
  // The time is cut after its last non-zero part: a whole minute shows no seconds,
  // a whole hour no minutes, midnight nothing at all.
  if (local.second != 0) {
    appendNumber(out, local.hour, kHour);
    appendNumber(out, local.minute, kMinute);
    appendNumber(out, local.second, kSecond);
  } else if (local.minute != 0) {
    appendNumber(out, local.hour, kHour);
    appendNumber(out, local.minute, kMinute);
  } else if (local.hour != 0) {
    appendNumber(out, local.hour, kHour);
  }
  return out;
}

Text operationLogLine(const DateTime& local, std::string_view message) {
  Text line = logTimeText(local);
  line += message;
  line += "\r\n";
  return line;
}

}  // namespace mirabex
