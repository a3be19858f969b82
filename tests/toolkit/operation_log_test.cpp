#include "toolkit/operation_log.h"

#include <gtest/gtest.h>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

struct TimeCase {
  const char* name;
  DateTime local;
  const char* utf8;
};

class LogTime : public testing::TestWithParam<TimeCase> {};

TEST_P(LogTime, DropsTrailingZeroParts) { EXPECT_EQ(logTimeText(GetParam().local), utf8ToGbk(GetParam().utf8)); }

INSTANTIATE_TEST_SUITE_P(
    Cases, LogTime,
    testing::Values(TimeCase{"Full", {2013, 4, 25, 7, 42, 46, 500}, "2013年4月25日7时42分46秒"},
                    TimeCase{"WholeMinute", {2013, 4, 25, 7, 42, 0, 0}, "2013年4月25日7时42分"},
                    TimeCase{"WholeHour", {2013, 4, 25, 7, 0, 0, 0}, "2013年4月25日7时"},
                    TimeCase{"Midnight", {2013, 4, 25, 0, 0, 0, 0}, "2013年4月25日"},
                    // Zero parts before a non-zero one stay.
                    TimeCase{"SecondsAfterMidnight", {2013, 12, 1, 0, 0, 5, 0}, "2013年12月1日0时0分5秒"},
                    TimeCase{"MinutesAfterMidnight", {2013, 12, 31, 0, 5, 0, 0}, "2013年12月31日0时5分"},
                    TimeCase{"HourWithSeconds", {2013, 1, 2, 23, 0, 9, 0}, "2013年1月2日23时0分9秒"}),
    [](const auto& info) { return info.param.name; });

TEST(OperationLogLine, TimeThenMessageThenCrLf) {
  const Text message = utf8ToGbk("采集完成");
  EXPECT_EQ(operationLogLine({2013, 4, 25, 7, 42, 0, 0}, message),
            utf8ToGbk("2013年4月25日7时42分") + message + "\r\n");
}

}  // namespace
}  // namespace mirabex
