#pragma once

#include <string_view>

#include "toolkit/clock.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

// 32 lower-case hexadecimal digits of the MD5 of the bytes; with shortForm the 16 digits 9..24.
Text Md5Text(std::string_view text, bool shortForm = false);
// Two upper-case hexadecimal digits per byte.
Text HexOfBytes(std::string_view bytes);
// "jpg", "png", ... from the first ten bytes, or "你杯具了 无法识别 特征码:" + their hex.
Text ImageTypeOf(std::string_view bytes);
// "%" + two upper-case hex digits for every byte.
Text UrlEncodeAll(std::string_view text);
// Seconds (or milliseconds) from the local date-time 1970-01-01 08:00:00 to the clock's local now.
Text UnixTimeText(bool seconds, const Clock& clock = systemClock());
// The text between the first `left` and the first `right` after it, letter case ignored;
// "#引号" in either marker stands for a double quote.
Text TextBetween(std::string_view text, std::string_view left, std::string_view right);
// Converts a document declared as UTF-8 (or any document with `force`, unless declared gb2312) to GBK.
bool DeclaredUtf8ToGbk(Bytes& bytes, bool force = false);
// Kept for the thread start-up sequence; there is no component layer to start on this platform.
long InitThreadCom();

}  // namespace mirabex
