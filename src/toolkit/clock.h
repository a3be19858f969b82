#pragma once

#include <chrono>

namespace mirabex {

// A broken-down date and time, as the calendar shows it.
struct DateTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The seam through which every time-dependent piece reads the time
// (request timestamps, picture names, log times, the default save path),
// so that tests can fix it.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::system_clock::time_point now() const = 0;
  // The local date-time of the machine at `now()`.
  virtual DateTime localNow() const;
};

// The machine's real clock; one process-wide instance.
const Clock& systemClock();

// A clock standing still at a given instant, its local time given explicitly
// so that tests do not depend on the machine's time zone.
class FixedClock : public Clock {
 public:
  FixedClock(std::chrono::system_clock::time_point instant, DateTime local) : m_instant(instant), m_local(local) {}
  std::chrono::system_clock::time_point now() const override { return m_instant; }
  DateTime localNow() const override { return m_local; }

 private:
  std::chrono::system_clock::time_point m_instant;
  DateTime m_local;
};

DateTime localDateTimeOf(std::chrono::system_clock::time_point instant);
// The date-time in GMT+8 (the marketplace's zone), whatever the machine's zone.
DateTime gmt8DateTimeOf(std::chrono::system_clock::time_point instant);

}  // namespace mirabex
