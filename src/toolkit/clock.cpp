#include "toolkit/clock.h"

#include <ctime>

namespace mirabex {
namespace {

DateTime fromTm(const std::tm& tm, int millisecond) {
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millisecond};
}

int millisecondOf(std::chrono::system_clock::time_point instant) {
  const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch());
  return static_cast<int>(((sinceEpoch.count() % 1000) + 1000) % 1000);
}

class SystemClock : public Clock {
 public:
  std::chrono::system_clock::time_point now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace

DateTime Clock::localNow() const { return localDateTimeOf(now()); }

const Clock& systemClock() {
  static const SystemClock clock;
  return clock;
}

DateTime localDateTimeOf(std::chrono::system_clock::time_point instant) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(instant);
  std::tm tm{};
  localtime_r(&seconds, &tm);
  return fromTm(tm, millisecondOf(instant));
}

DateTime gmt8DateTimeOf(std::chrono::system_clock::time_point instant) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(instant) + 8 * 3600;
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  return fromTm(tm, millisecondOf(instant));
}

}  // namespace mirabex
