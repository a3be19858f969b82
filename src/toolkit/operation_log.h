#pragma once

#include <string_view>

#include "toolkit/clock.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// "2013年4月25日7时42分46秒", dropping the trailing zero parts ("…7时42分" at a whole minute).
Text logTimeText(const DateTime& local);

// One whole log line: the local time text, the message, then "\r\n".
Text operationLogLine(const DateTime& local, std::string_view message);

// Where the engine appends its log lines; each call carries one whole line, and
// implementations take it in one operation so lines from several threads never interleave.
class OperationLogSink {
 public:
  virtual ~OperationLogSink() = default;
  virtual void appendLogLine(const Text& line) = 0;
};

}  // namespace mirabex
